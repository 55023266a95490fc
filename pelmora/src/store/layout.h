// Field layout: expanding array fields into their element descriptors, and
// computing each field's width, offset, indicator offset and ids so that the
// record buffer and the column store agree on where every value lives.
#pragma once

#include <cstdint>
#include <vector>

#include "pelmora/pelmora.h"

namespace pelmora {

// Initial size of a dataset's scratch buffer; layout raises it to the widest field.
constexpr uint32_t kMinScratchSize = 258;

struct LayoutResult {
    uint32_t dataSize = 0;        // sum of the value widths; the indicators start here
    uint32_t recordSize = 0;      // dataSize + one indicator byte per field
    uint32_t blobFieldCount = 0;  // the dataset needs a BLOB table when non-zero
    uint32_t scratchSize = kMinScratchSize;
};

// Repeats the element block of every array field once per element, naming the
// first descriptor of copy i "<array>[i]" (the array name shortened to keep
// 31 characters), and computes units2 of array and structured fields. The
// descriptors that follow a nested-dataset field (its units2) are passed on
// unchanged. 9986 for an array without elements or a field whose children run
// past the end of the list; 9473 when memory runs out. fields is unchanged on
// failure.
EngineResult ExpandArrays(std::vector<FieldDesc>& fields);

// Lays the fields out in order. xmlMode turns plain varying-bytes fields into
// fixed bytes. Stops at the first refusal (9986, 10000) and returns it.
EngineResult LayoutFields(std::vector<FieldDesc>& fields, bool xmlMode, LayoutResult& out);

}  // namespace pelmora
