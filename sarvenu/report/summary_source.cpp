#include "report/summary_source.h"

#include <algorithm>
#include <unordered_map>

namespace sarvenu {

namespace {

// The kept values of one table: per work number (its first record) a row of
// the values in SummaryFields order. The texts lie back to back in one
// buffer: a large office's works hold millions of short values.
class TKeptRecords {
  public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    void Reserve(size_t rows, size_t width) {
        width_ = width;
        rows_.reserve(rows);
        numbers_.reserve(rows);
        ends_.reserve(rows * width);
        texts_.reserve(rows * width * 2);
    }
    // Starts the row of a work number; false when the number has one already.
    bool StartRow(const std::string& number) {
        if (!rows_.try_emplace(number, numbers_.size()).second) return false;
        numbers_.push_back(number);
        return true;
    }
    void Add(const std::string& text) {
        texts_ += text;
        ends_.push_back(static_cast<uint32_t>(texts_.size()));
    }
    // The row of a work number; `hint` is tried first (tables written by
    // the program keep their works in the same order).
    size_t Row(const std::string& number, size_t hint) const {
        if (hint < numbers_.size() && numbers_[hint] == number) return hint;
        const auto at = rows_.find(number);
        return at == rows_.end() ? kNone : at->second;
    }
    std::string Value(size_t row, size_t column) const {
        const size_t i = row * width_ + column;
        const uint32_t begin = i == 0 ? 0 : ends_[i - 1];
        return texts_.substr(begin, ends_[i] - begin);
    }

  private:
    size_t width_ = 0;
    std::unordered_map<std::string, size_t> rows_;
    std::vector<std::string> numbers_;  // of the rows, in order
    std::vector<uint32_t> ends_;
    std::string texts_;
};

void Keep(TClientTable& table, TTableId id, TKeptRecords& kept, std::vector<std::string>* order) {
    if (!table.Active()) return;
    const std::vector<std::string>& names = SummaryFields(id);
    TField* number = table.FindField("CONST_NO");
    if (!number) return;
    // A field the table lacks (an older table version) reads as empty.
    std::vector<TField*> fields;
    for (const std::string& name : names) fields.push_back(table.FindField(name));
    const uint32_t total = table.RecordTotal();
    kept.Reserve(total, fields.size());
    if (order) order->reserve(total);
    table.ScanAllRecords([&](const TRecordView& record) {
        const std::string key = record.Text(*number);
        if (!kept.StartRow(key)) return;
        if (order) order->push_back(key);
        for (TField* field : fields) kept.Add(field ? record.Text(*field) : std::string());
    });
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
            Keep(*tables[t], static_cast<TTableId>(t), kept[t], t == 0 ? &order : nullptr);

    std::vector<TSummaryWork> works;
    works.reserve(order.size());
    std::array<size_t, kSummaryTableCount> rows{};
    // The figures ask for the same fields in the same order for every work:
    // the positions found for the previous work are tried before a search.
    struct TAsked {
        TTableId table;
        const std::string* name;
        size_t position;
    };
    std::vector<TAsked> asked;
    size_t step = 0;
    auto position = [&asked, &step](TTableId table, const std::string& field) {
        if (step < asked.size() && asked[step].table == table && *asked[step].name == field)
            return asked[step++].position;
        const auto& positions = FieldPositions(table);
        const auto at = positions.find(field);
        const size_t found = at == positions.end() ? TKeptRecords::kNone : at->second;
        const TAsked entry{table, at == positions.end() ? nullptr : &at->first, found};
        if (entry.name) {
            if (step < asked.size())
                asked[step] = entry;
            else
                asked.push_back(entry);
            ++step;
        }
        return found;
    };
    const TSheetText text = [&rows, &kept, &position](TTableId table, const std::string& field) {
        const size_t t = static_cast<size_t>(table);
        if (rows.at(t) == TKeptRecords::kNone) return std::string();
        const size_t column = position(table, field);
        return column == TKeptRecords::kNone ? std::string() : kept[t].Value(rows[t], column);
    };
    for (size_t w = 0; w < order.size(); ++w) {
        for (int t = 0; t < kSummaryTableCount; ++t) rows[t] = kept[t].Row(order[w], w);
        step = 0;
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
