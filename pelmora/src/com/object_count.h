// The two library-wide counters that decide whether the engine may be
// unloaded: live engine objects and server locks. Both are atomic, since
// objects may be created and released on several threads at once.
#pragma once

#include <atomic>
#include <cstdint>

namespace pelmora {

std::atomic<int32_t>& ObjectCount();
std::atomic<int32_t>& LockCount();

}  // namespace pelmora
