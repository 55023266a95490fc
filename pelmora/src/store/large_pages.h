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

// A zero-filled block of bytes whose pages are not touched until written,
// like calloc. A large block is mapped on a 2 MiB boundary and rounded up to
// whole 2 MiB units, so that huge pages cover all of it rather than leaving
// its two ends to small pages. Returns nullptr when the memory is refused.
// Free it with FreeZeroedBlock and the same byte count.
void* AllocateZeroedBlock(size_t bytes);
void FreeZeroedBlock(void* block, size_t bytes);

}  // namespace pelmora
