#include "report/summary.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "dataset/group_totals.h"
#include "records/date_entry.h"
#include "report/calculation.h"
#include "report/points.h"

namespace sarvenu {

namespace {

constexpr size_t Index(TEvalAspect aspect) {
    return static_cast<size_t>(aspect);
}

// Column layout of the engine's totals: office, contractor and average of the
// six aspects, then the office average and the overall point.
constexpr int kOfficeColumn = 0;
constexpr int kContractorColumn = kSummaryAspectCount;
constexpr int kAverageColumn = 2 * kSummaryAspectCount;
constexpr int kOfficeAverageColumn = 3 * kSummaryAspectCount;
constexpr int kOverallColumn = kOfficeAverageColumn + 1;
constexpr int kColumnCount = kOverallColumn + 1;

// A figure that is a number; "表記無し" and blanks are no value.
std::optional<double> Number(const std::string& text) {
    double value = 0;
    if (text.empty() || !ParseNumber(text, &value)) return std::nullopt;
    return value;
}

TSummaryFigure FigureOf(const TGroupTotals::TColumn& column) {
    TSummaryFigure figure;
    figure.count = column.count;
    if (column.count == 0) return figure;
    figure.mean = MeanOfSum(column.count, column.sum);
    if (column.min) figure.lowest = NumberText(*column.min);
    if (column.max) figure.highest = NumberText(*column.max);
    return figure;
}

}  // namespace

TWorkFigures WorkFigures(const TPreviewPoints& points, bool orderingMode) {
    TPointInputs inputs;
    inputs.costPoint = points.costPoint;
    inputs.processPoint = points.processPoint;
    for (int a = 0; a < kItemAspectCount; ++a) {
        inputs.chief[a] = points.chief[a].point;
        inputs.contractor[a] = points.contractor[a].point;
    }
    const TPointAverages averages = ComputeAverages(inputs);

    TWorkFigures figures;
    figures.average = averages.chartValues;
    figures.office[Index(TEvalAspect::Cost)] = points.orderingCostText;
    figures.contractor[Index(TEvalAspect::Cost)] =
        orderingMode ? points.contractorCostText : points.costPoint;
    figures.office[Index(TEvalAspect::Process)] = orderingMode ? points.processPoint : "";
    figures.contractor[Index(TEvalAspect::Process)] = points.processPoint;
    for (int a = 0; a < kItemAspectCount; ++a) {
        const size_t column = Index(TEvalAspect::Quality) + static_cast<size_t>(a);
        figures.office[column] = points.chief[a].point;
        figures.contractor[column] = points.contractor[a].point;
    }
    if (orderingMode) figures.officeAverage = averages.orderingAverage;
    figures.overall = averages.overall;
    return figures;
}

const std::vector<std::string>& SummaryFields(TTableId table) {
    static const auto fields = [] {
        std::array<std::vector<std::string>, kTableCount> f;
        auto& main = f[static_cast<size_t>(TTableId::Main)];
        main = {"CONST_NO", "CON_NAME", "REG_NO", "TECH_TITLE", "MOC_CD", "OFFICE_CD", "CON_TYPE"};
        f[static_cast<size_t>(TTableId::Report)] = {"REG_DATE"};
        f[static_cast<size_t>(TTableId::InvSection)] = {"INV_OLD_COST", "INV_NEW_COST"};
        auto& chief = f[static_cast<size_t>(TTableId::InvChief)];
        for (const TAspect& aspect : Aspects()) {
            const std::string prefix = std::string("INV_") + aspect.name + "_EVAL_";
            for (int slot = 1; slot <= aspect.fixedQuestions + 2; ++slot)
                chief.push_back(prefix + "POINT" + std::to_string(slot));
            chief.push_back(prefix + "YN1");
            chief.push_back(prefix + "YN2");
        }
        auto& con = f[static_cast<size_t>(TTableId::InvCon)];
        con = chief;
        for (const char* name :
             {"INV_OLD_COST", "INV_NEW_COST", "INV_PROCESS_OLD", "INV_PROCESS_NEW"})
            con.push_back(name);
        return f;
    }();
    return fields.at(static_cast<size_t>(table));
}

TSummaryWork SummaryWorkOf(const TSheetText& text, bool orderingMode) {
    TSummaryWork work;
    work.workNumber = text(TTableId::Main, "CONST_NO");
    work.workName = text(TTableId::Main, "CON_NAME");
    work.regNo = text(TTableId::Main, "REG_NO");
    work.techTitle = text(TTableId::Main, "TECH_TITLE");
    work.bureau = text(TTableId::Main, "MOC_CD");
    work.office = text(TTableId::Main, "OFFICE_CD");
    work.conType = text(TTableId::Main, "CON_TYPE");
    // The fiscal year the totals tab shows: that of the report date.
    const TDateParts reported = SpreadDate(text(TTableId::Report, "REG_DATE"));
    work.fiscalYear = NendoText(reported.year, reported.month);
    work.figures = WorkFigures(ComputePreviewPoints(text, orderingMode), orderingMode);
    return work;
}

bool TSummaryFilter::Accepts(const TSummaryWork& work) const {
    return (fiscalYear.empty() || work.fiscalYear == fiscalYear) &&
           (bureau.empty() || work.bureau == bureau) && (office.empty() || work.office == office) &&
           (conType.empty() || work.conType == conType);
}

std::vector<TSummaryRow> BuildSummary(std::span<const TSummaryWork> works,
                                      const TSummaryFilter& filter) {
    // The key column is as wide as the longest registration number.
    size_t keyWidth = 16;
    for (const TSummaryWork& work : works) keyWidth = std::max(keyWidth, work.regNo.size());
    // Lowest and highest are shown for the overall point only.
    TGroupTotals totals(kColumnCount, static_cast<uint32_t>(keyWidth), {kOverallColumn});
    std::unordered_map<std::string, std::string> titles;
    std::array<std::optional<double>, kColumnCount> values;
    for (const TSummaryWork& work : works) {
        if (!filter.Accepts(work)) continue;
        const TWorkFigures& f = work.figures;
        for (int a = 0; a < kSummaryAspectCount; ++a) {
            values[kOfficeColumn + a] = Number(f.office[a]);
            values[kContractorColumn + a] = Number(f.contractor[a]);
            values[kAverageColumn + a] = Number(f.average[a]);
        }
        values[kOfficeAverageColumn] = Number(f.officeAverage);
        values[kOverallColumn] = Number(f.overall);
        totals.Add(work.regNo, values);
        std::string& title = titles[work.regNo];
        if (title.empty()) title = work.techTitle;
    }

    std::vector<TSummaryRow> rows;
    for (const TGroupTotals::TGroup& group : totals.Groups()) {
        TSummaryRow row;
        row.regNo = group.key;
        row.techTitle = titles[group.key];
        row.works = group.rows;
        for (int a = 0; a < kSummaryAspectCount; ++a) {
            row.office[a] = FigureOf(group.columns[kOfficeColumn + a]);
            row.contractor[a] = FigureOf(group.columns[kContractorColumn + a]);
            row.average[a] = FigureOf(group.columns[kAverageColumn + a]);
        }
        row.officeAverage = FigureOf(group.columns[kOfficeAverageColumn]);
        row.overall = FigureOf(group.columns[kOverallColumn]);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<const TSummaryWork*> WorksOfTechnology(std::span<const TSummaryWork> works,
                                                   const TSummaryFilter& filter,
                                                   const std::string& regNo) {
    std::vector<const TSummaryWork*> found;
    for (const TSummaryWork& work : works)
        if (work.regNo == regNo && filter.Accepts(work)) found.push_back(&work);
    return found;
}

TChartValues SummaryChartValues(const TSummaryRow& row) {
    TChartValues values;
    for (int a = 0; a < kSummaryAspectCount; ++a) values[a] = row.average[a].mean;
    return values;
}

const std::array<const char*, kSummaryAspectCount>& SummaryAspectNames() {
    static const std::array<const char*, kSummaryAspectCount> names = {
        "経済性", "工程", "品質・出来形", "安全性", "施工性", "環境"};
    return names;
}

}  // namespace sarvenu
