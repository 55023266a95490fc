#include "report/summary_source.h"

#include <algorithm>
#include <functional>
#include <future>
#include <system_error>
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

// Below this many works the reading stays on the calling thread.
constexpr size_t kParallelFrom = 1000;

// Runs both jobs, the second on a thread of its own when one can be had; an
// exception of either reaches the caller once both have ended.
void RunBoth(const std::function<void()>& first, const std::function<void()>& second,
             bool parallel) {
    std::future<void> beside;
    if (parallel) {
        try {
            beside = std::async(std::launch::async, second);
        } catch (const std::system_error&) {
            parallel = false;  // no thread to be had: one after the other
        }
    }
    if (!parallel) {
        first();
        second();
        return;
    }
    try {
        first();
    } catch (...) {
        beside.wait();  // the other job uses the caller's data
        throw;
    }
    beside.get();
}

// The figures of the works order[first, last) into works.
void FigureWorks(const std::vector<std::string>& order,
                 const std::array<TKeptRecords, kSummaryTableCount>& kept, bool orderingMode,
                 size_t first, size_t last, std::vector<TSummaryWork>& works) {
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
    for (size_t w = first; w < last; ++w) {
        for (int t = 0; t < kSummaryTableCount; ++t) rows[t] = kept[t].Row(order[w], w);
        step = 0;
        works[w] = SummaryWorkOf(text, orderingMode);
    }
}

}  // namespace

std::vector<TSummaryWork> ReadSummaryWorks(const TSummaryTables& tables, bool orderingMode) {
    // The contractor's sheet is read beside the other tables, and the works'
    // figures are computed in two halves: an office's years of works are
    // summarised while the user waits.
    std::vector<std::string> order;
    std::array<TKeptRecords, kSummaryTableCount> kept;
    const auto keep = [&tables, &kept, &order](TTableId id) {
        const size_t t = static_cast<size_t>(id);
        // A table the figures take nothing from is not read (the main table
        // gives the works).
        if (tables[t] && (id == TTableId::Main || !SummaryFields(id).empty()))
            Keep(*tables[t], id, kept[t], id == TTableId::Main ? &order : nullptr);
    };
    TClientTable* con = tables[static_cast<size_t>(TTableId::InvCon)];
    const bool large = con && con->Active() && con->RecordTotal() >= kParallelFrom;
    RunBoth(
        [&keep] {
            for (TTableId id : {TTableId::Main, TTableId::Plan, TTableId::Report,
                                TTableId::InvSection, TTableId::InvChief})
                keep(id);
        },
        [&keep] { keep(TTableId::InvCon); }, large);

    std::vector<TSummaryWork> works(order.size());
    const size_t half = order.size() / 2;
    RunBoth([&] { FigureWorks(order, kept, orderingMode, 0, half, works); },
            [&] { FigureWorks(order, kept, orderingMode, half, order.size(), works); },
            order.size() >= kParallelFrom);
    return works;
}

std::vector<TSummaryWork> ReadSummaryWorks(TdmCdsModule& dm, bool orderingMode) {
    return ReadSummaryWorks(
        TSummaryTables{&dm.cdsEV_TBL_MAIN, &dm.cdsEV_TBL_PLAN, &dm.cdsEV_TBL_REPORT,
                       &dm.cdsEV_TBL_INV_SECTION, &dm.cdsEV_TBL_INV_CHIEF, &dm.cdsEV_TBL_INV_CON},
        orderingMode);
}

}  // namespace sarvenu
