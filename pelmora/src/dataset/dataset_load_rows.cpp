// Reading the rows of a top-level dataset without nested datasets straight
// from the packet's bytes into the store's columns: each row is located by
// the reader and handed over whole, its values that are plain copies go into
// their slots at once, and the items that need more go through the general
// item path in the same row order, so that side effects and the first error
// come as reading item by item gives them.
#include <algorithm>
#include <cstring>
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

struct ColumnPlan {
    Copy copy = Copy::Item;
    uint32_t field = 0;
    uint32_t width = 0;
    uint8_t* values = nullptr;  // record 1's slot
    uint32_t zeroFrom = 0;      // slots from this record on still hold zeros
    uint32_t written = 0;       // the last record whose slot was written
    bool valued = false;        // a value has been copied in
    uint32_t precision = 0;
    uint32_t places = 0;
    size_t bcdBytes = 0;
};

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
    p.valued = true;
    return true;
}

}  // namespace

EngineResult DatasetLoader::ReadFlatRows(TDSBASE& ds, uint32_t count, bool untilEnd) {
    // No helper may outlive the rows: a failed load frees the store.
    const EngineResult r = ReadFlatChunks(ds, count, untilEnd);
    prefault_.Stop();
    return r;
}

EngineResult DatasetLoader::ReadFlatChunks(TDSBASE& ds, uint32_t count, bool untilEnd) {
    // The first chunk shows which columns carry values; the store may grow
    // (and its columns move) only between chunks.
    constexpr uint32_t kFirstChunk = 256;
    constexpr uint32_t kChunk = 65536;
    RecordStore& store = ds.store_;
    const size_t columns = ds.packetColumns_.size();
    const size_t fieldCount = ds.field_count();
    const bool delta = ds.delta_mode();
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
    auto row = [&](uint8_t status, const Item* items) -> EngineResult {
        const uint32_t rec = ds.next_record();
        store.SetStatus(rec, status);
        uint8_t* indicators = store.LoadIndicators() + static_cast<size_t>(rec - 1) * fieldCount;
        const bool modified = !delta && (status & REC_MODIFIED) != 0;
        for (size_t c = 0; c < columns; ++c) {
            const Item& item = items[c];
            if (TryCopy(plans[c], item, rec, indicators)) continue;
            fetched_ = item.bytes != nullptr || item.length == 0;
            value_ = item.bytes != nullptr ? item.bytes : item_.data();
            if (EngineResult w =
                    WriteItem(ds, rec, plans[c].field, modified, item.length, item.status);
                w != DS_OK)
                return w;
        }
        for (uint32_t k : *lastUnmapped_) store.WriteValue(rec, k, nullptr);
        if (EngineResult w = store.SetNextRecord(rec + 1); w != DS_OK) return w;
        const bool live = (status & kNotLive) == 0;
        if (live) ++ds.liveCount_;
        if (live || delta) ++*lastVisible_;
        return DS_OK;
    };

    uint32_t done = 0;
    while (done < count) {
        const uint32_t chunk = std::min(done == 0 ? kFirstChunk : kChunk, count - done);
        // Growing moves the columns the helper may still be faulting in.
        if (uint64_t{ds.next_record()} - 1 + chunk > store.capacity()) prefault_.Stop();
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
            // Rows the reader cannot hand over whole: one at a time, into a
            // store that may grow.
            prefault_.Stop();
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
        if (done == read && !untilEnd) {
            std::vector<bool> valued(columns);
            for (size_t c = 0; c < columns; ++c) valued[c] = plans[c].valued;
            PrefaultColumns(ds, count - done, valued);
        }
    }
    return done < count && !untilEnd ? DSERR_DATAPACKETMISMATCH : DS_OK;
}

void DatasetLoader::PrefaultColumns(TDSBASE& ds, uint32_t rows, const std::vector<bool>& valued) {
    // Below this many rows the thread costs more than it saves.
    constexpr uint32_t kMinRows = 65536;
    // Wider slots of short values leave pages between them untouched.
    constexpr uint32_t kMaxWidth = 4096;
    RecordStore& store = ds.store_;
    const uint32_t first = ds.next_record();
    if (rows < kMinRows || first > store.capacity()) return;
    const uint32_t units = std::min(rows, store.capacity() - first + 1);
    std::vector<PagePrefault::Block> blocks;
    for (size_t c = 0; c < valued.size(); ++c) {
        const uint32_t k = ds.packetColumns_[c];
        const FieldDesc& f = ds.fields_[k - 1];
        if (!valued[c] || f.parentId != 0 || f.length == 0 || f.length > kMaxWidth) continue;
        uint32_t zeroFrom = 0;
        blocks.push_back({store.LoadColumn(k, &zeroFrom), f.length});
    }
    prefault_.Start(std::move(blocks), first - 1, units);
}

}  // namespace pelmora
