// Constraints and default values of a dataset: the constraint and
// default-value parameters install entries in the dataset's own filter list
// (DSCONSTR); edits are checked against them and new records take their
// default values from them. The dataset methods live in constraints.cpp;
// this header holds the value conversion the default values need.
#pragma once

#include <cstdint>
#include <vector>

#include "pelmora/pelmora.h"

namespace pelmora {

// Converts an expression result (type, width, bytes) into the stored form of
// a field: the same type is copied (cut or zero-padded to the field's
// width), numbers convert between the integer, boolean and floating types.
// 11871 when the result cannot become a value of the field.
EngineResult ConvertResultToField(const FieldDesc& field, uint32_t type, uint32_t width,
                                  const uint8_t* value, std::vector<uint8_t>& out);

}  // namespace pelmora
