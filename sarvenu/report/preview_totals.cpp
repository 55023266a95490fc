// The total forms: aspect averages, the two side averages, the cost cells of
// the totals tab with their colouring, the overall evaluation point and the
// radar chart the pages refer to.
#include "platform/codepage.h"
#include "report/calculation.h"
#include "report/preview_steps.h"
#include "report/radar_chart.h"

namespace sarvenu {

namespace {

// A cost cell of the totals tab: "表記無し" is drawn in blue, a number is
// aligned to the right.
void FillCostCell(TPreviewPage& page, const std::string& stem, const std::string& text) {
    page.ReplaceName(stem, text);
    if (text == platform::Utf8ToCp932("表記無し")) {
        page.ReplaceName(stem + "_FS", "<FONT COLOR=\"BLUE\">");
        page.ReplaceName(stem + "_FE", "</FONT>");
        page.ReplaceName(stem + "_FONT", "");
    } else {
        page.ReplaceName(stem + "_FONT", "right");
    }
}

}  // namespace

void TPointSum::Add(const std::string& point) {
    if (point.empty()) return;
    double value = 0;
    if (!ParseNumber(point, &value)) throw EPreviewError(NumberErrorMessage());
    sum += value;
    ++count;
}

void FillTotals(TPreviewContext& c) {
    const TPreviewPoints& points = c.Points();
    std::array<std::string, 4> averages;
    for (size_t a = 0; a < averages.size(); ++a) {
        averages[a] = MeanOfTwo(points.chief[a].point, points.contractor[a].point);
        c.page.ReplaceName(std::string(kPreviewAspects[a].stem) + "_POINT_AVG", averages[a]);
    }
    c.page.ReplaceName("CHIEF_POINT_AVG", MeanOfSum(c.ordering.count, c.ordering.sum));
    c.page.ReplaceName("CON_POINT_AVG", MeanOfSum(c.contractor.count, c.contractor.sum));
    FillCostCell(c.page, "COST_POINT_CON_ADD", points.contractorCostText);
    FillCostCell(c.page, "COST_POINT_ADD", points.orderingCostText);

    const TChartValues values = {c.conType.empty() ? std::string() : points.costPoint,
                                 points.processPoint,
                                 averages[0],
                                 averages[1],
                                 averages[2],
                                 averages[3]};
    c.page.ReplaceName("POINT_AVG", MeanOfSix(values));

    std::string error;
    if (!DrawRadarChart(values, c.dm.Directories().templates + kChartFileName, &error))
        throw EPreviewError(error);
}

}  // namespace sarvenu
