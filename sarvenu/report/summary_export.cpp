#include "report/summary_export.h"

#include <stdexcept>

#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "report/preview_page.h"

namespace sarvenu {

namespace {

const char* const kSides[] = {"発注者", "請負者・技術開発者", "平均"};

// A text cell: quoted, with its quotes doubled.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string U(const char* utf8) {
    return platform::Utf8ToCp932(utf8);
}

}  // namespace

std::vector<std::string> SummaryColumnNames() {
    std::vector<std::string> names = {"登録番号", "技術名称", "工事件数"};
    for (const char* aspect : SummaryAspectNames())
        for (const char* side : kSides) names.push_back(std::string(aspect) + "（" + side + "）");
    names.push_back("発注者平均");
    for (const char* part : {"平均", "最低", "最高"})
        names.push_back(std::string("総合評価点（") + part + "）");
    return names;
}

std::vector<std::string> SummaryCells(const TSummaryRow& row) {
    std::vector<std::string> cells = {row.regNo, row.techTitle, std::to_string(row.works)};
    for (int a = 0; a < kSummaryAspectCount; ++a) {
        cells.push_back(row.office[a].mean);
        cells.push_back(row.contractor[a].mean);
        cells.push_back(row.average[a].mean);
    }
    cells.push_back(row.officeAverage.mean);
    cells.push_back(row.overall.mean);
    cells.push_back(row.overall.lowest);
    cells.push_back(row.overall.highest);
    return cells;
}

std::string SummaryCsv(const std::vector<TSummaryRow>& rows) {
    std::string csv;
    const std::vector<std::string> names = SummaryColumnNames();
    for (size_t i = 0; i < names.size(); ++i)
        csv += (i ? "," : "") + Quoted(platform::Utf8ToCp932(names[i]));
    csv += "\r\n";
    // The number and the name are texts (a number such as "0123" keeps its
    // zero); the figures are numbers.
    constexpr size_t kTextCells = 2;
    for (const TSummaryRow& row : rows) {
        const std::vector<std::string> cells = SummaryCells(row);
        for (size_t i = 0; i < cells.size(); ++i)
            csv += (i ? "," : "") + (i < kTextCells ? Quoted(cells[i]) : cells[i]);
        csv += "\r\n";
    }
    return csv;
}

bool WriteSummaryCsv(const std::vector<TSummaryRow>& rows, const std::string& path,
                     std::string* error) {
    std::string reason;
    if (fileops::WriteFileAtomic(path, SummaryCsv(rows), &reason)) return true;
    if (error)
        *error = U("集計結果を書き込めません。\r\n") + platform::Utf8ToCp932(path) + "\r\n" +
                 platform::Utf8ToCp932(reason);
    return false;
}

std::string SummaryHtml(const std::vector<TSummaryRow>& rows, const TSummaryPage& page) {
    std::string h;
    h += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
         "<html lang=\"ja\">\n<head>\n"
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n";
    h += "<title>" + U("新技術活用効果評価　技術別集計") + "</title>\n";
    h += "<style type=\"text/css\">\n"
         "body { font-family: \"IPAGothic\", \"Noto Sans CJK JP\", \"MS PGothic\", sans-serif; "
         "font-size: 9pt; }\n"
         "h1 { font-size: 15pt; text-align: center; margin-bottom: 2px; }\n"
         "h2 { font-size: 11pt; margin-top: 10px; margin-bottom: 3px; }\n"
         "p.sub { text-align: center; margin-top: 0px; }\n"
         "table.form { border-collapse: collapse; }\n"
         "th { background-color: #e6e6e6; font-weight: normal; text-align: center; }\n"
         "td.num { text-align: right; white-space: nowrap; }\n"
         "td.code { white-space: nowrap; }\n"
         "</style>\n</head>\n<body>\n";
    h += "<h1>" + U("新技術活用効果評価　技術別集計") + "</h1>\n";
    h += "<p class=\"sub\">" +
         (page.filterText.empty() ? U("全工事") : EscapedText(page.filterText)) + "</p>\n";
    // A page is too narrow for every figure of a technology on one line: an
    // overview with a line per technology, then each technology's figures
    // laid out as on the totals tab, aspects down and sides across.
    const std::string table =
        "<table class=\"form\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">\n";
    h += "<h2>" + U("技術ごとの総合評価点") + "</h2>\n" + table;
    h += "<tr><th width=\"14%\">" + U("登録番号") + "</th><th>" + U("技術名称") +
         "</th><th width=\"7%\">" + U("件数") + "</th><th width=\"11%\">" + U("発注者平均") +
         "</th>";
    for (const char* part : {"総合評価点（平均）", "最低", "最高"})
        h += "<th width=\"11%\">" + U(part) + "</th>";
    h += "</tr>\n";
    auto number = [](const std::string& text) {
        return "<td class=\"num\">" + EscapedText(text) + "</td>";
    };
    for (const TSummaryRow& row : rows) {
        h += "<tr><td class=\"code\">" + EscapedText(row.regNo) + "</td><td>" +
             EscapedText(row.techTitle) + "</td>" + number(std::to_string(row.works)) +
             number(row.officeAverage.mean) + number(row.overall.mean) +
             number(row.overall.lowest) + number(row.overall.highest) + "</tr>\n";
    }
    if (rows.empty())
        h += "<tr><td colspan=\"7\">" + U("集計する工事がありません。") + "</td></tr>\n";
    h += "</table>\n";

    for (const TSummaryRow& row : rows) {
        h += "<h2>" + EscapedText(row.regNo) + U("　") + EscapedText(row.techTitle) + U("（") +
             std::to_string(row.works) + U("件）") + "</h2>\n" + table;
        h += "<tr><th width=\"28%\">" + U("評価項目") + "</th>";
        for (const char* side : kSides) h += "<th width=\"24%\">" + U(side) + "</th>";
        h += "</tr>\n";
        for (int a = 0; a < kSummaryAspectCount; ++a)
            h += "<tr><th>" + U(SummaryAspectNames()[a]) + "</th>" + number(row.office[a].mean) +
                 number(row.contractor[a].mean) + number(row.average[a].mean) + "</tr>\n";
        h += "<tr><th>" + U("発注者平均") + "</th>" + number(row.officeAverage.mean) +
             "<td></td><td></td></tr>\n";
        h += "<tr><th>" + U("総合評価点") + "</th><td></td><td></td>" + number(row.overall.mean) +
             "</tr>\n</table>\n";
        if (page.selected && row.regNo == page.selected->regNo && !page.chartFile.empty())
            h += "<p><img src=\"" + EscapedText(page.chartFile) + "\" alt=\"" +
                 U("レーダーチャート") + "\"></p>\n";
    }
    h += "</body>\n</html>\n";
    return h;
}

std::string WriteSummaryPage(const std::vector<TSummaryRow>& rows, TSummaryPage page,
                             const std::string& directory) {
    page.chartFile.clear();
    if (page.selected) {
        std::string error;
        if (!DrawRadarChart(SummaryChartValues(*page.selected), directory + kSummaryChartFile,
                            &error))
            throw std::runtime_error(error);
        page.chartFile = kSummaryChartFile;
    }
    const std::string path = directory + kSummaryPageFile;
    std::string reason;
    if (!fileops::WriteFileAtomic(path, SummaryHtml(rows, page), &reason))
        throw std::runtime_error(U("集計表を書き込めません。\r\n") + platform::Utf8ToCp932(path) +
                                 "\r\n" + platform::Utf8ToCp932(reason));
    return path;
}

}  // namespace sarvenu
