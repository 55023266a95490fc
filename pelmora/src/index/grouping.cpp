// The grouping manager of an index: group numbers per level, incremental
// upkeep of groups and aggregates as entries come and go, and recomputation
// of a group's values from its records when upkeep could not follow.
#include "index/grouping.h"

#include <algorithm>
#include <new>

#include "dataset/dataset.h"
#include "index/index.h"
#include "store/record_buffer.h"

namespace pelmora {

void NotifyGrouping(GroupingManager* manager, int event, uint32_t position) {
    if (manager != nullptr) manager->Notify(event, position);
}

void DestroyGrouping(GroupingManager* manager) {
    delete manager;
}

AggregateEntry* Grouping::Find(uint32_t slot) {
    for (AggregateEntry& entry : aggregates) {
        if (entry.slot == slot) return &entry;
    }
    return nullptr;
}

GroupingManager::GroupingManager(DSIDX* index) : index_(index) {}

EngineResult GroupingManager::For(DSIDX& index, GroupingManager** out) {
    if (index.grouping() == nullptr) {
        auto* made = new (std::nothrow) GroupingManager(&index);
        if (made == nullptr) return DSERR_NOMEMORY;
        index.set_grouping(made);
    }
    *out = index.grouping();
    return DS_OK;
}

uint32_t GroupingManager::KeyFields(const Grouping& grouping) const {
    return std::min(grouping.level, index_->key_field_count());
}

EngineResult GroupingManager::EnsureScratch() {
    const uint32_t size = index_->dataset()->record_size();
    if (scratch_.size() == size) return DS_OK;
    try {
        scratch_.assign(size, 0);
    } catch (const std::bad_alloc&) {
        scratch_.clear();
        return DSERR_NOMEMORY;
    }
    return DS_OK;
}

bool GroupingManager::ReadEntry(uint32_t position, uint8_t* buffer) const {
    const uint32_t record = index_->EntryAt(position);
    return record != 0 && index_->dataset()->ReadRecord(record, buffer) == DS_OK;
}

uint32_t GroupingManager::GroupAt(const Grouping& grouping, uint32_t position) const {
    if (grouping.level == 0 || position >= grouping.groups.size()) return 0;
    return grouping.groups[position];
}

EngineResult GroupingManager::ComputeGroups(Grouping& grouping) {
    grouping.groupCount = 0;
    if (grouping.level == 0) {
        grouping.groups.clear();
        return DS_OK;
    }
    const uint32_t count = index_->count();
    try {
        grouping.groups.assign(static_cast<size_t>(count) + 1, 0);
    } catch (const std::bad_alloc&) {
        grouping.groups.clear();
        return DSERR_NOMEMORY;
    }
    const uint32_t fields = KeyFields(grouping);
    for (uint32_t p = 2; p <= count; ++p) {
        const bool same =
            ReadEntry(p, scratch_.data()) &&
            index_->CompareKey(scratch_.data(), fields, 0, index_->EntryAt(p - 1)) == 0;
        grouping.groups[p] = same ? grouping.groups[p - 1] : ++grouping.groupCount;
    }
    return DS_OK;
}

EngineResult GroupingManager::Refresh() {
    if (EngineResult r = EnsureScratch(); r != DS_OK) return r;
    for (auto& g : groupings_) {
        if (!g) continue;
        if (g->level != 0 && g->groups.size() != static_cast<size_t>(index_->count()) + 1)
            stale_ = true;
        for (AggregateEntry& entry : g->aggregates) {
            if (EngineResult r = entry.aggregate->FollowLayout(); r != DS_OK) return r;
        }
    }
    if (!stale_) return DS_OK;
    for (auto& g : groupings_) {
        if (!g) continue;
        if (EngineResult r = ComputeGroups(*g); r != DS_OK) return r;
        // New group numbers: every total restarts from the records.
        for (AggregateEntry& entry : g->aggregates) {
            if (EngineResult r = entry.aggregate->SizeGroups(g->groupCount + 1); r != DS_OK)
                return r;
            entry.aggregate->InvalidateAll();
        }
    }
    stale_ = false;
    return DS_OK;
}

void GroupingManager::Notify(int event, uint32_t position) {
    bool any = false;
    for (auto& g : groupings_) any = any || g != nullptr;
    if (!any) return;
    if (event == 2 || stale_ || EnsureScratch() != DS_OK) {
        stale_ = true;
        return;
    }
    if (event == 0)
        Added(position);
    else if (event == 1)
        Removed(position);
    else
        stale_ = true;
}

void GroupingManager::Added(uint32_t position) {
    const uint32_t count = index_->count();
    if (position == 0 || position > count || !ReadEntry(position, scratch_.data())) {
        stale_ = true;
        return;
    }
    for (auto& g : groupings_) {
        if (!g) continue;
        uint32_t group = 0;
        bool fresh = false;
        if (g->level != 0) {
            if (g->groups.size() != count) {  // one short: the entry is new
                stale_ = true;
                return;
            }
            const uint32_t fields = KeyFields(*g);
            const uint8_t* key = scratch_.data();
            if (position > 1 &&
                index_->CompareKey(key, fields, 0, index_->EntryAt(position - 1)) == 0) {
                group = g->groups[position - 1];
            } else if (position < count &&
                       index_->CompareKey(key, fields, 0, index_->EntryAt(position + 1)) == 0) {
                group = g->groups[position];  // the entry that now follows
            } else {
                group = ++g->groupCount;
                fresh = true;
            }
            try {
                g->groups.insert(g->groups.begin() + position, group);
            } catch (const std::bad_alloc&) {
                stale_ = true;
                return;
            }
        }
        for (AggregateEntry& entry : g->aggregates) {
            if (fresh) {
                // A new group is computed when first read.
                if (entry.aggregate->SizeGroups(group + 1) != DS_OK) stale_ = true;
                continue;
            }
            entry.aggregate->Add(group, scratch_.data());
        }
    }
}

void GroupingManager::Removed(uint32_t position) {
    const uint32_t count = index_->count();
    if (position == 0 || position > count || !ReadEntry(position, scratch_.data())) {
        stale_ = true;
        return;
    }
    for (auto& g : groupings_) {
        if (!g) continue;
        uint32_t group = 0;
        if (g->level != 0) {
            if (g->groups.size() != static_cast<size_t>(count) + 1) {
                stale_ = true;
                return;
            }
            group = g->groups[position];
            g->groups.erase(g->groups.begin() + position);
        }
        for (AggregateEntry& entry : g->aggregates) entry.aggregate->Remove(group, scratch_.data());
    }
}

EngineResult GroupingManager::TakeGrouping(uint32_t level, Grouping** out) {
    if (level > kMaxGroupingLevel) return DSERR_OUTOFRANGE;
    if (EngineResult r = Refresh(); r != DS_OK) return r;
    if (!groupings_[level]) {
        auto made = std::unique_ptr<Grouping>(new (std::nothrow) Grouping);
        if (!made) return DSERR_NOMEMORY;
        made->level = level;
        if (EngineResult r = ComputeGroups(*made); r != DS_OK) return r;
        groupings_[level] = std::move(made);
    }
    *out = groupings_[level].get();
    return DS_OK;
}

void GroupingManager::DropGroupingIfUnused(uint32_t level) {
    if (level > kMaxGroupingLevel || !groupings_[level]) return;
    if (groupings_[level]->refs == 0 && groupings_[level]->aggregates.empty())
        groupings_[level].reset();
}

EngineResult GroupingManager::AddAggregate(Grouping& grouping, uint32_t slot,
                                           AggregateOrigin origin,
                                           std::unique_ptr<Aggregate> aggregate) {
    if (EngineResult r = aggregate->SizeGroups(grouping.groupCount + 1); r != DS_OK) return r;
    try {
        grouping.aggregates.push_back(AggregateEntry{slot, origin, std::move(aggregate)});
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    return DS_OK;
}

bool GroupingManager::RemoveAggregate(Grouping& grouping, uint32_t slot) {
    auto it = std::find_if(grouping.aggregates.begin(), grouping.aggregates.end(),
                           [slot](const AggregateEntry& e) { return e.slot == slot; });
    if (it == grouping.aggregates.end()) return false;
    grouping.aggregates.erase(it);
    return true;
}

AggregateOrigin GroupingManager::NextOrigin() {
    return AggregateOrigin{index_->identity(), nextSerial_++};
}

EngineResult GroupingManager::ReadValue(Grouping& grouping, Aggregate& aggregate, uint32_t position,
                                        uint8_t* value, uint32_t* blank) {
    if (EngineResult r = Refresh(); r != DS_OK) return r;
    const uint32_t count = index_->count();
    if (grouping.level != 0 && (position == 0 || position > count)) return DSERR_INVALIDPARAM;
    const uint32_t group = GroupAt(grouping, position);
    uint32_t first = 1;
    uint32_t last = count;
    if (grouping.level != 0) {
        first = position;
        while (first > 1 && grouping.groups[first - 1] == group) --first;
        last = position;
        while (last < count && grouping.groups[last + 1] == group) ++last;
    }
    if (!aggregate.Valid(group)) {
        // Every aggregate of the grouping that lacks this group is computed in
        // the same pass: a caller reading many totals of a group then reads
        // each of its records once, not once per total.
        std::vector<Aggregate*> pending;
        try {
            pending.push_back(&aggregate);
            for (AggregateEntry& entry : grouping.aggregates) {
                Aggregate* other = entry.aggregate.get();
                if (other != &aggregate && !other->Valid(group)) pending.push_back(other);
            }
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        }
        for (Aggregate* a : pending) {
            if (EngineResult r = a->SizeGroups(group + 1); r != DS_OK) return r;
            a->ResetGroup(group);
        }
        for (uint32_t p = first; p <= last; ++p) {
            if (!ReadEntry(p, scratch_.data())) continue;
            for (Aggregate* a : pending) {
                if (!a->Add(group, scratch_.data()) && a == &aggregate) return DSERR_NOMEMORY;
            }
        }
        if (!aggregate.Valid(group)) return DSERR_NOMEMORY;
    }
    // Steps outside the aggregate functions read the group's record here.
    const uint32_t at = grouping.level != 0 ? position : first;
    if (count == 0 || !ReadEntry(at, scratch_.data()))
        ClearRecordBuffer(index_->dataset()->fields(), scratch_.data());
    *blank = aggregate.Value(group, scratch_.data(), value) ? 0 : 1;
    return DS_OK;
}

EngineResult GroupingManager::CopyTo(GroupingManager& target) const {
    for (const auto& g : groupings_) {
        if (!g) continue;
        Grouping* copy = nullptr;
        if (EngineResult r = target.TakeGrouping(g->level, &copy); r != DS_OK) return r;
        copy->refs = g->refs;
        for (const AggregateEntry& entry : g->aggregates) {
            if (copy->Find(entry.slot) != nullptr) continue;
            std::unique_ptr<Aggregate> clone;
            if (EngineResult r = entry.aggregate->Clone(&clone); r != DS_OK) return r;
            if (EngineResult r =
                    target.AddAggregate(*copy, entry.slot, entry.origin, std::move(clone));
                r != DS_OK) {
                return r;
            }
        }
    }
    return DS_OK;
}

uint32_t FreeAggregateSlot(const TDSBASE& dataset) {
    std::vector<bool> used(0x10000, false);
    uint32_t highest = 0;
    for (const DSIDX* index : dataset.indexes()) {
        const GroupingManager* manager = index->grouping();
        if (manager == nullptr) continue;
        for (uint32_t level = 0; level <= kMaxGroupingLevel; ++level) {
            const Grouping* g = manager->grouping(level);
            if (g == nullptr) continue;
            for (const AggregateEntry& e : g->aggregates) {
                used[e.slot] = true;
                highest = std::max(highest, e.slot);
            }
        }
    }
    // Numbers are not reused while higher ones are free, so that a stale
    // handle rarely names a newer aggregate.
    if (highest < 0xFFFF) return highest + 1;
    for (uint32_t slot = 1; slot <= 0xFFFF; ++slot) {
        if (!used[slot]) return slot;
    }
    return 0;
}

EngineResult CopyGroupings(const DSIDX& from, DSIDX& to) {
    const GroupingManager* source = from.grouping();
    if (source == nullptr) return DS_OK;
    GroupingManager* target = nullptr;
    if (EngineResult r = GroupingManager::For(to, &target); r != DS_OK) return r;
    return source->CopyTo(*target);
}

}  // namespace pelmora
