#include "store/value_compare.h"

#include <cstring>

#include "pelmora/pelmora.h"
#include "platform/collation.h"
#include "store/bcd.h"
#include "store/unaligned.h"

namespace pelmora {

namespace {

template <typename T>
int32_t Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int32_t Bytewise(const void* a, const void* b, size_t n) {
    const int c = std::memcmp(a, b, n);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

int32_t CompareValues(uint32_t type, const void* a, const void* b, uint32_t length,
                      const platform::Collation* collation) {
    if (a == nullptr || b == nullptr) {
        if (a == nullptr && b == nullptr) return 0;
        return a == nullptr ? -1 : 1;
    }
    switch (type) {
        case FLD_STRING: {
            const char* sa = static_cast<const char*>(a);
            const char* sb = static_cast<const char*>(b);
            if (collation != nullptr) return collation->Compare(sa, -1, sb, -1, false);
            const int c = std::strcmp(sa, sb);
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        case FLD_INT16:
            return Order(Load<int16_t>(a), Load<int16_t>(b));
        case FLD_INT32:
            return Order(Load<int32_t>(a), Load<int32_t>(b));
        case FLD_INT8:
            return Order(Load<int8_t>(a), Load<int8_t>(b));
        case FLD_UINT16:
        case FLD_BOOL16:
            return Order(Load<uint16_t>(a), Load<uint16_t>(b));
        case FLD_UINT8:
        case FLD_BOOL8:
            return Order(Load<uint8_t>(a), Load<uint8_t>(b));
        case FLD_DATE:
        case FLD_TIME:
        case FLD_UINT32:
        case FLD_BOOL32:
            return Order(Load<uint32_t>(a), Load<uint32_t>(b));
        case FLD_FLOAT:
        case FLD_TIMESTAMP:
            return Load<double>(a) == Load<double>(b) ? 0 : 1;
        case FLD_BCD:
            return Bytewise(a, b, BcdBytes(length > kBcdMaxDigits ? kBcdMaxDigits : length));
        case FLD_INT64:
        case FLD_UINT64:
            return Bytewise(a, b, 8);
        default:
            return Bytewise(a, b, length);
    }
}

}  // namespace pelmora
