#include "report/summary_source.h"

#include <unordered_map>

namespace sarvenu {

namespace {

// The kept values of one table: per work number (its first record) a row of
// the values in SummaryFields order, all rows in one flat list.
struct TKeptRecords {
    std::unordered_map<std::string, size_t> rows;  // work number -> first value
    std::vector<std::string> values;

    const std::string* Row(const std::string& number) const {
        const auto at = rows.find(number);
        return at == rows.end() ? nullptr : values.data() + at->second;
    }
};

TKeptRecords Keep(TClientTable& table, TTableId id, std::vector<std::string>* order) {
    TKeptRecords kept;
    if (!table.Active()) return kept;
    const std::vector<std::string>& names = SummaryFields(id);
    TField* number = table.FindField("CONST_NO");
    if (!number) return kept;
    // A field the table lacks (an older table version) reads as empty.
    std::vector<TField*> fields;
    for (const std::string& name : names) fields.push_back(table.FindField(name));
    const uint32_t total = table.RecordTotal();
    kept.rows.reserve(total);
    kept.values.reserve(static_cast<size_t>(total) * fields.size());
    if (order) order->reserve(total);
    table.ScanAllRecords([&](const TRecordView& record) {
        std::string key = record.Text(*number);
        const auto [at, added] = kept.rows.try_emplace(key, kept.values.size());
        if (!added) return;
        for (TField* field : fields) kept.values.push_back(field ? record.Text(*field) : "");
        if (order) order->push_back(std::move(key));
    });
    return kept;
}

// Position of each summary field of each table.
const std::unordered_map<std::string, size_t>& FieldPositions(TTableId id) {
    static const auto positions = [] {
        std::array<std::unordered_map<std::string, size_t>, kSummaryTableCount> p;
        for (int t = 0; t < kSummaryTableCount; ++t) {
            const std::vector<std::string>& names = SummaryFields(static_cast<TTableId>(t));
            for (size_t i = 0; i < names.size(); ++i) p[t].emplace(names[i], i);
        }
        return p;
    }();
    return positions.at(static_cast<size_t>(id));
}

}  // namespace

std::vector<TSummaryWork> ReadSummaryWorks(const TSummaryTables& tables, bool orderingMode) {
    std::vector<std::string> order;
    std::array<TKeptRecords, kSummaryTableCount> kept;
    for (int t = 0; t < kSummaryTableCount; ++t)
        if (tables[t])
            kept[t] = Keep(*tables[t], static_cast<TTableId>(t), t == 0 ? &order : nullptr);

    std::vector<TSummaryWork> works;
    works.reserve(order.size());
    std::array<const std::string*, kSummaryTableCount> records{};
    const TSheetText text = [&records](TTableId table, const std::string& field) {
        const std::string* values = records.at(static_cast<size_t>(table));
        if (!values) return std::string();
        const auto& positions = FieldPositions(table);
        const auto at = positions.find(field);
        return at == positions.end() ? std::string() : values[at->second];
    };
    for (const std::string& number : order) {
        for (int t = 0; t < kSummaryTableCount; ++t) records[t] = kept[t].Row(number);
        works.push_back(SummaryWorkOf(text, orderingMode));
    }
    return works;
}

std::vector<TSummaryWork> ReadSummaryWorks(TdmCdsModule& dm, bool orderingMode) {
    return ReadSummaryWorks(
        TSummaryTables{&dm.cdsEV_TBL_MAIN, &dm.cdsEV_TBL_PLAN, &dm.cdsEV_TBL_REPORT,
                       &dm.cdsEV_TBL_INV_SECTION, &dm.cdsEV_TBL_INV_CHIEF, &dm.cdsEV_TBL_INV_CON},
        orderingMode);
}

}  // namespace sarvenu
