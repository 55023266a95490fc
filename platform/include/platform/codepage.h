// Code page 932 (Windows Japanese) text: every 8-bit text of the system is
// stored in it; conversion happens only at the user-interface boundary.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// CP932 bytes to UTF-8. Undecodable bytes become U+FFFD.
std::string Cp932ToUtf8(std::string_view cp932);
// UTF-8 to CP932 the way Windows stores typed text (U+301C -> 81 60,
// U+2212 -> 81 7C, U+00A5 -> 5C); characters without a mapping become '?'.
std::string Utf8ToCp932(std::string_view utf8);
// CP932 bytes to UTF-16 and back.
std::u16string Cp932ToUtf16(std::string_view cp932);
std::string Utf16ToCp932(std::u16string_view utf16);
// True when the byte starts a double-byte character in code page 932.
bool IsDBCSLeadByte(unsigned char byte);

}  // namespace platform
