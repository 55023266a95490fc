// Internal entry points of the code page 932 helper, shared with the
// collation so that both decode text the same way.
#pragma once

#include <cstddef>

namespace platform::detail {

// Decodes `length` code page 932 bytes into `out`, which must have room for
// `length` code units (a code page 932 text never decodes to more code units
// than it has bytes). Undecodable bytes become U+FFFD. Returns the number of
// code units written.
size_t DecodeCp932(const char* bytes, size_t length, char16_t* out);

}  // namespace platform::detail
