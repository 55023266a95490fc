// Groupings of an index and their aggregates. A grouping of level L divides
// the index's positions into runs of records whose first L key fields are
// equal (level 0: one run holding every position) and numbers those runs;
// the aggregates attached at that level keep one value per group. The
// grouping manager of an index owns its groupings (one per level), hears of
// every entry change of the index and keeps group numbers and aggregate
// values up to date; a whole reorder of the index makes it rebuild the
// groups and recompute every value on the next read.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "expr/aggregate.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class DSIDX;
class TDSBASE;

constexpr uint32_t kMaxGroupingLevel = 16;

// Where an aggregate was first attached: the index's identity and a serial
// number of that index's grouping manager. Copies of the aggregate on other
// indexes keep it, so it names one aggregate across the dataset for as long
// as the dataset lives.
struct AggregateOrigin {
    uint32_t index = 0;
    uint32_t serial = 0;
    bool operator==(const AggregateOrigin&) const = default;
};

struct AggregateEntry {
    uint32_t slot = 0;  // low 16 bits of the handle, unique within the dataset
    AggregateOrigin origin;
    std::unique_ptr<Aggregate> aggregate;
};

struct Grouping {
    uint32_t level = 0;
    uint32_t refs = 0;
    uint32_t groupCount = 0;
    // groups[p] is the group number of position p (1..N; slot 0 unused);
    // empty at level 0, where every position is in group 0.
    std::vector<uint32_t> groups;
    std::vector<AggregateEntry> aggregates;

    AggregateEntry* Find(uint32_t slot);
};

class GroupingManager {
  public:
    explicit GroupingManager(DSIDX* index);
    GroupingManager(const GroupingManager&) = delete;
    GroupingManager& operator=(const GroupingManager&) = delete;

    // The index's manager, created and installed when absent (9473).
    static EngineResult For(DSIDX& index, GroupingManager** out);

    DSIDX* index() const { return index_; }

    // Entry changes of the index: 0 added at a position (after the insert),
    // 1 removed at a position (before the removal), 2 reordered.
    void Notify(int event, uint32_t position);

    // Brings group numbers up to date after a reorder (or a change it could
    // not follow); every aggregate is then recomputed on its next read.
    EngineResult Refresh();

    Grouping* grouping(uint32_t level) const {
        return level <= kMaxGroupingLevel ? groupings_[level].get() : nullptr;
    }
    // The grouping of a level, created with its groups computed when absent;
    // its reference count is left to the caller.
    EngineResult TakeGrouping(uint32_t level, Grouping** out);
    // Destroys a grouping nobody refers to any more.
    void DropGroupingIfUnused(uint32_t level);

    // Puts an aggregate into a grouping under a slot number.
    EngineResult AddAggregate(Grouping& grouping, uint32_t slot, AggregateOrigin origin,
                              std::unique_ptr<Aggregate> aggregate);
    // Removes and destroys the aggregate of a slot; false when absent.
    bool RemoveAggregate(Grouping& grouping, uint32_t slot);

    // A new origin for an aggregate first attached here.
    AggregateOrigin NextOrigin();

    // Group number of a position (1..N) at a grouping's level.
    uint32_t GroupAt(const Grouping& grouping, uint32_t position) const;

    // The value of an aggregate for the group of a position (any position
    // of the index at level 0), recomputing the group when needed. *blank is
    // 1 when the value is blank.
    EngineResult ReadValue(Grouping& grouping, Aggregate& aggregate, uint32_t position,
                           uint8_t* value, uint32_t* blank);

    // Copies every grouping and aggregate (compiled again, same slots and
    // origins, values recomputed on demand) to another index's manager.
    EngineResult CopyTo(GroupingManager& target) const;

  private:
    // Number of leading key fields that decide a grouping's groups.
    uint32_t KeyFields(const Grouping& grouping) const;
    // Computes the group numbers of one grouping from the index.
    EngineResult ComputeGroups(Grouping& grouping);
    EngineResult EnsureScratch();
    bool ReadEntry(uint32_t position, uint8_t* buffer) const;
    void Added(uint32_t position);
    void Removed(uint32_t position);

    DSIDX* index_;
    std::array<std::unique_ptr<Grouping>, kMaxGroupingLevel + 1> groupings_;
    // Set by a reorder or a change that could not be followed.
    bool stale_ = false;
    uint32_t nextSerial_ = 1;
    std::vector<uint8_t> scratch_;
};

// A slot number that no live aggregate of the dataset uses (0 when all
// 65535 are taken).
uint32_t FreeAggregateSlot(const TDSBASE& dataset);

// Gives a filtered index that replaces `from` as a cursor's order the same
// groupings and aggregates (call after the new index is built).
EngineResult CopyGroupings(const DSIDX& from, DSIDX& to);

}  // namespace pelmora
