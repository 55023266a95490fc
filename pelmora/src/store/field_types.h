// Internal field types: the width each type takes in a record, the packet
// type word that describes a field as a datapacket column, the reverse
// mapping from a column to a field descriptor, and the subtype names.
#pragma once

#include <cstdint>

#include "pelmora/field_subtypes.h"
#include "pelmora/pelmora.h"

namespace pelmora {

// Largest value width a field may have in a record.
constexpr uint32_t kMaxFieldWidth = 65531;
// Subtype code of a subtype name that is not in the table.
constexpr uint32_t kUnknownSubtype = 0xFF;

// True for the 8-bit types, which still take two bytes in a record (only the
// first byte carries the value).
bool IsEightBitType(uint32_t type);

// True for the structured, array, reference and nested-dataset types.
bool IsCompositeType(uint32_t type);

// Width of a fixed-width type, or 0 when the width depends on the descriptor
// (strings, bytes, packed decimals, arrays, references, unknown types) or the
// type takes no bytes (structured fields).
uint32_t FixedTypeWidth(uint32_t type);

// Width of a packed decimal of the given precision: (p + 1) / 2 + 2, or 34
// (room for 64 digits) when the precision is 0.
uint32_t BcdWidthForPrecision(uint32_t precision);

// The packet type word describing a laid-out field as a datapacket column.
// Fields whose type is not known are described as fixed raw bytes.
uint32_t PacketTypeWord(const FieldDesc& field);

// The internal type a packet type word reads as; 0 for a combination that has
// no internal type. The repeated flag is not looked at here.
uint32_t InternalTypeFromWord(uint32_t word);

// Builds a field descriptor from a datapacket column: name copied, attributes
// sign-extended from 16 bits, units1/length set from the type word. 10000 for
// a word with the repeated flag.
EngineResult FieldFromColumn(const PacketColumnDesc& column, FieldDesc& out);

// Builds the column descriptor of a field (type word, low 16 attribute bits).
PacketColumnDesc ColumnFromField(const FieldDesc& field);

// Looks a subtype name up ignoring ASCII case. Unknown names give 8712 and
// code 0xFF.
EngineResult SubtypeFromName(const char* name, uint32_t& code);

// The name of a subtype code, or nullptr when the code is not in the table.
const char* SubtypeName(uint32_t code);

}  // namespace pelmora
