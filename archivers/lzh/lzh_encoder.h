// The compressor of the -lh5- family: matches against a sliding dictionary
// (hash chains, one step of lazy evaluation) are gathered into blocks, and
// each block is written with its own static Huffman tables for characters and
// match lengths, for match distances, and for the code lengths themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lzh/lzh_method.h"

namespace lzh {

// The compressed stream of data in the method's format, padded to whole bytes.
std::vector<uint8_t> Encode(const MethodParams& method, const uint8_t* data, size_t size);

}  // namespace lzh
