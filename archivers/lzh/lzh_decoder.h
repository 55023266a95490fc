// The decompressor of the -lh5- family. It works through a dictionary of the
// method's size, which starts filled with spaces as the format's writers
// assume, and hands its output to a sink in pieces. Every table and code is
// checked, so damaged or hostile input ends in an error, never in a read or
// write outside the buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "lzh/lzh_method.h"

namespace lzh {

enum class DecodeStatus {
    kOk,
    kCorrupt,     // a table or code that the format does not allow
    kTruncated,   // the stream ended before the output was complete
    kSinkFailed,  // the sink refused the output
};

// Receives the next piece of output; returns false to stop.
using OutputSink = std::function<bool(const uint8_t* data, size_t size)>;

// Decodes originalSize bytes from the compressed stream.
DecodeStatus Decode(const MethodParams& method, const uint8_t* input, size_t inputSize,
                    uint64_t originalSize, const OutputSink& sink);

}  // namespace lzh
