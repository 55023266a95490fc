// The dataset's value comparison, used to tell whether a field's value has
// changed: blanks first, then a per-type comparison. Only "equal" (0) versus
// "different" (non-zero) matters to callers; the sign follows the order.
#pragma once

#include <cstdint>

namespace platform {
class Collation;
}

namespace pelmora {

// a or b null stands for a blank value. length is the field's width, or for
// packed decimals its precision. Strings use the collation case-sensitively
// (bytewise when collation is null).
int32_t CompareValues(uint32_t type, const void* a, const void* b, uint32_t length,
                      const platform::Collation* collation);

}  // namespace pelmora
