// Accumulating, removing and reading aggregate function values.
#include "expr/aggregate_accumulator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/collation.h"
#include "store/bcd.h"
#include "store/unaligned.h"

namespace pelmora {

namespace {

// An input as a number (sums and averages).
long double AsNumber(uint32_t type, const uint8_t* value, uint32_t width) {
    switch (type) {
        case EXPR_T_INT16:
            return Load<int16_t>(value);
        case EXPR_T_INT32:
        case EXPR_T_DATE:
        case EXPR_T_TIME:
            return Load<int32_t>(value);
        case EXPR_T_FLOAT:
        case EXPR_T_TIMESTAMP:
            return Load<double>(value);
        case EXPR_T_BCD: {
            long double out = 0;
            if (BcdToFloat(value, width, out) != 0) return 0;
            return out;
        }
        default:
            return 0;
    }
}

template <typename T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

int OrderExprValues(uint32_t type, const uint8_t* a, const uint8_t* b, uint32_t width,
                    const platform::Collation& collation) {
    switch (type) {
        case EXPR_T_STRING:
            return collation.Compare(reinterpret_cast<const char*>(a), -1,
                                     reinterpret_cast<const char*>(b), -1, false);
        case EXPR_T_UNICODE: {
            // Byte count, then UTF-16 code units; never past the width.
            const uint32_t room = width >= 2 ? (width - 2) / 2 : 0;
            const uint32_t na = std::min<uint32_t>(Load<uint16_t>(a) / 2, room);
            const uint32_t nb = std::min<uint32_t>(Load<uint16_t>(b) / 2, room);
            std::u16string wa(na, u'\0');
            std::u16string wb(nb, u'\0');
            if (na != 0) std::memcpy(wa.data(), a + 2, na * 2);
            if (nb != 0) std::memcpy(wb.data(), b + 2, nb * 2);
            return collation.CompareUtf16(wa.data(), na, wb.data(), nb, false);
        }
        case EXPR_T_INT16:
            return Order(Load<int16_t>(a), Load<int16_t>(b));
        case EXPR_T_INT32:
        case EXPR_T_DATE:
        case EXPR_T_TIME:
            return Order(Load<int32_t>(a), Load<int32_t>(b));
        case EXPR_T_FLOAT:
        case EXPR_T_TIMESTAMP:
            return Order(Load<double>(a), Load<double>(b));
        case EXPR_T_BCD:
            return Order(AsNumber(type, a, width), AsNumber(type, b, width));
        default: {
            const int c = std::memcmp(a, b, width);
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
    }
}

void ResetAggregate(AggregateState& state) {
    state.sum = 0;
    state.extreme.clear();
    state.values = 0;
    state.blanks = 0;
    state.rows = 0;
}

bool AddAggregateInput(const AggregateSpec& term, AggregateState& state, const uint8_t* value,
                       const platform::Collation& collation) {
    if (term.function == FunctionId::CountAll || value == nullptr) {
        // count(*) counts every record; other functions only count a blank.
        ++state.rows;
        if (term.function != FunctionId::CountAll) ++state.blanks;
        return true;
    }
    switch (term.function) {
        case FunctionId::Sum:
        case FunctionId::Avg:
            state.sum += AsNumber(term.argumentType, value, term.argumentWidth);
            break;
        case FunctionId::Min:
        case FunctionId::Max: {
            bool take = state.values == 0 || state.extreme.size() != term.argumentWidth;
            if (!take) {
                const int c = OrderExprValues(term.argumentType, value, state.extreme.data(),
                                              term.argumentWidth, collation);
                take = term.function == FunctionId::Min ? c < 0 : c > 0;
            }
            if (take) {
                try {
                    state.extreme.assign(value, value + term.argumentWidth);
                } catch (const std::bad_alloc&) {
                    return false;
                }
            }
            break;
        }
        default:
            break;
    }
    ++state.values;
    ++state.rows;
    return true;
}

bool RemoveAggregateInput(const AggregateSpec& term, AggregateState& state, const uint8_t* value,
                          const platform::Collation& collation) {
    if (state.rows == 0) return false;
    if (term.function == FunctionId::CountAll || value == nullptr) {
        if (term.function != FunctionId::CountAll) {
            if (state.blanks == 0) return false;
            --state.blanks;
        }
        --state.rows;
        return true;
    }
    if (state.values == 0) return false;
    switch (term.function) {
        case FunctionId::Sum:
        case FunctionId::Avg:
            state.sum -= AsNumber(term.argumentType, value, term.argumentWidth);
            break;
        case FunctionId::Min:
        case FunctionId::Max:
            // Taking out the current extreme leaves the next one unknown.
            if (state.extreme.size() != term.argumentWidth ||
                OrderExprValues(term.argumentType, value, state.extreme.data(), term.argumentWidth,
                                collation) == 0) {
                return false;
            }
            break;
        default:
            break;
    }
    --state.values;
    --state.rows;
    // The last value gone: sums restart from an exact zero.
    if (state.values == 0) state.sum = 0;
    return true;
}

bool AggregateResult(const AggregateSpec& term, const AggregateState& state, uint8_t* out) {
    std::memset(out, 0, term.resultWidth);
    switch (term.function) {
        case FunctionId::CountAll:
            Store<int32_t>(out, static_cast<int32_t>(state.rows));
            return true;
        case FunctionId::Count:
            Store<int32_t>(out, static_cast<int32_t>(state.values));
            return true;
        default:
            break;
    }
    if (state.values == 0) return false;
    long double number = state.sum;
    switch (term.function) {
        case FunctionId::Sum:
            break;
        case FunctionId::Avg:
            number = state.sum / state.values;
            break;
        case FunctionId::Min:
        case FunctionId::Max:
            if (state.extreme.size() != term.argumentWidth) return false;
            std::memcpy(out, state.extreme.data(), std::min(term.resultWidth, term.argumentWidth));
            return true;
        default:
            return false;
    }
    switch (term.resultType) {
        case EXPR_T_FLOAT:
        case EXPR_T_TIMESTAMP:
            Store<double>(out, static_cast<double>(number));
            return true;
        case EXPR_T_DATE:
        case EXPR_T_TIME:
            Store<int32_t>(out, static_cast<int32_t>(std::trunc(number)));
            return true;
        case EXPR_T_BCD: {
            uint8_t bcd[kBcdMaxBytes] = {};
            // A sum beyond the field's precision has no right value: blank.
            if (FloatToBcd(number, term.precision, term.scale, bcd) != 0) return false;
            std::memcpy(out, bcd, std::min<size_t>(term.resultWidth, sizeof bcd));
            return true;
        }
        default:
            return false;
    }
}

}  // namespace pelmora
