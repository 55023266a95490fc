// The summary across works on a throw-away installation: works with known
// sheet values for several technologies (missing sheets, blank answers,
// unticked optional items, every cost rule) are written to the tables, read
// back and summarised; every figure is compared with a plain computation in
// whole tenths. Also the filters, the works of a technology and the CSV file,
// read back with a CSV reader.
#include <QCoreApplication>
#include <QGuiApplication>
#include <memory>
#include <optional>
#include <random>

#include "platform/codepage.h"
#include "records/tests/store_fixture.h"
#include "report/calculation.h"
#include "report/summary.h"
#include "report/summary_export.h"
#include "report/summary_source.h"

namespace store_test {
namespace {

using sarvenu::TSummaryFilter;
using sarvenu::TSummaryRow;
using sarvenu::TSummaryWork;

// A value in tenths of a point; none when the figure is absent.
using Tenths = std::optional<long>;

// Rounds num / den (both >= 0 after the caller's shift) half up.
long RoundHalfUp(long num, long den) {
    return (2 * num + den) / (2 * den);
}

// The point of an aspect: 50 * sum / count rounded to one decimal by adding a
// half and truncating toward zero (a negative share rounds toward zero), plus
// 100, then to whole.
Tenths AspectPoint(long sum, long count) {
    if (count == 0) return std::nullopt;
    const long share = (1000 * sum + count) / (2 * count);  // C++ division truncates toward zero
    const long tenths = std::max(0L, 1000 + share);
    return std::clamp<long>((tenths + 5) / 10, 0, 200) * 10;
}

// The point of a pair: 100 + 100 * (old - new) / old to one decimal, then to whole.
Tenths PairPointOf(long old, long fresh) {
    const long tenths = RoundHalfUp(1000 * old + 1000 * (old - fresh), old);
    return std::clamp<long>((tenths + 5) / 10, 0, 200) * 10;
}

// Mean of the present values, rounded half up to `unit` tenths (10: whole, 1: one decimal).
Tenths MeanOf(const std::vector<Tenths>& values, long unit) {
    long sum = 0, count = 0;
    for (const Tenths& v : values)
        if (v) sum += *v, ++count;
    if (count == 0) return std::nullopt;
    return RoundHalfUp(sum, count * unit) * unit;
}

struct PlainFigures {
    std::array<Tenths, 6> office, contractor, average;
    Tenths officeAverage, overall;
};

struct GeneratedWork {
    std::map<TTableId, Row> records;
    PlainFigures expected;
    std::string regNo, nendo, bureau, conType;
};

const char* const kAspects[] = {"QUALITY", "SAFETY", "CONSTRUCT", "ENV"};
const int kFixed[] = {5, 5, 6, 5};

// Answers of one aspect on one sheet, with the point they give.
Tenths Answer(std::mt19937& rng, Row& sheet, int aspect) {
    const std::string prefix = std::string("INV_") + kAspects[aspect] + "_EVAL_";
    long sum = 0, count = 0;
    for (int slot = 1; slot <= kFixed[aspect] + 2; ++slot) {
        // About one answer in four is left blank.
        if (rng() % 4 == 0) continue;
        const int grade = static_cast<int>(rng() % 5) - 2;
        sheet[prefix + "POINT" + std::to_string(slot)] = std::to_string(grade);
        const bool optional = slot > kFixed[aspect];
        bool counted = !optional;
        if (optional) {
            const std::string tick = prefix + "YN" + std::to_string(slot - kFixed[aspect]);
            counted = rng() % 2 == 0;
            sheet[tick] = counted ? "1" : "0";
        }
        if (counted) sum += grade, ++count;
    }
    return AspectPoint(sum, count);
}

GeneratedWork Generate(std::mt19937& rng, int number, const std::string& regNo) {
    GeneratedWork w;
    w.regNo = regNo;
    const std::string key = "W" + std::to_string(1000 + number);
    const char* types[] = {"", "1", "2", "3", "4", "5", "6"};
    w.conType = types[rng() % 7];
    w.bureau = std::to_string(1 + rng() % 3);
    Row& main = w.records[TTableId::Main];
    main = {{"CONST_NO", key},       {"REG_NO", regNo},    {"TECH_TITLE", "T-" + regNo},
            {"CON_NAME", "N" + key}, {"MOC_CD", w.bureau}, {"CON_TYPE", w.conType}};
    if (rng() % 5 != 0) {
        const int year = 2005 + static_cast<int>(rng() % 3),
                  month = 1 + static_cast<int>(rng() % 12);
        w.records[TTableId::Report] = {
            {"CONST_NO", key},
            {"REG_DATE",
             std::to_string(year) + (month < 10 ? "/0" : "/") + std::to_string(month) + "/10"}};
        w.nendo = std::to_string(month <= 3 ? year - 1 : year);
    }
    const bool chief = rng() % 6 != 0, con = rng() % 6 != 0, section = rng() % 4 != 0;
    std::array<Tenths, 4> chiefPoints{}, conPoints{};
    if (chief) {
        Row& sheet = w.records[TTableId::InvChief];
        sheet["CONST_NO"] = key;
        for (int a = 0; a < 4; ++a) chiefPoints[a] = Answer(rng, sheet, a);
    }
    auto costs = [&rng](Row& sheet) -> Tenths {
        if (rng() % 5 == 0) return std::nullopt;  // not entered
        const long old = 100 + static_cast<long>(rng() % 900);
        const long fresh = old / 2 + static_cast<long>(rng() % static_cast<unsigned>(old));
        sheet["INV_OLD_COST"] = std::to_string(old);
        sheet["INV_NEW_COST"] = std::to_string(fresh);
        return PairPointOf(old, fresh);
    };
    Tenths sectionCost, conCost, process;
    if (section) {
        Row& sheet = w.records[TTableId::InvSection];
        sheet["CONST_NO"] = key;
        sectionCost = costs(sheet);
    }
    if (con) {
        Row& sheet = w.records[TTableId::InvCon];
        sheet["CONST_NO"] = key;
        for (int a = 0; a < 4; ++a) conPoints[a] = Answer(rng, sheet, a);
        conCost = costs(sheet);
        if (rng() % 4 != 0) {
            const long old = 10 + static_cast<long>(rng() % 90);
            const long fresh = old / 2 + static_cast<long>(rng() % static_cast<unsigned>(old));
            sheet["INV_PROCESS_OLD"] = std::to_string(old);
            sheet["INV_PROCESS_NEW"] = std::to_string(fresh);
            process = PairPointOf(old, fresh);
        }
    }
    const bool proposal = w.conType == "5" || w.conType == "6";
    const Tenths cost = proposal ? conCost : (w.conType.empty() ? std::nullopt : sectionCost);

    PlainFigures& e = w.expected;
    e.office[0] = cost;
    e.contractor[0] = proposal ? cost : std::nullopt;  // otherwise "表記無し"
    e.average[0] = cost;
    e.office[1] = e.contractor[1] = e.average[1] = process;
    for (int a = 0; a < 4; ++a) {
        e.office[2 + a] = chiefPoints[a];
        e.contractor[2 + a] = conPoints[a];
        e.average[2 + a] = MeanOf({chiefPoints[a], conPoints[a]}, 10);
    }
    e.officeAverage =
        MeanOf({cost, process, chiefPoints[0], chiefPoints[1], chiefPoints[2], chiefPoints[3]}, 1);
    e.overall = MeanOf({e.average.begin(), e.average.end()}, 1);
    return w;
}

std::string TextOf(const Tenths& v) {
    return v ? sarvenu::NumberText(static_cast<double>(*v) / 10.0) : std::string();
}

// The same figure over a technology's works, as the summary gives it.
struct PlainTotal {
    std::vector<Tenths> values;
    // extremes: the figure keeps its lowest and highest value.
    void Check(const sarvenu::TSummaryFigure& figure, const std::string& what,
               bool extremes = false) const {
        long count = 0;
        Tenths low, high;
        for (const Tenths& v : values) {
            if (!v) continue;
            ++count;
            low = low ? std::min(*low, *v) : *v;
            high = high ? std::max(*high, *v) : *v;
        }
        EXPECT_EQ(figure.count, count) << what;
        EXPECT_EQ(figure.mean, TextOf(MeanOf(values, 1))) << what;
        EXPECT_EQ(figure.lowest, extremes ? TextOf(low) : "") << what;
        EXPECT_EQ(figure.highest, extremes ? TextOf(high) : "") << what;
    }
};

class SummaryTest : public ::testing::Test {
  protected:
    Installation install;
    TestHost host;
    std::unique_ptr<TdmCdsModule> dm;
    std::vector<GeneratedWork> generated;

    // Writes the works, opens the store on them and reads them back.
    std::vector<TSummaryWork> WriteAndRead(int count) {
        std::mt19937 rng(20261210);
        const char* techs[] = {"KT-060001", "QS-050123", "CB-070777", ""};
        for (int i = 0; i < count; ++i) generated.push_back(Generate(rng, i, techs[rng() % 4]));
        std::map<TTableId, std::vector<Row>> tables;
        for (const GeneratedWork& w : generated)
            for (const auto& [id, row] : w.records) tables[id].push_back(row);
        for (const auto& [id, rows] : tables) install.WriteRows(id, rows);
        dm = std::make_unique<TdmCdsModule>(host, install.ExeDir());
        return sarvenu::ReadSummaryWorks(*dm, true);
    }

    // Checks every figure of the rows against the generated works the filter takes.
    void CheckRows(const std::vector<TSummaryRow>& rows, const TSummaryFilter& filter) {
        std::map<std::string, std::vector<const GeneratedWork*>> byTech;
        for (const GeneratedWork& w : generated)
            if ((filter.fiscalYear.empty() || w.nendo == filter.fiscalYear) &&
                (filter.bureau.empty() || w.bureau == filter.bureau) &&
                (filter.conType.empty() || w.conType == filter.conType))
                byTech[w.regNo].push_back(&w);
        ASSERT_EQ(rows.size(), byTech.size());
        for (const TSummaryRow& row : rows) {
            SCOPED_TRACE("technology '" + row.regNo + "'");
            ASSERT_TRUE(byTech.count(row.regNo));
            const auto& works = byTech[row.regNo];
            EXPECT_EQ(row.works, static_cast<int>(works.size()));
            EXPECT_EQ(row.techTitle, "T-" + row.regNo);
            for (int a = 0; a < 6; ++a) {
                PlainTotal office, contractor, average;
                for (const GeneratedWork* w : works) {
                    office.values.push_back(w->expected.office[a]);
                    contractor.values.push_back(w->expected.contractor[a]);
                    average.values.push_back(w->expected.average[a]);
                }
                office.Check(row.office[a], "office " + std::to_string(a));
                contractor.Check(row.contractor[a], "contractor " + std::to_string(a));
                average.Check(row.average[a], "average " + std::to_string(a));
            }
            PlainTotal officeAverage, overall;
            for (const GeneratedWork* w : works) {
                officeAverage.values.push_back(w->expected.officeAverage);
                overall.values.push_back(w->expected.overall);
            }
            officeAverage.Check(row.officeAverage, "office average");
            overall.Check(row.overall, "overall", true);
        }
    }
};

TEST_F(SummaryTest, EveryFigureMatchesAPlainComputationOverTheRecords) {
    // Enough works that the sheets are read and the figures computed on two
    // threads.
    const std::vector<TSummaryWork> works = WriteAndRead(1500);
    ASSERT_EQ(works.size(), generated.size());
    // Each work's own figures first: they are what the totals tab shows.
    for (size_t i = 0; i < works.size(); ++i) {
        SCOPED_TRACE(works[i].workNumber);
        const PlainFigures& e = generated[i].expected;
        const sarvenu::TWorkFigures& f = works[i].figures;
        EXPECT_EQ(works[i].fiscalYear, generated[i].nendo);
        for (int a = 0; a < 6; ++a) {
            EXPECT_EQ(f.office[a], TextOf(e.office[a])) << a;
            EXPECT_EQ(f.average[a], TextOf(e.average[a])) << a;
            // The contractor's cost of a work that is no proposal reads "表記無し".
            if (a == 0 && !e.contractor[0] && !e.office[0].has_value()) continue;
            if (a == 0 && !e.contractor[0])
                EXPECT_EQ(f.contractor[0], platform::Utf8ToCp932("表記無し"));
            else
                EXPECT_EQ(f.contractor[a], TextOf(e.contractor[a])) << a;
        }
        EXPECT_EQ(f.officeAverage, TextOf(e.officeAverage));
        EXPECT_EQ(f.overall, TextOf(e.overall));
    }
    CheckRows(sarvenu::BuildSummary(works, {}), {});
}

TEST_F(SummaryTest, FiltersNarrowTheWorksAndTheirTechnology) {
    const std::vector<TSummaryWork> works = WriteAndRead(80);
    for (const TSummaryFilter& filter :
         {TSummaryFilter{"2006", "", "", ""}, TSummaryFilter{"", "2", "", ""},
          TSummaryFilter{"", "", "", "5"}, TSummaryFilter{"2005", "1", "", ""},
          TSummaryFilter{"1999", "", "", ""}}) {
        SCOPED_TRACE(filter.fiscalYear + "/" + filter.bureau + "/" + filter.conType);
        CheckRows(sarvenu::BuildSummary(works, filter), filter);
        size_t listed = 0;
        for (const TSummaryRow& row : sarvenu::BuildSummary(works, filter)) {
            const auto of = sarvenu::WorksOfTechnology(works, filter, row.regNo);
            EXPECT_EQ(static_cast<int>(of.size()), row.works);
            for (const TSummaryWork* w : of) EXPECT_EQ(w->regNo, row.regNo);
            listed += of.size();
        }
        size_t accepted = 0;
        for (const TSummaryWork& w : works) accepted += filter.Accepts(w) ? 1 : 0;
        EXPECT_EQ(listed, accepted);
    }
}

// An RFC 4180 reader: quoted cells with doubled quotes, CR LF records.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string cell;
    bool quoted = false, wasQuoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"') {
            EXPECT_TRUE(cell.empty()) << "quote inside an unquoted cell";
            quoted = wasQuoted = true;
        } else if (c == ',') {
            record.push_back(cell);
            cell.clear();
            wasQuoted = false;
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            record.push_back(cell);
            records.push_back(record);
            record.clear();
            cell.clear();
            wasQuoted = false;
            ++i;
        } else {
            EXPECT_NE(c, '\n') << "bare LF";
            cell += c;
        }
    }
    EXPECT_FALSE(quoted);
    EXPECT_TRUE(cell.empty() && record.empty()) << "last line without CR LF";
    (void)wasQuoted;
    return records;
}

TEST_F(SummaryTest, CsvFileReadsBackAsTheRows) {
    std::vector<TSummaryWork> works = WriteAndRead(40);
    // A name with a quote, a comma and a line break must stay one cell.
    for (TSummaryWork& w : works)
        if (w.regNo == "QS-050123") w.techTitle = platform::Utf8ToCp932("工法\"Ａ\", 改良\r\n版");
    const std::vector<TSummaryRow> rows = sarvenu::BuildSummary(works, {});
    const fs::path path = install.Root() / "out" / "summary.csv";
    fs::create_directories(path.parent_path());
    std::string error;
    ASSERT_TRUE(sarvenu::WriteSummaryCsv(rows, path.string(), &error)) << error;

    const auto records = ReadCsv(ReadBytes(path));
    ASSERT_EQ(records.size(), rows.size() + 1);
    const std::vector<std::string> names = sarvenu::SummaryColumnNames();
    ASSERT_EQ(records[0].size(), names.size());
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(platform::Cp932ToUtf8(records[0][i]), names[i]);
    EXPECT_EQ(platform::Cp932ToUtf8(records[0][2]), "工事件数");
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::vector<std::string>& cells = records[r + 1];
        ASSERT_EQ(cells.size(), names.size());
        EXPECT_EQ(cells[0], rows[r].regNo);
        EXPECT_EQ(cells[1], rows[r].techTitle);
        EXPECT_EQ(cells[2], std::to_string(rows[r].works));
        EXPECT_EQ(cells[3], rows[r].office[0].mean);
        EXPECT_EQ(cells.back(), rows[r].overall.highest);
    }

    // A file that cannot be written is reported and nothing is left behind.
    const fs::path blocked = install.Root() / "missing-dir" / "x.csv";
    EXPECT_FALSE(sarvenu::WriteSummaryCsv(rows, blocked.string(), &error));
    EXPECT_NE(platform::Cp932ToUtf8(error).find("集計結果を書き込めません。"), std::string::npos);
    EXPECT_FALSE(fs::exists(blocked));
}

}  // namespace
}  // namespace store_test
