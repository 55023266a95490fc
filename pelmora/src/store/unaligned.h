// Values at any byte address: record buffers, packets and expression
// literals hold numbers without alignment, so they are read and written by
// copying their bytes.
#pragma once

#include <cstring>

namespace pelmora {

template <typename T>
T Load(const void* p) {
    T v{};
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void Store(void* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

}  // namespace pelmora
