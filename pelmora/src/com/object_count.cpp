#include "com/object_count.h"

namespace pelmora {

std::atomic<int32_t>& ObjectCount() {
    static std::atomic<int32_t> count{0};
    return count;
}

std::atomic<int32_t>& LockCount() {
    static std::atomic<int32_t> count{0};
    return count;
}

}  // namespace pelmora
