// Asking the system for huge pages under large arrays: a block of many
// megabytes that is about to be filled front to back would otherwise take
// one page fault per small page, which costs more than the filling.
#pragma once

#include <cstddef>

namespace pelmora {

// Advises huge pages for the whole 2 MiB units inside [block, block + bytes)
// when the block is large; does nothing elsewhere or for small blocks. The
// block stays owned (and freed) by whoever allocated it.
void AdviseLargePages(void* block, size_t bytes);

}  // namespace pelmora
