// Conversion between the engine's value representations and the texts the
// program reads and writes: field kinds from engine types, value bytes to
// text and text to value bytes. BLOB values are not handled here (their bytes
// live in the engine's BLOB store).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/client_table.h"

namespace sarvenu::codec {

TFieldKind KindOf(uint32_t engineType, uint32_t subtype);
bool IsBlobKind(TFieldKind kind);

// The text of a non-blank value of the given engine type and record width.
std::string FormatValue(uint32_t engineType, const uint8_t* value, uint32_t width);

enum class ParseError { None, Integer, Float, DateTime, Boolean };

// Builds the value bytes (the field's record width) for a non-empty text.
// Strings longer than the field are cut to its size in bytes, never inside
// a double-byte character.
ParseError ParseValue(uint32_t engineType, uint32_t width, const std::string& text,
                      std::vector<uint8_t>* value);

// Calendar helpers: day number 1 is 1 January of year 1.
int32_t DayNumber(int year, int month, int day);
void CivilDate(int32_t dayNumber, int* year, int* month, int* day);
// "YYYY/MM/DD" (or with "-"), optionally followed by " HH:MM[:SS[.mmm]]";
// false when it is not a valid date.
bool ParseDate(const std::string& text, int32_t* dayNumber, int32_t* milliseconds, bool* hasTime);
bool ParseTime(const std::string& text, int32_t* milliseconds);

// Strict integer and float parsing of a whole text (surrounding blanks allowed).
bool ParseInteger(const std::string& text, int64_t* out);
bool ParseFloat(const std::string& text, double* out);

// Length of the longest prefix of text within maxBytes that does not split a
// double-byte character.
size_t Cp932Prefix(const std::string& text, size_t maxBytes);

}  // namespace sarvenu::codec
