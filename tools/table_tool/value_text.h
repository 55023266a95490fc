// Readable text for datapacket values: numbers, dates and times, packed
// decimals, code page 932 strings (shown as UTF-8), UTF-16 text and bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tabletool {

// The type name shown for a packet type word ("int32", "string", ...).
std::string TypeName(uint32_t typeWord);
// A value of the given type word as readable UTF-8 text.
std::string ValueText(uint32_t typeWord, const std::vector<uint8_t>& bytes);
// True when the value reads as a JSON number (it is then written unquoted).
bool IsNumeric(uint32_t typeWord);
// Escapes text for a JSON string literal (without the quotes).
std::string JsonEscape(const std::string& text);

}  // namespace tabletool
