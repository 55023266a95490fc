// The cursor's aggregate and grouping operations: attaching and detaching
// aggregates, reading their values and descriptors, jumping to the next group
// and telling where a record stands in its group. The cursor reaches them
// through AggregateHost, which gives the few pieces of cursor state they read
// or change.
//
// Handles are level x 0x10000 + slot. Slot numbers are unique among the live
// aggregates of a dataset, and every cursor remembers which aggregate each of
// its handles named, so a handle keeps naming that aggregate (or nothing,
// once it is gone) after the cursor's order changed.
#pragma once

#include <cstdint>
#include <vector>

#include "index/grouping.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class DSIDX;
class TDSBASE;

// The handles a cursor handed out, owned by the cursor.
class AggregateHandles {
  public:
    struct Entry {
        uint32_t handle = 0;
        AggregateOrigin origin;  // for slot 0: the index identity only
    };
    const Entry* Find(uint32_t handle) const;
    bool Add(uint32_t handle, AggregateOrigin origin);
    void Remove(uint32_t handle);
    size_t size() const { return entries_.size(); }

  private:
    std::vector<Entry> entries_;
};

class AggregateHost {
  public:
    virtual TDSBASE* AggregateDataset() = 0;
    virtual DSIDX* AggregateCurrentIndex() = 0;
    // Brings the cursor up to date with its master and its index.
    virtual void AggregateSync() = 0;
    // After a sync: the position in the current index and the status (0 when
    // the cursor stands on a record).
    virtual uint32_t AggregatePosition() = 0;
    virtual uint32_t AggregateStatus() = 0;
    // First and last position of the cursor's range (last < first: empty).
    virtual uint32_t AggregateRangeFirst() = 0;
    virtual uint32_t AggregateRangeLast() = 0;
    // Stands on a position of the current index (status 0) and runs the
    // cursor's bookkeeping.
    virtual void AggregateStandOn(uint32_t position) = 0;
    // The cursor slot of the same name.
    virtual EngineResult CursorGoAfterLast() = 0;
    // The cursor's handle table.
    virtual AggregateHandles& AggregateHandleTable() = 0;

  protected:
    ~AggregateHost() = default;
};

EngineResult AttachAggregate(AggregateHost& cursor, uint32_t level, uint32_t length,
                             const void* bytes, uint32_t* handle);
EngineResult DetachAggregate(AggregateHost& cursor, uint32_t handle);
EngineResult ReadAggregateValue(AggregateHost& cursor, uint32_t handle, void* value,
                                uint32_t* blank);
EngineResult ReadAggregateDesc(AggregateHost& cursor, uint32_t handle, FieldDesc* out);
EngineResult SkipToNextGroup(AggregateHost& cursor, uint32_t level);
EngineResult ReadGroupPlacement(AggregateHost& cursor, uint32_t level, uint32_t* out);

}  // namespace pelmora
