// Aggregate and grouping operations of a cursor.
#include "cursor/cursor_aggregates.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "cursor/cursor.h"
#include "dataset/dataset.h"
#include "index/index.h"

namespace pelmora {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

uint32_t LevelOf(uint32_t handle) {
    return handle >> 16;
}
uint32_t SlotOf(uint32_t handle) {
    return handle & 0xFFFF;
}

bool NestedDetail(const TDSBASE& dataset) {
    return dataset.link_field() != 0;
}

// In a nested detail the hidden link field leads every key, so the caller's
// level 0 (the whole dataset) is the records of one master record.
uint32_t RaiseLevel(const TDSBASE& dataset, const DSIDX& index, uint32_t level) {
    return NestedDetail(dataset) && level < index.key_field_count() ? level + 1 : level;
}

// The highest level whose value does not depend on where the cursor stands
// in a particular order (the whole index, or one master's records).
uint32_t WholeLevel(const TDSBASE& dataset) {
    return NestedDetail(dataset) ? 1 : 0;
}

struct Found {
    DSIDX* index = nullptr;
    GroupingManager* manager = nullptr;
    Grouping* grouping = nullptr;
    AggregateEntry* entry = nullptr;  // null for a grouping-only handle
};

// Looks for a handle's aggregate (or grouping, for slot 0) in one index;
// with an origin only the aggregate of that origin counts.
bool FindIn(DSIDX* index, uint32_t level, uint32_t slot, const AggregateOrigin* origin,
            Found& found) {
    if (index == nullptr || level > kMaxGroupingLevel) return false;
    GroupingManager* manager = index->grouping();
    if (manager == nullptr) return false;
    Grouping* grouping = manager->grouping(level);
    if (grouping == nullptr) return false;
    AggregateEntry* entry = nullptr;
    if (slot == 0) {
        if (origin != nullptr && origin->index != index->identity()) return false;
    } else {
        entry = grouping->Find(slot);
        if (entry == nullptr || (origin != nullptr && !(entry->origin == *origin))) return false;
    }
    found = Found{index, manager, grouping, entry};
    return true;
}

// The current index first, then the others in registration order.
std::vector<DSIDX*> SearchOrder(TDSBASE& dataset, DSIDX* current) {
    std::vector<DSIDX*> order;
    if (current != nullptr) order.push_back(current);
    for (DSIDX* index : dataset.indexes()) {
        if (index != current) order.push_back(index);
    }
    return order;
}

}  // namespace

// ---------------------------------------------------------------------------
// The cursor's handle table.

const AggregateHandles::Entry* AggregateHandles::Find(uint32_t handle) const {
    for (const Entry& e : entries_) {
        if (e.handle == handle) return &e;
    }
    return nullptr;
}

bool AggregateHandles::Add(uint32_t handle, AggregateOrigin origin) {
    if (SlotOf(handle) != 0) Remove(handle);  // an older aggregate of that number is gone
    try {
        entries_.push_back(Entry{handle, origin});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void AggregateHandles::Remove(uint32_t handle) {
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [handle](const Entry& e) { return e.handle == handle; });
    if (it != entries_.end()) entries_.erase(it);
}

// ---------------------------------------------------------------------------
// Attaching and detaching.

EngineResult AttachAggregate(AggregateHost& cursor, uint32_t level, uint32_t length,
                             const void* bytes, uint32_t* handle) {
    TDSBASE* dataset = cursor.AggregateDataset();
    DSIDX* index = cursor.AggregateCurrentIndex();
    if (dataset == nullptr || index == nullptr) return DSERR_NOTSUPPORTED;
    if (handle == nullptr) return DSERR_INVALIDPARAM;
    Guard guard(dataset->lock());
    // Groups need an order of their own that every cursor sees alike.
    if (level > 0 && (index->kind() != IDX_PLAIN || index->is_private())) return DSERR_NOTSUPPORTED;
    GroupingManager* manager = nullptr;
    if (EngineResult r = GroupingManager::For(*index, &manager); r != DS_OK) return r;
    level = RaiseLevel(*dataset, *index, level);
    if (level > index->key_field_count() || level > kMaxGroupingLevel) return DSERR_OUTOFRANGE;

    Grouping* grouping = nullptr;
    if (EngineResult r = manager->TakeGrouping(level, &grouping); r != DS_OK) return r;
    AggregateOrigin origin{index->identity(), 0};
    uint32_t slot = 0;
    if (bytes != nullptr && length != 0) {
        std::unique_ptr<Aggregate> aggregate;
        EngineResult r =
            Aggregate::Create(dataset, static_cast<const uint8_t*>(bytes), length, &aggregate);
        if (r == DS_OK) {
            slot = FreeAggregateSlot(*dataset);
            if (slot == 0) r = DSERR_NOMEMORY;
        }
        if (r == DS_OK) {
            origin = manager->NextOrigin();
            r = manager->AddAggregate(*grouping, slot, origin, std::move(aggregate));
        }
        if (r != DS_OK) {
            // No handle comes back, so nothing may stay attached.
            manager->DropGroupingIfUnused(level);
            return r;
        }
    }
    const uint32_t made = level * 0x10000 + slot;
    if (!cursor.AggregateHandleTable().Add(made, origin)) {
        if (slot != 0) manager->RemoveAggregate(*grouping, slot);
        manager->DropGroupingIfUnused(level);
        return DSERR_NOMEMORY;
    }
    ++grouping->refs;
    *handle = made;
    return DS_OK;
}

EngineResult DetachAggregate(AggregateHost& cursor, uint32_t handle) {
    TDSBASE* dataset = cursor.AggregateDataset();
    if (dataset == nullptr) return DSERR_NOTSUPPORTED;
    Guard guard(dataset->lock());
    const uint32_t level = LevelOf(handle);
    const uint32_t slot = SlotOf(handle);
    if (level > kMaxGroupingLevel) return DSERR_INVALIDPARAM;
    DSIDX* current = cursor.AggregateCurrentIndex();
    AggregateHandles& table = cursor.AggregateHandleTable();

    if (const AggregateHandles::Entry* known = table.Find(handle)) {
        // Handed out by this cursor: wherever the aggregate and its copies
        // live now, they go; when their index is gone, so are they.
        const AggregateOrigin origin = known->origin;
        for (DSIDX* index : SearchOrder(*dataset, current)) {
            Found found;
            if (!FindIn(index, level, slot, &origin, found)) continue;
            if (slot != 0) found.manager->RemoveAggregate(*found.grouping, slot);
            if (found.grouping->refs > 0) --found.grouping->refs;
            found.manager->DropGroupingIfUnused(level);
            if (slot == 0) break;
        }
        table.Remove(handle);
        return DS_OK;
    }

    if (current == nullptr || current->grouping() == nullptr) return DSERR_INVALIDPARAM;
    if (current->kind() != IDX_PLAIN || current->is_private()) return DSERR_NOTSUPPORTED;
    Found found;
    if (!FindIn(current, level, slot, nullptr, found)) return DSERR_INVALIDPARAM;
    if (slot != 0) found.manager->RemoveAggregate(*found.grouping, slot);
    if (found.grouping->refs > 0) --found.grouping->refs;
    found.manager->DropGroupingIfUnused(level);
    return DS_OK;
}

// ---------------------------------------------------------------------------
// Values and descriptors.

EngineResult ReadAggregateValue(AggregateHost& cursor, uint32_t handle, void* value,
                                uint32_t* blank) {
    TDSBASE* dataset = cursor.AggregateDataset();
    if (dataset == nullptr) return DSERR_NOTSUPPORTED;
    if (value == nullptr || blank == nullptr) return DSERR_INVALIDPARAM;
    Guard guard(dataset->lock());
    cursor.AggregateSync();
    DSIDX* current = cursor.AggregateCurrentIndex();
    const uint32_t level = LevelOf(handle);
    const uint32_t slot = SlotOf(handle);
    const uint32_t whole = WholeLevel(*dataset);
    if (slot == 0 || current == nullptr) return DSERR_INVALIDPARAM;

    uint32_t position = 0;
    if (level <= whole) {
        if (level > 0) {
            // One master's records: the range's first when not on a record.
            if (cursor.AggregateStatus() == DS_OK) {
                position = cursor.AggregatePosition();
            } else if (cursor.AggregateRangeFirst() <= cursor.AggregateRangeLast()) {
                position = cursor.AggregateRangeFirst();
            } else {
                *blank = 1;
                return DS_OK;
            }
        }
    } else {
        if (const uint32_t status = cursor.AggregateStatus(); status != DS_OK) return status;
        if (current->grouping() == nullptr) return DSERR_AGGNOTFOUND;
        position = cursor.AggregatePosition();
    }

    const AggregateHandles::Entry* known = cursor.AggregateHandleTable().Find(handle);
    const AggregateOrigin* origin = known != nullptr ? &known->origin : nullptr;
    auto* out = static_cast<uint8_t*>(value);
    Found found;
    if (FindIn(current, level, slot, origin, found)) {
        return found.manager->ReadValue(*found.grouping, *found.entry->aggregate, position, out,
                                        blank);
    }
    if (level > whole) return DSERR_AGGNOTFOUND;
    // A value over whole records does not depend on the order: any index
    // that carries the aggregate will do.
    const uint32_t record = position != 0 ? current->EntryAt(position) : 0;
    for (DSIDX* index : dataset->indexes()) {
        if (index == current || !FindIn(index, level, slot, origin, found)) continue;
        uint32_t there = 0;
        if (level > 0) {
            there = index->PositionOf(record);
            if (there == 0) continue;
        }
        return found.manager->ReadValue(*found.grouping, *found.entry->aggregate, there, out,
                                        blank);
    }
    return DSERR_INVALIDPARAM;
}

EngineResult ReadAggregateDesc(AggregateHost& cursor, uint32_t handle, FieldDesc* out) {
    TDSBASE* dataset = cursor.AggregateDataset();
    if (dataset == nullptr) return DSERR_NOTSUPPORTED;
    if (out == nullptr) return DSERR_INVALIDPARAM;
    Guard guard(dataset->lock());
    const uint32_t level = LevelOf(handle);
    const uint32_t slot = SlotOf(handle);
    if (slot == 0) return DSERR_INVALIDPARAM;
    const AggregateHandles::Entry* known = cursor.AggregateHandleTable().Find(handle);
    const AggregateOrigin* origin = known != nullptr ? &known->origin : nullptr;
    const bool anywhere = origin != nullptr || level <= WholeLevel(*dataset);
    for (DSIDX* index : SearchOrder(*dataset, cursor.AggregateCurrentIndex())) {
        Found found;
        if (FindIn(index, level, slot, origin, found)) {
            *out = found.entry->aggregate->desc();
            return DS_OK;
        }
        if (!anywhere) break;
    }
    return DSERR_INVALIDPARAM;
}

// ---------------------------------------------------------------------------
// Groups.

EngineResult SkipToNextGroup(AggregateHost& cursor, uint32_t level) {
    TDSBASE* dataset = cursor.AggregateDataset();
    DSIDX* index = cursor.AggregateCurrentIndex();
    if (dataset == nullptr || index == nullptr || index->grouping() == nullptr)
        return DSERR_INVALIDPARAM;
    Guard guard(dataset->lock());
    cursor.AggregateSync();
    index = cursor.AggregateCurrentIndex();
    GroupingManager* manager = index->grouping();
    if (manager == nullptr) return DSERR_INVALIDPARAM;
    level = RaiseLevel(*dataset, *index, level);
    Grouping* grouping = manager->grouping(level);
    if (grouping == nullptr && level != 0) return DSERR_INVALIDPARAM;
    if (EngineResult r = manager->Refresh(); r != DS_OK) return r;

    const uint32_t count = index->count();
    const uint32_t status = cursor.AggregateStatus();
    const uint32_t position = cursor.AggregatePosition();
    const uint32_t first = cursor.AggregateRangeFirst();
    const uint32_t last = std::min(cursor.AggregateRangeLast(), count);
    uint32_t target = 0;
    if (status == DSERR_BOF || position < first) {
        target = first;
    } else if (status == DSERR_EOF || grouping == nullptr || level == 0) {
        target = last + 1;  // level 0 is one group
    } else {
        const uint32_t group = manager->GroupAt(*grouping, position);
        target = position + 1;
        while (target <= count && manager->GroupAt(*grouping, target) == group) ++target;
    }
    if (target == 0 || target > last) {
        cursor.CursorGoAfterLast();
        return DSERR_EOF;
    }
    cursor.AggregateStandOn(target);
    return DS_OK;
}

EngineResult ReadGroupPlacement(AggregateHost& cursor, uint32_t level, uint32_t* out) {
    TDSBASE* dataset = cursor.AggregateDataset();
    DSIDX* index = cursor.AggregateCurrentIndex();
    if (dataset == nullptr || index == nullptr || index->grouping() == nullptr)
        return DSERR_INVALIDPARAM;
    if (out == nullptr) return DSERR_INVALIDPARAM;
    Guard guard(dataset->lock());
    cursor.AggregateSync();
    if (const uint32_t status = cursor.AggregateStatus(); status != DS_OK) return status;
    index = cursor.AggregateCurrentIndex();
    GroupingManager* manager = index->grouping();
    if (manager == nullptr) return DSERR_INVALIDPARAM;
    level = RaiseLevel(*dataset, *index, level);
    Grouping* grouping = manager->grouping(level);
    if (level == 0 || grouping == nullptr) return DSERR_NOTSUPPORTED;
    if (EngineResult r = manager->Refresh(); r != DS_OK) return r;
    const uint32_t p = cursor.AggregatePosition();
    const uint32_t count = index->count();
    if (p == 0 || p > count) return DSERR_NOCURRREC;
    const uint32_t group = manager->GroupAt(*grouping, p);
    uint32_t placement = 0;
    if (p == 1 || manager->GroupAt(*grouping, p - 1) != group) placement |= 1;
    if (p == count || manager->GroupAt(*grouping, p + 1) != group) placement |= 2;
    *out = placement;
    return DS_OK;
}

// ---------------------------------------------------------------------------
// The cursor's aggregate and grouping slots: each takes the lock and hands
// over to the operations above through AggregateHost.

EngineResult TDSCursor::AttachAggregate(uint32_t level, uint32_t length, const void* bytes,
                                        uint32_t* handle) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    return pelmora::AttachAggregate(*this, level, length, bytes, handle);
}

EngineResult TDSCursor::DetachAggregate(uint32_t handle) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    return pelmora::DetachAggregate(*this, handle);
}

EngineResult TDSCursor::ReadAggregateValue(uint32_t handle, void* value, uint32_t* blank) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    return pelmora::ReadAggregateValue(*this, handle, value, blank);
}

EngineResult TDSCursor::ReadAggregateDesc(uint32_t handle, FieldDesc* out) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    return pelmora::ReadAggregateDesc(*this, handle, out);
}

EngineResult TDSCursor::SkipToNextGroup(uint32_t level) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    return pelmora::SkipToNextGroup(*this, level);
}

EngineResult TDSCursor::ReadGroupPlacement(uint32_t level, uint32_t* out) {
    if (!dataset_) return DSERR_NOTSUPPORTED;
    Guard guard(dataset_->lock());
    return pelmora::ReadGroupPlacement(*this, level, out);
}

void TDSCursor::AggregateStandOn(uint32_t position) {
    position_ = position;
    status_ = DS_OK;
    Bookkeep();
}

}  // namespace pelmora
