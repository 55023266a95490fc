// Building an index: visiting the store (or a source index already in the
// wanted order), the bulk path that appends unsorted and sorts in place, and
// the descriptor match used to find ready-made orders.
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dataset/dataset.h"
#include "index/index.h"
#include "index/word_sort.h"
#include "platform/collation.h"

namespace pelmora {

namespace {

bool Skipped(const TDSBASE& dataset, uint32_t record) {
    if (dataset.delta_mode()) return false;
    return (dataset.store().StatusAt(record) & (REC_SUPERSEDED | REC_DELETED | REC_DISCARDED)) != 0;
}

// Remembers the first record that had each text, so that a text met again
// takes that record's sort key instead of asking the collation once more.
class FirstWithText {
  public:
    explicit FirstWithText(size_t expected) {
        size_t capacity = 16;
        while (capacity < expected * 2) capacity *= 2;
        slots_.assign(capacity, 0);
    }
    // The record that first had `text` (textOf gives a record's text), or 0
    // after taking `record` as the first one.
    template <typename TextOf>
    uint32_t Find(std::string_view text, uint32_t record, TextOf textOf) {
        const size_t mask = slots_.size() - 1;
        for (size_t i = std::hash<std::string_view>{}(text)&mask;; i = (i + 1) & mask) {
            if (slots_[i] == 0) {
                slots_[i] = record;
                return 0;
            }
            if (textOf(slots_[i]) == text) return slots_[i];
        }
    }

  private:
    std::vector<uint32_t> slots_;  // record numbers, 0 for an empty slot
};

}  // namespace

// Sort keys of the entries being sorted, by record number: collation sort
// keys for string key fields and order-preserving integers for the narrow
// integer types, so that comparing them gives the comparators' order at a
// fraction of the cost. Other key fields use their comparator.
class DSIDX::SortKeys {
  public:
    EngineResult Build(const DSIDX& index, const std::vector<uint32_t>& entries,
                       const platform::Collation& collation) {
        const IndexDesc& d = index.desc_;
        const std::vector<FieldDesc>& fields = index.dataset_->fields();
        const uint32_t records = index.dataset_->next_record();
        try {
            fields_.assign(d.fieldCount, Field{});
            for (uint32_t k = 0; k < d.fieldCount; ++k) {
                const FieldDesc& field = fields[d.fields[k] - 1];
                Field& out = fields_[k];
                out.descending = d.descending[k] != 0;
                if (entries.size() < kWorthIt) continue;
                if (field.type == FLD_STRING && k == 0 && records <= kRankedFlag) {
                    platform::PrimaryWeights weights(collation);
                    if (weights.usable()) {
                        out.kind = Kind::Text;
                        RankByWeights(index, entries, weights, d.caseInsensitive[k] != 0);
                        continue;
                    }
                }
                if (field.type == FLD_STRING) {
                    out.kind = Kind::Text;
                    out.start.assign(records + 1, 0);
                    out.length.assign(records + 1, kBlank);
                    size_t made = 0;
                    auto textOf = [&](uint32_t r) {
                        const char* text =
                            reinterpret_cast<const char*>(index.StoredValue(r, d.fields[k]));
                        return std::string_view(text, strnlen(text, field.length));
                    };
                    FirstWithText seen(entries.size());
                    // The first field's texts are ranked: records below 2^31
                    // note here the first record with their text.
                    const bool rank = k == 0 && records <= kRankedFlag;
                    std::vector<uint32_t> firsts;
                    if (rank) rank_.assign(records + 1, 0);
                    for (uint32_t r : entries) {
                        if (index.StoredValue(r, d.fields[k]) == nullptr) continue;
                        const std::string_view text = textOf(r);
                        if (const uint32_t first = seen.Find(text, r, textOf); first != 0) {
                            out.start[r] = out.start[first];
                            out.length[r] = out.length[first];
                            if (rank) rank_[r] = first | kRankedFlag;
                            continue;
                        }
                        if (rank) firsts.push_back(r);
                        // Room for all keys at the size of the first ones,
                        // rather than growing (and copying) step by step.
                        if (++made == kWorthIt) {
                            const size_t each = out.bytes.size() / (made - 1);
                            out.bytes.reserve(each * entries.size() / 4 * 5);
                        }
                        const std::string key =
                            collation.SortKey(text.data(), static_cast<ptrdiff_t>(text.size()),
                                              d.caseInsensitive[k] != 0);
                        out.start[r] = out.bytes.size();
                        out.length[r] = static_cast<uint32_t>(key.size());
                        out.bytes.insert(out.bytes.end(), key.begin(), key.end());
                    }
                    if (rank) RankTexts(out, firsts, entries);
                } else if (IntegerWidth(field.type) != 0) {
                    out.kind = Kind::Integer;
                    out.number.assign(records + 1, 0);
                    for (uint32_t r : entries) {
                        const uint8_t* v = index.StoredValue(r, d.fields[k]);
                        if (v != nullptr) out.number[r] = 1 + Normalised(field.type, v);
                    }
                }
            }
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        } catch (const std::length_error&) {
            return DSERR_NOMEMORY;
        }
        return DS_OK;
    }

    bool Has(uint32_t k) const { return k < fields_.size() && fields_[k].kind != Kind::None; }

    // For a one-field index over a narrow integer type: every entry's key
    // and record number packed into one word whose plain order is the index
    // order (blank first, inverted when descending, equal keys by record
    // number). False, with `out` untouched, when the index does not qualify.
    static bool PackIntegerKeys(const DSIDX& index, const std::vector<uint32_t>& entries,
                                std::vector<uint64_t>& out) {
        const IndexDesc& d = index.desc_;
        if (d.fieldCount != 1) return false;
        const uint32_t field = d.fields[0];
        const uint32_t type = index.dataset_->fields()[field - 1].type;
        // Keys take 33 bits (blank, then 2^32 values), record numbers 31.
        if (IntegerWidth(type) == 0 || index.dataset_->next_record() > 0x7FFFFFFFu) return false;
        constexpr uint64_t kTop = (uint64_t{1} << 33) - 1;
        const bool descending = d.descending[0] != 0;
        out.resize(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            const uint32_t r = entries[i];
            const uint8_t* v = index.StoredValue(r, field);
            uint64_t key = v == nullptr ? 0 : 1 + Normalised(type, v);
            if (descending) key = kTop - key;
            out[i] = key << 31 | r;
        }
        return true;
    }

    // The comparator's rules: blank first, negated when descending.
    int Compare(uint32_t k, uint32_t a, uint32_t b) const {
        const Field& f = fields_[k];
        int c;
        if (f.kind == Kind::Integer) {
            const uint64_t x = f.number[a];
            const uint64_t y = f.number[b];
            c = x < y ? -1 : (x > y ? 1 : 0);
        } else if (k == 0 && ranked_) {
            // Ranks follow the sort keys; blank ranks 0.
            c = rank_[a] < rank_[b] ? -1 : (rank_[a] > rank_[b] ? 1 : 0);
        } else {
            const uint32_t an = f.length[a];
            const uint32_t bn = f.length[b];
            if (an == kBlank || bn == kBlank) {
                c = an == bn ? 0 : (an == kBlank ? -1 : 1);
            } else {
                const int m = std::memcmp(f.bytes.data() + f.start[a], f.bytes.data() + f.start[b],
                                          std::min(an, bn));
                c = m != 0 ? (m < 0 ? -1 : 1) : (an < bn ? -1 : (an > bn ? 1 : 0));
            }
        }
        return f.descending ? -c : c;
    }

    // A 64-bit summary of the first key field that never orders two entries
    // against their full comparison (equal summaries decide nothing).
    uint64_t Head(uint32_t record) const {
        if (fields_.empty()) return 0;
        const Field& f = fields_[0];
        uint64_t h = 0;
        if (f.kind == Kind::Integer) {
            h = f.number[record];
        } else if (f.kind == Kind::Text && ranked_) {
            h = rank_[record];
        } else if (f.kind == Kind::Text && f.length[record] != kBlank) {
            uint8_t first[8] = {};
            std::memcpy(first, f.bytes.data() + f.start[record], std::min(f.length[record], 8u));
            for (uint8_t byte : first) h = (h << 8) | byte;
            h = (h >> 1) + 1;  // blank stays 0
        }
        return f.descending ? ~h : h;
    }
    // True when equal heads mean an equal first field: the head then orders
    // that field alone, and HeadWord gives it in 33 bits.
    bool ExactHead() const {
        return !fields_.empty() &&
               (fields_[0].kind == Kind::Integer || (fields_[0].kind == Kind::Text && ranked_));
    }
    uint64_t HeadWord(uint32_t record) const {
        constexpr uint64_t kTop = (uint64_t{1} << 33) - 1;
        const uint64_t h =
            fields_[0].kind == Kind::Integer ? fields_[0].number[record] : rank_[record];
        return fields_[0].descending ? kTop - h : h;
    }

  private:
    enum class Kind { None, Text, Integer };
    struct Field;
    // Sort-key order of two non-blank texts.
    static int CompareText(const Field& f, uint32_t a, uint32_t b) {
        const uint32_t an = f.length[a];
        const uint32_t bn = f.length[b];
        const int m =
            std::memcmp(f.bytes.data() + f.start[a], f.bytes.data() + f.start[b], std::min(an, bn));
        return m != 0 ? (m < 0 ? -1 : 1) : (an < bn ? -1 : (an > bn ? 1 : 0));
    }
    // Numbers the distinct texts from 1 in sort-key order (texts with equal
    // sort keys share a number); every record takes its text's number.
    void RankTexts(const Field& f, std::vector<uint32_t>& firsts,
                   const std::vector<uint32_t>& entries) {
        std::sort(firsts.begin(), firsts.end(),
                  [&f](uint32_t a, uint32_t b) { return CompareText(f, a, b) < 0; });
        uint32_t rank = 0;
        uint32_t previous = 0;
        for (uint32_t r : firsts) {
            if (previous == 0 || CompareText(f, previous, r) != 0) ++rank;
            rank_[r] = rank;
            previous = r;
        }
        for (uint32_t r : entries) {
            if ((rank_[r] & kRankedFlag) != 0) rank_[r] = rank_[rank_[r] & ~kRankedFlag];
        }
        ranked_ = true;
    }

    // Ranks the first field's texts as RankTexts does, from the collation's
    // primary weights: every distinct text's weights, renumbered densely and
    // written as a short byte string, sort the texts; only texts whose
    // weights agree throughout (case or accent variants) need full sort keys.
    void RankByWeights(const DSIDX& index, const std::vector<uint32_t>& entries,
                       platform::PrimaryWeights& weights, bool ignoreCase) {
        const uint32_t field = index.desc_.fields[0];
        const uint32_t width = index.dataset_->fields()[field - 1].length;
        const uint32_t records = index.dataset_->next_record();
        auto textOf = [&](uint32_t r) {
            const char* text = reinterpret_cast<const char*>(index.StoredValue(r, field));
            return std::string_view(text, strnlen(text, width));
        };
        rank_.assign(records + 1, 0);

        // The distinct texts. Looking texts up pays only when they repeat:
        // a sample decides whether the rest are looked up too (a text taken
        // twice just ranks with itself).
        std::vector<uint32_t> firsts;
        firsts.reserve(entries.size());
        {
            FirstWithText seen(entries.size());
            size_t sampled = 0;
            size_t repeats = 0;
            bool lookUp = true;
            for (uint32_t r : entries) {
                if (index.StoredValue(r, field) == nullptr) continue;
                if (!lookUp) {
                    firsts.push_back(r);
                    continue;
                }
                if (const uint32_t first = seen.Find(textOf(r), r, textOf); first != 0) {
                    rank_[r] = first | kRankedFlag;
                    ++repeats;
                } else {
                    firsts.push_back(r);
                }
                if (++sampled == kSample && repeats < kSample / 8) lookUp = false;
            }
        }

        // The distinct weights, numbered from 1 in order.
        std::vector<uint32_t> buffer(256);
        auto weightsOf = [&](uint32_t r) {
            const std::string_view text = textOf(r);
            size_t n =
                weights.Weights(text.data(), text.size(), ignoreCase, buffer.data(), buffer.size());
            if (n > buffer.size()) {
                buffer.resize(n);
                n = weights.Weights(text.data(), text.size(), ignoreCase, buffer.data(),
                                    buffer.size());
            }
            return n;
        };
        // Each weight met takes an id in order of arrival; the texts' ids are
        // kept in one run (their counts apart) for the second pass.
        WeightNumbers numbers;
        std::vector<uint32_t> ids;
        std::vector<uint32_t> counts(firsts.size());
        ids.reserve(firsts.size() * 8);
        for (size_t i = 0; i < firsts.size(); ++i) {
            const size_t n = weightsOf(firsts[i]);
            counts[i] = static_cast<uint32_t>(n);
            for (size_t w = 0; w < n; ++w) ids.push_back(numbers.Id(buffer[w]));
        }
        const uint32_t bytesPer = numbers.Finish();

        // Each text's numbers as big-endian bytes: the first kInline bytes
        // beside the record, the rest (rarely any) apart.
        struct Item {
            uint64_t word[kInlineWords];
            uint32_t record;
            uint32_t length;  // bytes of numbers
        };
        std::vector<Item> items(firsts.size());
        std::vector<uint8_t> tails;
        std::vector<size_t> tailAt;
        const uint32_t* next = ids.data();
        for (size_t i = 0; i < firsts.size(); ++i) {
            const uint32_t r = firsts[i];
            Item& item = items[i];
            item.record = r;
            item.length = counts[i] * bytesPer;
            uint32_t at = 0;  // bytes written
            uint64_t word[kInlineWords] = {};
            for (uint32_t w = 0; w < counts[i]; ++w, ++next) {
                const uint32_t number = numbers.NumberOf(*next);
                for (uint32_t b = bytesPer; b-- > 0; ++at) {
                    const auto byte = static_cast<uint8_t>(number >> (8 * b));
                    if (at < kInline) {
                        word[at / 8] |= uint64_t{byte} << (8 * (7 - at % 8));
                        continue;
                    }
                    if (at == kInline) {
                        if (tailAt.empty()) tailAt.assign(records + 1, 0);
                        tailAt[r] = tails.size();
                    }
                    tails.push_back(byte);
                }
            }
            std::copy_n(word, kInlineWords, item.word);
        }
        std::vector<uint32_t>().swap(ids);
        // Numbers differ from 0 in every byte group, so zero padding sorts a
        // text before the longer texts it starts.
        auto compareWeights = [&](const Item& a, const Item& b) {
            for (uint32_t w = 0; w < kInlineWords; ++w) {
                if (a.word[w] != b.word[w]) return a.word[w] < b.word[w] ? -1 : 1;
            }
            if (a.length > kInline && b.length > kInline) {
                const int m =
                    std::memcmp(tails.data() + tailAt[a.record], tails.data() + tailAt[b.record],
                                std::min(a.length, b.length) - kInline);
                if (m != 0) return m < 0 ? -1 : 1;
            }
            return a.length < b.length ? -1 : (a.length > b.length ? 1 : 0);
        };
        std::sort(items.begin(), items.end(),
                  [&](const Item& a, const Item& b) { return compareWeights(a, b) < 0; });

        // Runs of equal weights are put in full sort-key order.
        uint32_t rank = 0;
        std::vector<uint8_t> keys;
        std::vector<std::pair<size_t, uint32_t>> run;  // key offset, record
        for (size_t i = 0; i < items.size();) {
            size_t j = i + 1;
            while (j < items.size() && compareWeights(items[i], items[j]) == 0) ++j;
            if (j == i + 1) {
                rank_[items[i].record] = ++rank;
                i = j;
                continue;
            }
            keys.clear();
            run.clear();
            for (size_t m = i; m < j; ++m) {
                const std::string_view text = textOf(items[m].record);
                const size_t at = keys.size();
                keys.resize(at + 64);
                size_t n = weights.collation().SortKeyInto(text.data(), text.size(), ignoreCase,
                                                           keys.data() + at, 64);
                if (n > 64) {
                    keys.resize(at + n);
                    weights.collation().SortKeyInto(text.data(), text.size(), ignoreCase,
                                                    keys.data() + at, n);
                }
                keys.resize(at + n);
                run.emplace_back(at, items[m].record);
            }
            auto keyOf = [&](size_t m) {
                const size_t end = m + 1 < run.size() ? run[m + 1].first : keys.size();
                return std::string_view(reinterpret_cast<const char*>(keys.data()) + run[m].first,
                                        end - run[m].first);
            };
            std::vector<std::pair<std::string_view, uint32_t>> sorted;
            sorted.reserve(run.size());
            for (size_t m = 0; m < run.size(); ++m) sorted.emplace_back(keyOf(m), run[m].second);
            std::sort(sorted.begin(), sorted.end());
            for (size_t m = 0; m < sorted.size(); ++m) {
                if (m == 0 || sorted[m].first != sorted[m - 1].first) ++rank;
                rank_[sorted[m].second] = rank;
            }
            i = j;
        }
        for (uint32_t r : entries) {
            if ((rank_[r] & kRankedFlag) != 0) rank_[r] = rank_[rank_[r] & ~kRankedFlag];
        }
        ranked_ = true;
    }

    // Ids for the weights met while ranking (in order of arrival), then
    // numbers from 1 in weight order.
    class WeightNumbers {
      public:
        uint32_t Id(uint32_t weight) {
            if (weight == last_ && !weights_.empty()) return lastId_;
            if ((weights_.size() + 1) * 2 > slots_.size()) Grow();
            for (size_t i = Slot(weight);; i = (i + 1) & (slots_.size() - 1)) {
                if (slots_[i] == 0) {
                    weights_.push_back(weight);
                    slots_[i] = static_cast<uint32_t>(weights_.size());
                }
                if (weights_[slots_[i] - 1] == weight) {
                    last_ = weight;
                    lastId_ = slots_[i] - 1;
                    return lastId_;
                }
            }
        }
        // Numbers the weights; returns the bytes a number takes.
        uint32_t Finish() {
            std::vector<uint32_t> order(weights_.size());
            for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
            std::sort(order.begin(), order.end(),
                      [this](uint32_t a, uint32_t b) { return weights_[a] < weights_[b]; });
            numbers_.resize(weights_.size());
            for (uint32_t n = 0; n < order.size(); ++n) numbers_[order[n]] = n + 1;
            const size_t used = weights_.size();
            return used < 0xFF ? 1 : used < 0xFFFF ? 2 : used < 0xFFFFFF ? 3 : 4;
        }
        uint32_t NumberOf(uint32_t id) const { return numbers_[id]; }

      private:
        // The top bits of a multiplicative hash: weights differ mostly in
        // their high bytes.
        size_t Slot(uint32_t weight) const {
            return static_cast<size_t>((weight * 0x9E3779B97F4A7C15ull) >> shift_);
        }
        void Grow() {
            slots_.assign(std::max<size_t>(slots_.size() * 2, 1024), 0);
            shift_ = 64;
            for (size_t size = slots_.size(); size > 1; size >>= 1) --shift_;
            for (uint32_t id = 0; id < weights_.size(); ++id) {
                size_t i = Slot(weights_[id]);
                while (slots_[i] != 0) i = (i + 1) & (slots_.size() - 1);
                slots_[i] = id + 1;
            }
        }
        std::vector<uint32_t> slots_;  // id + 1, 0 for an empty slot
        std::vector<uint32_t> weights_;
        std::vector<uint32_t> numbers_;
        uint32_t shift_ = 64;
        uint32_t last_ = 0;
        uint32_t lastId_ = 0;
    };

    static constexpr uint32_t kBlank = 0xFFFFFFFFu;
    // Texts looked at before deciding whether distinct texts are looked up.
    static constexpr size_t kSample = 4096;
    // Bytes of a text's weight numbers kept beside its record while sorting.
    static constexpr uint32_t kInlineWords = 3;
    static constexpr uint32_t kInline = kInlineWords * 8;
    // Below this many entries the values are compared directly.
    static constexpr uint32_t kWorthIt = 64;

    // Width of the integer types whose values fit an order-preserving
    // 32-bit code; 0 for every other type.
    static uint32_t IntegerWidth(uint32_t type) {
        switch (type) {
            case FLD_INT8:
            case FLD_UINT8:
            case FLD_BOOL8:
                return 1;
            case FLD_INT16:
            case FLD_UINT16:
            case FLD_BOOL16:
                return 2;
            case FLD_INT32:
            case FLD_UINT32:
            case FLD_DATE:
            case FLD_TIME:
            case FLD_BOOL32:
                return 4;
            default:
                return 0;
        }
    }
    // The value as an unsigned number in the comparator's order.
    static uint64_t Normalised(uint32_t type, const uint8_t* v) {
        switch (type) {
            case FLD_INT8:
                return static_cast<uint8_t>(v[0] ^ 0x80u);
            case FLD_UINT8:
            case FLD_BOOL8:
                return v[0];
            case FLD_INT16:
            case FLD_UINT16:
            case FLD_BOOL16: {
                uint16_t x;
                std::memcpy(&x, v, 2);
                return type == FLD_INT16 ? static_cast<uint16_t>(x ^ 0x8000u) : x;
            }
            default: {
                uint32_t x;
                std::memcpy(&x, v, 4);
                return type == FLD_INT32 ? (x ^ 0x80000000u) : x;
            }
        }
    }

    struct Field {
        Kind kind = Kind::None;
        bool descending = false;
        std::vector<size_t> start;     // by record number
        std::vector<uint32_t> length;  // kBlank for a blank value
        std::vector<char> bytes;
        std::vector<uint64_t> number;  // 0 for a blank value
    };
    std::vector<Field> fields_;
    // The first field's text ranks by record number (0 for a blank), when
    // ranked_; while ranking, a record with an earlier text holds that
    // record's number with kRankedFlag set.
    static constexpr uint32_t kRankedFlag = 0x80000000u;
    std::vector<uint32_t> rank_;
    bool ranked_ = false;
};

EngineResult DSIDX::Rebuild(const IndexDesc* desc, const DSIDX* source) {
    const uint32_t records = dataset_->next_record() - 1;
    if (EngineResult r = Reserve(records + 10); r != DS_OK) return r;
    if (desc != nullptr) {
        if (EngineResult r = InstallDescriptor(*desc); r != DS_OK) return r;
    }
    // The source's order is copied first: it may be this index itself.
    const bool useSource =
        source != nullptr && source->count() != 0 && records != 0 && desc_.fieldCount != 0;
    std::vector<uint32_t> order;
    if (useSource) {
        if (EngineResult r = source->entries_.CopyTo(order); r != DS_OK) return r;
    }
    entries_.Clear();
    Touch();
    TellGrouping(EntryEvent::Reordered, 0);

    // The default order takes the bulk path too: with equal keys kept in
    // arrival order it gives the same entries as inserting one by one, at
    // the cost of one sort.
    const bool bulk = desc_.fieldCount != 0 && records != 0 && !useSource;
    // While appending in bulk the key is held empty, so every record goes to
    // the end; the sort below puts them in order.
    const uint32_t keyFields = desc_.fieldCount;
    if (bulk) desc_.fieldCount = 0;
    EngineResult result = DS_OK;
    if (kind_ == IDX_PLAIN && records != 0 && !useSource) {
        // A plain index takes every live record: gathered straight into the
        // order to sort (record order for an index without key fields),
        // without going through the entry blocks first.
        desc_.fieldCount = keyFields;
        std::vector<uint32_t> flat;
        try {
            flat.reserve(records);
            for (uint32_t record = 1; record <= records; ++record) {
                if (!Skipped(*dataset_, record)) flat.push_back(record);
            }
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        return keyFields != 0 ? SortFlat(flat) : InstallSorted(flat);
    }
    if (useSource) {
        for (uint32_t record : order) {
            if (record == 0 || record > records || Skipped(*dataset_, record)) continue;
            if ((result = RecordAdded(record)) != DS_OK) break;
        }
    } else {
        for (uint32_t record = 1; record <= records; ++record) {
            if (Skipped(*dataset_, record)) continue;
            if ((result = RecordAdded(record)) != DS_OK) break;
        }
    }
    desc_.fieldCount = keyFields;
    if (result != DS_OK) return result;
    if (!bulk) return DS_OK;
    return SortEntries();
}

EngineResult DSIDX::SortEntries() {
    std::vector<uint32_t> flat;
    if (EngineResult r = entries_.CopyTo(flat); r != DS_OK) return r;
    return SortFlat(flat);
}

EngineResult DSIDX::SortFlat(std::vector<uint32_t>& flat) {
    try {
        std::vector<uint64_t> packed;
        if (SortKeys::PackIntegerKeys(*this, flat, packed)) {
            SortWords(packed);
            for (size_t i = 0; i < packed.size(); ++i)
                flat[i] = static_cast<uint32_t>(packed[i] & 0x7FFFFFFFu);
            return InstallSorted(flat);
        }
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    SortKeys keys;
    if (EngineResult r = keys.Build(*this, flat, dataset_->collation()); r != DS_OK) return r;
    if (desc_.fieldCount == 1 && keys.ExactHead() && dataset_->next_record() <= 0x7FFFFFFFu) {
        // The head orders the only field: words of head and record number.
        try {
            std::vector<uint64_t> packed(flat.size());
            for (size_t i = 0; i < flat.size(); ++i)
                packed[i] = keys.HeadWord(flat[i]) << 31 | flat[i];
            SortWords(packed);
            for (size_t i = 0; i < packed.size(); ++i)
                flat[i] = static_cast<uint32_t>(packed[i] & 0x7FFFFFFFu);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        return InstallSorted(flat);
    }
    // Equal keys are ordered by record number, i.e. by arrival, as the
    // insertion path orders them; the order is total, so the sort's result
    // does not depend on how it partitions.
    auto compare = [this, &keys](uint32_t a, uint32_t b) {
        for (uint32_t k = 0; k < desc_.fieldCount; ++k) {
            const uint32_t f = desc_.fields[k];
            const int c = keys.Has(k)
                              ? keys.Compare(k, a, b)
                              : comparators_[k]->Compare(StoredValue(a, f), StoredValue(b, f));
            if (c != 0) return c;
        }
        return a < b ? -1 : (a > b ? 1 : 0);
    };
    // The first field's summary settles most comparisons without leaving
    // the array being sorted.
    struct Item {
        uint64_t head;
        uint32_t record;
    };
    std::vector<Item> items;
    try {
        items.reserve(flat.size());
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    for (uint32_t r : flat) items.push_back({keys.Head(r), r});
    std::sort(items.begin(), items.end(), [&compare](const Item& a, const Item& b) {
        if (a.head != b.head) return a.head < b.head;
        return compare(a.record, b.record) < 0;
    });
    for (size_t i = 0; i < items.size(); ++i) flat[i] = items[i].record;
    return InstallSorted(flat);
}

EngineResult DSIDX::InstallSorted(const std::vector<uint32_t>& flat) {
    if (EngineResult r = entries_.Assign(flat); r != DS_OK) return r;
    Touch();
    TellGrouping(EntryEvent::Reordered, 0);

    if (unique() && desc_.fieldCount != 0) {
        for (size_t i = 1; i < flat.size(); ++i) {
            if (CompareRecords(flat[i - 1], flat[i]) == 0) return DSERR_KEYVIOL;
        }
    }
    return DS_OK;
}

DSIDX* BuildPlainIndex(TDSBASE* dataset, const IndexDesc& desc, const DSIDX* source,
                       EngineResult* result) {
    DSIDX* index = new (std::nothrow) DSIDX(dataset, IDX_PLAIN);
    if (index == nullptr) {
        if (result != nullptr) *result = DSERR_NOMEMORY;
        return nullptr;
    }
    if (EngineResult r = index->Rebuild(&desc, source); r != DS_OK) {
        delete index;
        if (result != nullptr) *result = r;
        return nullptr;
    }
    if (result != nullptr) *result = DS_OK;
    return index;
}

bool DescriptorsMatch(const IndexDesc& a, const IndexDesc& b, bool prefix, bool ignoreUnique) {
    if (a.fieldCount > 16 || b.fieldCount > 16) return false;
    if (prefix ? b.fieldCount < a.fieldCount : b.fieldCount != a.fieldCount) return false;
    for (uint32_t k = 0; k < a.fieldCount; ++k) {
        if (a.fields[k] != b.fields[k]) return false;
        if ((a.descending[k] != 0) != (b.descending[k] != 0)) return false;
        if ((a.caseInsensitive[k] != 0) != (b.caseInsensitive[k] != 0)) return false;
    }
    return ignoreUnique || a.unique == b.unique;
}

}  // namespace pelmora
