// The direct form of a compiled filter made only of comparisons between
// integer fields (16 and 32 bits, dates, times) and constants, blank tests
// of fields, and and/or/not of those. It reads the fields straight from the
// record store and gives the same answer as running the steps, at a small
// fraction of the cost; filters of any other shape have no direct form.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "expr/expr_compile.h"

namespace pelmora {

class RecordStore;

class DirectPredicate {
  public:
    // The direct form of compiled steps; null when they hold anything else.
    static std::unique_ptr<DirectPredicate> From(const std::vector<QCanExecElem>& steps);

    // A field read by the predicate with the layout the steps were compiled for.
    struct FieldUse {
        uint32_t number;
        uint32_t offset;
        uint32_t indicator;
        uint32_t width;
    };
    const std::vector<FieldUse>& fields() const { return fields_; }

    // The filter's answer for a stored record (1..next - 1 of the store).
    bool Passes(const RecordStore& store, uint32_t record) const;

  private:
    // An operand of a comparison: a field (by store field number) or a constant.
    struct Operand {
        uint32_t field = 0;   // 0 for a constant
        bool wide = true;     // 32-bit rather than 16-bit value
        bool integer = true;  // holds an integer value in place (else blank tests only)
        bool blank = false;   // constants only
        int32_t value = 0;    // constants only
    };
    enum class Kind : uint8_t { Compare, IsBlank, NotBlank, And, Or, Not };
    struct Node {
        Kind kind;
        uint32_t op = 0;    // comparison operator
        Operand a;          // comparisons and blank tests
        Operand b;          // comparisons
        uint16_t left = 0;  // logic: node indexes of the operands
        uint16_t right = 0;
    };
    static constexpr size_t kMaxNodes = 64;

    std::vector<Node> nodes_;  // operands before the nodes using them; the last decides
    std::vector<FieldUse> fields_;
};

}  // namespace pelmora
