// Reading the rows of a top-level dataset without nested datasets straight
// from the packet's bytes into the store's columns: each row is located by
// the reader and handed over whole, its values that are plain copies go into
// their slots at once, and the items that need more go through the general
// item path in the same row order, so that side effects and the first error
// come as reading item by item gives them.
#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "dataset/dataset_loader.h"
#include "store/bcd.h"
#include "store/field_types.h"

namespace pelmora {

namespace {

using Item = TDATAPACKET_READ::InPlaceItem;

// How a packet column's values go into its field.
enum class Copy : uint8_t {
    Item,    // through the general item path
    Text,    // up to the first NUL, at most width - 1 bytes
    Fixed4,  // the first 4 bytes
    Fixed8,  // the first 8 bytes
    Fixed,   // the first width bytes
    Bcd,     // a packet decimal already at the field's precision and places
};

}  // namespace

struct DatasetLoader::ColumnPlan {
    Copy copy = Copy::Item;
    uint32_t field = 0;
    uint32_t width = 0;
    uint8_t* values = nullptr;  // record 1's slot
    uint32_t zeroFrom = 0;      // slots from this record on still hold zeros
    uint32_t written = 0;       // the last record whose slot was written
    uint32_t precision = 0;
    uint32_t places = 0;
    size_t bcdBytes = 0;
};

namespace {

using ColumnPlan = DatasetLoader::ColumnPlan;

Copy CopyOf(const FieldDesc& f) {
    if (f.parentId != 0 || f.length == 0) return Copy::Item;
    switch (f.type) {
        case FLD_STRING:
            return Copy::Text;
        case FLD_BCD: {
            const size_t bytes = BcdBytes(f.units1);
            return bytes <= kBcdPacketSize && bytes <= f.length ? Copy::Bcd : Copy::Item;
        }
        case FLD_TABLE:
        case FLD_BLOB:
        case FLD_VARBYTES:
        case FLD_UNICODE:
            return Copy::Item;
        default:
            return f.length == 4 ? Copy::Fixed4 : f.length == 8 ? Copy::Fixed8 : Copy::Fixed;
    }
}

// Writes the item into record rec's slot when it is a blank or a plain copy;
// false leaves it to the general path.
inline bool TryCopy(ColumnPlan& p, const Item& item, uint32_t rec, uint8_t* indicators) {
    if (p.copy == Copy::Item) return false;
    uint8_t* slot = p.values + static_cast<size_t>(rec - 1) * p.width;
    const bool dirty = rec < p.zeroFrom;
    if (item.status == 1) {
        // A slot that still holds zeros is left alone, and so is its page.
        if (dirty) {
            std::memset(slot, 0, p.width);
            p.written = rec;
        }
        indicators[p.field - 1] = IND_BLANK;
        return true;
    }
    if (item.status != 0 || item.bytes == nullptr) return false;
    switch (p.copy) {
        case Copy::Text: {
            const size_t limit = std::min<size_t>(item.length, p.width - 1);
            const void* nul = std::memchr(item.bytes, 0, limit);
            const size_t n =
                nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - item.bytes) : limit;
            std::memcpy(slot, item.bytes, n);
            if (dirty) std::memset(slot + n, 0, p.width - n);
            break;
        }
        case Copy::Fixed4:
            if (item.length < 4) return false;
            std::memcpy(slot, item.bytes, 4);
            break;
        case Copy::Fixed8:
            if (item.length < 8) return false;
            std::memcpy(slot, item.bytes, 8);
            break;
        case Copy::Fixed:
            if (item.length < p.width) return false;
            std::memcpy(slot, item.bytes, p.width);
            break;
        case Copy::Bcd: {
            if (item.length != kBcdPacketSize) return false;
            uint8_t value[kBcdMaxBytes] = {};
            BcdPacketToField(item.bytes, value, sizeof value);
            if (value[0] != p.precision || (value[1] & kBcdPlacesMask) != p.places) return false;
            std::memcpy(slot, value, p.bcdBytes);
            std::memset(slot + p.bcdBytes, 0, p.width - p.bcdBytes);
            break;
        }
        case Copy::Item:
            return false;
    }
    indicators[p.field - 1] = IND_VALUE;
    p.written = rec;
    return true;
}

}  // namespace

EngineResult DatasetLoader::ReadFlatRows(TDSBASE& ds, uint32_t count, bool untilEnd) {
    RecordStore& store = ds.store_;
    const size_t columns = ds.packetColumns_.size();
    NoteDataset(ds);
    std::vector<ColumnPlan> plans(columns);
    for (size_t c = 0; c < columns; ++c) {
        ColumnPlan& plan = plans[c];
        plan.field = ds.packetColumns_[c];
        const FieldDesc& f = ds.fields_[plan.field - 1];
        plan.copy = CopyOf(f);
        plan.width = f.length;
        plan.precision = f.units1;
        plan.places = f.units2 & kBcdPlacesMask;
        plan.bcdBytes = BcdBytes(f.units1);
    }
    if (EngineResult r = DS_OK; ReadOnTwoThreads(ds, count, untilEnd, plans, &r)) return r;

    // Otherwise in chunks: the store may grow (and its columns move) only
    // between them.
    constexpr uint32_t kChunk = 65536;
    auto row = [&](uint8_t status, const Item* items) -> EngineResult {
        const uint32_t rec = ds.next_record();
        if (EngineResult w = WriteFlatRow(ds, plans, rec, status, items); w != DS_OK) return w;
        return store.SetNextRecord(rec + 1);
    };
    uint32_t done = 0;
    while (done < count) {
        const uint32_t chunk = std::min(kChunk, count - done);
        if (EngineResult r = ds.EnsureCapacity(chunk); r != DS_OK) return r;
        for (ColumnPlan& plan : plans) {
            if (plan.copy != Copy::Item) plan.values = store.LoadColumn(plan.field, &plan.zeroFrom);
        }
        uint32_t read = 0;
        const EngineResult r = direct_->ForEachRowInPlace(columns, chunk, &read, row);
        for (const ColumnPlan& plan : plans) {
            if (plan.written != 0) store.LoadedUpTo(plan.field, plan.written);
        }
        if (r == DSERR_NOTSUPPORTED && read == 0) {
            // Rows the reader cannot hand over whole: one at a time.
            for (; done < count; ++done) {
                const EngineResult one = ReadRow(ds, 0, untilEnd);
                if (one == DSERR_EOF && untilEnd) break;
                if (one != DS_OK) return one;
            }
            return DS_OK;
        }
        if (r == DSERR_EOF) break;
        done += read;
        if (r != DS_OK) return r;  // a damaged row after the ones written
        if (read == 0) break;
    }
    return done < count && !untilEnd ? DSERR_DATAPACKETMISMATCH : DS_OK;
}

EngineResult DatasetLoader::WriteItemOfRow(TDSBASE& ds, uint32_t rec, uint32_t k, uint8_t rowStatus,
                                           const Item& item) {
    HoldItem(item);
    const bool modified = !ds.delta_mode() && (rowStatus & REC_MODIFIED) != 0;
    return WriteItem(ds, rec, k, modified, item.length, item.status);
}

EngineResult DatasetLoader::WriteFlatRow(TDSBASE& ds, std::vector<ColumnPlan>& plans, uint32_t rec,
                                         uint8_t status, const Item* items) {
    RecordStore& store = ds.store_;
    store.SetStatus(rec, status);
    uint8_t* indicators = store.LoadIndicators() + static_cast<size_t>(rec - 1) * ds.field_count();
    for (size_t c = 0; c < plans.size(); ++c) {
        if (TryCopy(plans[c], items[c], rec, indicators)) continue;
        if (EngineResult w = WriteItemOfRow(ds, rec, plans[c].field, status, items[c]); w != DS_OK)
            return w;
    }
    for (uint32_t k : *lastUnmapped_) store.WriteValue(rec, k, nullptr);
    const bool live = (status & kNotLive) == 0;
    if (live) ++ds.liveCount_;
    if (live || ds.delta_mode()) ++*lastVisible_;
    return DS_OK;
}

bool DatasetLoader::ReadOnTwoThreads(TDSBASE& ds, uint32_t count, bool untilEnd,
                                     std::vector<ColumnPlan>& plans, EngineResult* result) {
    // Below this many rows a second thread costs more than it saves.
    constexpr uint32_t kMinRows = 65536;
    // The helper first walks past the rows read here, so this thread takes
    // more than half of them (percent).
    constexpr uint32_t kHeadShare = 60;
    RecordStore& store = ds.store_;
    const size_t columns = plans.size();
    const size_t fieldCount = ds.field_count();
    const bool delta = ds.delta_mode();
    const uint32_t first = ds.next_record();
    if (untilEnd || count == kCountNotKnown || count < kMinRows ||
        uint64_t{first} - 1 + count > store.capacity())
        return false;
    RowCursor cursor;
    if (direct_->TopRows(columns, &cursor) != DS_OK || cursor.remaining() < count) return false;
    const uint32_t head = static_cast<uint32_t>(uint64_t{count} * kHeadShare / 100);
    for (ColumnPlan& plan : plans) {
        if (plan.copy != Copy::Item) plan.values = store.LoadColumn(plan.field, &plan.zeroFrom);
    }
    uint8_t* const indicators = store.LoadIndicators();
    uint8_t* const statuses = store.LoadStatuses();

    // The rows after the head on the helper: plain copies go in, the other
    // items are noted for this thread to write once the head is in. All the
    // helper changes row by row is its own until it ends, as cache lines
    // shared with this thread would bounce between the cores.
    struct Left {
        uint32_t row;
        uint32_t column;
        Item item;
    };
    struct Tail {
        RowCursor end;
        std::vector<ColumnPlan> plans;
        std::vector<Left> left;
        uint32_t rows = 0;
        uint32_t live = 0;
        uint32_t visible = 0;
        EngineResult result = DS_OK;
    } tail;
    // The helper's plans are copied before this thread starts writing its own.
    std::vector<ColumnPlan> tailPlans = plans;
    auto readTail = [&tail, cursor, head, count, first, columns, fieldCount, delta, indicators,
                     statuses, tailPlans = std::move(tailPlans)]() mutable {
        Tail own;
        own.end = cursor;
        own.plans = std::move(tailPlans);
        std::vector<Item> items;
        try {
            items.resize(columns);
            uint8_t status = 0;
            own.result = own.end.Skip(head);
            for (uint32_t i = head; i < count && own.result == DS_OK; ++i) {
                own.result = own.end.Next(&status, items.data());
                if (own.result != DS_OK) break;
                const uint32_t rec = first + i;
                statuses[rec - 1] = status;
                uint8_t* row = indicators + static_cast<size_t>(rec - 1) * fieldCount;
                for (size_t c = 0; c < columns; ++c) {
                    if (!TryCopy(own.plans[c], items[c], rec, row))
                        own.left.push_back({i, static_cast<uint32_t>(c), items[c]});
                }
                const bool live = (status & kNotLive) == 0;
                if (live) ++own.live;
                if (live || delta) ++own.visible;
                ++own.rows;
            }
        } catch (const std::bad_alloc&) {
            own.result = DSERR_NOMEMORY;
        }
        if (own.result == DSERR_EOF) own.result = DSERR_DATAPACKETMISMATCH;
        tail = std::move(own);
    };
    std::thread helper;
    try {
        helper = std::thread(std::move(readTail));
    } catch (const std::system_error&) {
        return false;  // no thread: the rows are read in chunks
    }

    // The head here; its items that are not plain copies go in as they come,
    // so its rows exist from the start.
    EngineResult headResult = store.SetNextRecord(first + head);
    try {
        std::vector<Item> items(columns);
        for (uint32_t i = 0; i < head && headResult == DS_OK; ++i) {
            uint8_t status = 0;
            headResult = cursor.Next(&status, items.data());
            if (headResult == DS_OK)
                headResult = WriteFlatRow(ds, plans, first + i, status, items.data());
        }
    } catch (const std::bad_alloc&) {
        headResult = DSERR_NOMEMORY;
    }
    helper.join();
    for (size_t c = 0; c < columns; ++c) {
        uint32_t written = plans[c].written;
        if (c < tail.plans.size()) written = std::max(written, tail.plans[c].written);
        if (written != 0) store.LoadedUpTo(plans[c].field, written);
    }
    *result = headResult;
    if (headResult != DS_OK) return true;

    // The rows the helper took exist from now on; what it left goes in, in
    // row order.
    if (*result = store.SetNextRecord(first + head + tail.rows); *result != DS_OK) return true;
    for (const Left& l : tail.left) {
        const uint32_t rec = first + l.row;
        *result = WriteItemOfRow(ds, rec, plans[l.column].field, store.StatusAt(rec), l.item);
        if (*result != DS_OK) return true;
    }
    for (uint32_t i = 0; i < tail.rows; ++i) {
        for (uint32_t k : *lastUnmapped_) store.WriteValue(first + head + i, k, nullptr);
    }
    ds.liveCount_ += tail.live;
    *lastVisible_ += tail.visible;
    direct_->TakeTopRows(tail.end);
    *result = tail.result;
    return true;
}

}  // namespace pelmora
