// The summary as files: a CSV table the offices' spreadsheet program opens
// directly (code page 932, CR LF line ends, a header row, texts quoted) and
// the HTML page that is printed like the forms, with the radar chart of the
// selected technology.
#pragma once

#include <string>
#include <vector>

#include "report/summary.h"

namespace sarvenu {

// The header row's column names (UTF-8), in the order of the CSV columns:
// 登録番号, 技術名称, 工事件数, each aspect's office, contractor and average
// means, the office average, then the 総合評価点 mean, lowest and highest.
std::vector<std::string> SummaryColumnNames();
// One row's cells (CP932) in the same order; an absent figure is empty.
std::vector<std::string> SummaryCells(const TSummaryRow& row);

// The whole CSV text: the header row, then one row per technology.
std::string SummaryCsv(const std::vector<TSummaryRow>& rows);
// Writes it to path (file-system encoding), replacing any file there
// atomically. On failure returns false with a CP932 message in *error.
bool WriteSummaryCsv(const std::vector<TSummaryRow>& rows, const std::string& path,
                     std::string* error);

// The printed page (CP932 HTML): the title, the filter's wording, a line per
// technology with its work count and overall points, then each technology's
// figures by aspect; under the selected technology's figures the chart image
// chartFile (a file name beside the page).
struct TSummaryPage {
    std::string filterText;  // CP932, e.g. "年度: 2006　実施整備局: 関東地方整備局"
    const TSummaryRow* selected = nullptr;
    std::string chartFile;  // empty: no chart
};
std::string SummaryHtml(const std::vector<TSummaryRow>& rows, const TSummaryPage& page);

// Writes the page as "Summary.htm" in directory (ending in "/") and, with a
// selected technology, its chart as "SummaryGraph.gif" beside it. Returns the
// page's path; raises std::runtime_error with a CP932 message on failure.
inline constexpr const char* kSummaryPageFile = "Summary.htm";
inline constexpr const char* kSummaryChartFile = "SummaryGraph.gif";
std::string WriteSummaryPage(const std::vector<TSummaryRow>& rows, TSummaryPage page,
                             const std::string& directory);

}  // namespace sarvenu
