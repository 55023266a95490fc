// What the summary page shows apart from its widgets: the names of the code
// tables' bureaus, offices and types, the choices of its filter lists, the
// wording of the chosen filter on the printed page and the cells of the list
// of a technology's works. Texts are code page 932.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "records/cds_module.h"
#include "report/summary.h"

namespace sarvenu {

// A code of a code table and its name.
struct TCodeName {
    std::string code;
    std::string name;
    int order = 0;  // the place in the table's list (sort_id for offices)
};

// The rows of the three code tables the filters choose from: bureaus and
// types by code, offices in the order the office list offers them.
struct TSummaryCodeNames {
    std::vector<TCodeName> bureaus;
    std::vector<TCodeName> offices;
    std::vector<TCodeName> conTypes;
};
// Reads them from the data store's code tables (every row, whatever filter a
// table has); a table that is not open gives no rows.
TSummaryCodeNames ReadSummaryCodeNames(TdmCdsModule& dm);

// The fiscal years of the works, each once, in ascending order; works
// without a report date add none.
std::vector<std::string> FiscalYearChoices(std::span<const TSummaryWork> works);
// The offices of one bureau, as the work entry offers them; none without a
// bureau.
std::vector<TCodeName> OfficeChoices(std::span<const TCodeName> offices, const std::string& bureau);
// The name of a code; the code itself when the table does not know it.
std::string CodeName(std::span<const TCodeName> names, const std::string& code);

// The chosen filters as the printed page names them ("年度: 2006　実施整備局:
// 関東地方整備局"); empty when every work is let through.
std::string SummaryFilterText(const TSummaryFilter& filter, const TSummaryCodeNames& names);

// A work's cells in the list of a technology's works: 工事番号, 工事名, 年度
// and 総合評価点.
std::vector<std::string> SummaryWorkCells(const TSummaryWork& work);

}  // namespace sarvenu
