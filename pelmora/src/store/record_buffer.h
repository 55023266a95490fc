// Record buffers: one record as it crosses the engine interfaces, the field
// values back to back in field order followed by one indicator byte per field.
// These helpers read and write single fields of such a buffer with the same
// rules the column store applies.
#pragma once

#include <cstdint>
#include <span>

#include "pelmora/pelmora.h"

namespace pelmora {

// Bytes of a record buffer for laid-out fields: the widths plus one indicator each.
uint32_t RecordBufferSize(std::span<const FieldDesc> fields);

// Copies field's width bytes to value (when not null) and its indicator to
// indicator (when not null). 9985 for field 0 or a field past the last.
EngineResult ReadBufferValue(std::span<const FieldDesc> fields, const uint8_t* record,
                             uint32_t field, void* value, uint8_t* indicator);

// Writes a value (null = blank) into the buffer; 9985 for field 0 or past the last.
EngineResult WriteBufferValue(std::span<const FieldDesc> fields, uint8_t* record, uint32_t field,
                              const void* value);

// Sets a field's indicator in the buffer; 9985 for field 0 or past the last.
EngineResult WriteBufferIndicator(std::span<const FieldDesc> fields, uint8_t* record,
                                  uint32_t field, uint8_t indicator);

// Zeroes every value and marks every field blank.
void ClearRecordBuffer(std::span<const FieldDesc> fields, uint8_t* record);

}  // namespace pelmora
