// Sorting plain 64-bit words in ascending order by their bits: a
// least-significant-digit radix sort that skips the digits in which all
// words agree, for bulk index builds whose keys pack into one word.
#pragma once

#include <cstdint>
#include <vector>

namespace pelmora {

// Sorts `words` ascending. May throw std::bad_alloc (the words are then
// unchanged or in a permutation of their values, never lost).
void SortWords(std::vector<uint64_t>& words);

}  // namespace pelmora
