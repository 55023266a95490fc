#include "shell/summary_choices.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <set>

#include "platform/codepage.h"
#include "records/code_tables.h"

namespace sarvenu {

namespace {

std::optional<int> CodeNumber(const std::string& code) {
    int value = 0;
    const char* first = code.data();
    const char* last = first + code.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last) return std::nullopt;
    return value;
}

// Every row of a code table: its code, its name and its order field (the
// code when orderField is empty), sorted by the order.
std::vector<TCodeName> ReadCodes(TClientTable& table, const char* nameField,
                                 const char* orderField) {
    std::vector<TCodeName> rows;
    if (!table.Active()) return rows;
    TField* code = table.FindField("CD");
    TField* name = table.FindField(nameField);
    TField* order = *orderField ? table.FindField(orderField) : code;
    if (!code || !name) return rows;
    table.ScanAllRecords([&](const TRecordView& record) {
        TCodeName row{record.Text(*code), record.Text(*name)};
        row.order = CodeNumber(order ? record.Text(*order) : row.code).value_or(0);
        rows.push_back(std::move(row));
    });
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TCodeName& a, const TCodeName& b) { return a.order < b.order; });
    return rows;
}

}  // namespace

TSummaryCodeNames ReadSummaryCodeNames(TdmCdsModule& dm) {
    TSummaryCodeNames names;
    names.bureaus = ReadCodes(dm.cdsMV_STBL_INFO_GATHER_MOC, "GATHER_MOC", "");
    names.offices = ReadCodes(dm.cdsMV_STBL_HAC_SAI, "HAC_SAI", "sort_id");
    names.conTypes = ReadCodes(dm.cdsEV_STBL_CON_TYPE, "CON_TYPE", "");
    return names;
}

std::vector<std::string> FiscalYearChoices(std::span<const TSummaryWork> works) {
    std::set<std::string> years;
    for (const TSummaryWork& work : works)
        if (!work.fiscalYear.empty()) years.insert(work.fiscalYear);
    // Years are four digits, so the text order is the numeric one.
    return {years.begin(), years.end()};
}

std::vector<TCodeName> OfficeChoices(std::span<const TCodeName> offices,
                                     const std::string& bureau) {
    std::vector<TCodeName> chosen;
    const std::optional<int> bureauCode = CodeNumber(bureau);
    if (!bureauCode) return chosen;
    for (const TCodeName& office : offices) {
        const std::optional<int> officeCode = CodeNumber(office.code);
        if (officeCode && OfficeBelongsToBureau(*officeCode, *bureauCode)) chosen.push_back(office);
    }
    return chosen;
}

std::string CodeName(std::span<const TCodeName> names, const std::string& code) {
    for (const TCodeName& row : names)
        if (row.code == code) return row.name;
    return code;
}

std::string SummaryFilterText(const TSummaryFilter& filter, const TSummaryCodeNames& names) {
    std::string text;
    auto add = [&text](const char* caption, const std::string& value) {
        if (value.empty()) return;
        if (!text.empty()) text += platform::Utf8ToCp932("　");
        text += platform::Utf8ToCp932(caption) + ": " + value;
    };
    add("年度", filter.fiscalYear);
    add("実施整備局", filter.bureau.empty() ? "" : CodeName(names.bureaus, filter.bureau));
    add("実施事務所", filter.office.empty() ? "" : CodeName(names.offices, filter.office));
    add("活用等の型", filter.conType.empty() ? "" : CodeName(names.conTypes, filter.conType));
    return text;
}

std::vector<std::string> SummaryWorkCells(const TSummaryWork& work) {
    return {work.workNumber, work.workName, work.fiscalYear, work.figures.overall};
}

}  // namespace sarvenu
