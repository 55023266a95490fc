// An aggregate: one aggregate expression (for example sum(AMOUNT) or
// sum(PRICE) / count(*)) kept per group of a grouping. It owns the expression
// bytes, their compiled form, the result descriptor and one slot per group
// number; a slot is either valid (its accumulators follow the group's
// records) or must be recomputed from the group's records before it is read.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "expr/aggregate_accumulator.h"
#include "expr/expr_compile.h"
#include "pelmora/pelmora.h"

namespace pelmora {

class TDSBASE;

class Aggregate {
  public:
    // Compiles the expression in aggregate mode; compile errors (11871,
    // 12289, 9986) and 9473 are returned, and nothing is made then. An
    // expression without any aggregate function is refused with 11871: it
    // would have no value per group.
    static EngineResult Create(TDSBASE* dataset, const uint8_t* bytes, uint32_t length,
                               std::unique_ptr<Aggregate>* out);

    // The same expression compiled again (for another index of the dataset).
    EngineResult Clone(std::unique_ptr<Aggregate>* out) const;

    const FieldDesc& desc() const { return desc_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

    // Makes room for group numbers 0 .. count - 1 (new slots are invalid).
    EngineResult SizeGroups(uint32_t count);
    // Every slot must be recomputed (after a rebuild of the groups).
    void InvalidateAll();
    bool Valid(uint32_t group) const { return group < slots_.size() && slots_[group].valid; }
    void Invalidate(uint32_t group) {
        if (group < slots_.size()) slots_[group].valid = false;
    }
    // Starts a recomputation: the slot is valid and empty.
    void ResetGroup(uint32_t group);

    // Accumulates a record (a buffer in the dataset's layout) into a valid
    // slot; false when memory ran out (the slot is then invalid).
    bool Add(uint32_t group, const uint8_t* record);
    // Takes a record back out of a valid slot; the slot turns invalid when
    // that cannot be done in place.
    void Remove(uint32_t group, const uint8_t* record);

    // The value of a valid slot (desc().length bytes into out, zeroed when
    // blank). `record` is a record of the group: steps outside the aggregate
    // functions that read fields read them there.
    bool Value(uint32_t group, const uint8_t* record, uint8_t* out);

    // Recompiles when the dataset's record layout changed since the compile.
    EngineResult FollowLayout();

  private:
    explicit Aggregate(TDSBASE* dataset);
    EngineResult Compile();
    // Runs the expression over a record so that each argument step holds
    // the record's value.
    void Evaluate(const uint8_t* record);
    const uint8_t* ArgumentValue(const AggregateSpec& term) const;

    struct GroupSlot {
        bool valid = false;
        uint32_t records = 0;
        std::vector<AggregateState> states;  // one per aggregate function
    };

    TDSBASE* dataset_;
    std::vector<uint8_t> bytes_;
    std::unique_ptr<QCanFilter> compiled_;
    uint32_t compiledRecordSize_ = 0;
    std::vector<AggregateSpec> specs_;
    FieldDesc desc_{};
    std::vector<GroupSlot> slots_;
    std::vector<uint8_t> result_;
};

}  // namespace pelmora
