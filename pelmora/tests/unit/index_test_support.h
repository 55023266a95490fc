// Small helpers shared by the index tests: a field descriptor by name and
// type, and an index's entries in order.
#pragma once

#include <cstring>
#include <vector>

#include "index/index.h"

namespace pelmora::index_test {

inline FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    return f;
}

inline std::vector<uint32_t> Entries(const DSIDX& index) {
    std::vector<uint32_t> out;
    for (uint32_t p = 1; p <= index.count(); ++p) out.push_back(index.EntryAt(p));
    return out;
}

}  // namespace pelmora::index_test
