// Accumulators of the aggregate functions (sum, avg, count, count(*), min,
// max). Each aggregate function inside an aggregate expression keeps one
// accumulator per group; records are added and removed one at a time, and a
// removal that cannot be undone in place (the removed value was the current
// minimum or maximum) reports so, and the group is then recomputed.
#pragma once

#include <cstdint>
#include <vector>

#include "expr/expr_compile.h"

namespace platform {
class Collation;
}

namespace pelmora {

// What an aggregate function is: taken from its compiled step.
struct AggregateSpec {
    FunctionId function = FunctionId::CountAll;
    uint32_t step = 0;              // the aggregate step in the compiled expression
    int32_t argument = kNoOperand;  // the step of its argument (none for count(*))
    uint32_t argumentType = 0;
    uint32_t argumentWidth = 0;
    uint32_t resultType = 0;
    uint32_t resultWidth = 0;
    uint32_t precision = 0;  // packed decimal results
    uint32_t scale = 0;
};

// The running state of one aggregate function over one group.
struct AggregateState {
    long double sum = 0;           // sums and averages (also of dates and times)
    std::vector<uint8_t> extreme;  // min and max: the current value
    uint32_t values = 0;           // non-blank inputs
    uint32_t blanks = 0;           // blank inputs
    uint32_t rows = 0;             // every input (count(*))
};

// Clears the state: counts and sums 0, no value.
void ResetAggregate(AggregateState& state);

// Adds one input; value is null for a blank input. False when memory runs
// out (the state is then unchanged).
bool AddAggregateInput(const AggregateSpec& term, AggregateState& state, const uint8_t* value,
                       const platform::Collation& collation);

// Takes one input back out. False when that cannot be done in place: the
// state must then be recomputed from the group's records.
bool RemoveAggregateInput(const AggregateSpec& term, AggregateState& state, const uint8_t* value,
                          const platform::Collation& collation);

// The function's value (term.resultWidth bytes into out); false when it is
// blank.
bool AggregateResult(const AggregateSpec& term, const AggregateState& state, uint8_t* out);

// Orders two values of an expression type: strings by the collation
// (case-sensitive), Unicode by code units, packed decimals numerically.
int OrderExprValues(uint32_t type, const uint8_t* a, const uint8_t* b, uint32_t width,
                    const platform::Collation& collation);

}  // namespace pelmora
