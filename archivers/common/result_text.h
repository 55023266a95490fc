// The message a library hands back through the caller's output buffer.
#pragma once

#include <cstdint>
#include <string>

namespace archivers {

// Copies text into buffer (NUL-terminated, cut to size); nothing when the
// buffer is null or its size 0.
void WriteResultText(const std::string& text, char* buffer, uint32_t size);

}  // namespace archivers
