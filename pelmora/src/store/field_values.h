// The rules for reading and writing one field of one record, shared by the
// column store and by record buffers: blank values, structured fields and
// their descendants, ancestor indicators and packed-decimal re-scaling.
#pragma once

#include <cstdint>
#include <span>

#include "pelmora/pelmora.h"

namespace pelmora {

// Where one record keeps each field's value and indicator (fields 1-based).
class FieldSlots {
  public:
    virtual uint8_t* Value(uint32_t field) = 0;
    virtual uint8_t* Indicator(uint32_t field) = 0;

  protected:
    ~FieldSlots() = default;
};

// Writes value (null = blank) into field of the record. Strings are copied up
// to their NUL and always stay terminated inside the field; varying values
// are copied by their byte count, cut to the field; packed decimals are
// re-scaled to the field. The caller has checked the field number.
EngineResult WriteFieldValue(std::span<const FieldDesc> fields, FieldSlots& slots, uint32_t field,
                             const void* value);

// Sets the indicator; a zero-width field given 1 blanks its descendants too.
void WriteFieldIndicator(std::span<const FieldDesc> fields, FieldSlots& slots, uint32_t field,
                         uint8_t indicator);

}  // namespace pelmora
