// Code page 932 (Windows Japanese) text: every 8-bit text of the system is
// stored in it; conversion happens only at the user-interface boundary. Every
// conversion of the system lives here and is named <from>To<to>: program
// literals (UTF-8 sources) become stored texts with Utf8ToCp932, stored texts
// become readable ones with Cp932ToUtf8, and the user interface converts to
// and from QString.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

class QString;

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

// The QString conversions are templates over QString, instantiated where a
// caller uses them, so that this header needs no Qt (the engine includes it).
// Stored CP932 text to a QString for display, and typed text back, with the
// same mappings as the UTF-16 conversions above.
template <typename String = QString>
String Cp932ToQString(std::string_view cp932) {
    return String::fromStdU16String(Cp932ToUtf16(cp932));
}
template <typename String = QString>
std::string QStringToCp932(const std::type_identity_t<String>& text) {
    return Utf16ToCp932(text.toStdU16String());
}
// A program literal (UTF-8 source) to a QString.
template <typename String = QString>
String Utf8ToQString(std::string_view utf8) {
    return String::fromUtf8(utf8.data(), static_cast<typename String::size_type>(utf8.size()));
}

}  // namespace platform
