// Output-buffer messages of the libraries.
#include "common/result_text.h"

#include <cstring>

namespace archivers {

void WriteResultText(const std::string& text, char* buffer, uint32_t size) {
    if (!buffer || size == 0) return;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace archivers
