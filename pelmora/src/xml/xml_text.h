// Text inside XML datapackets: escaping of written text, resolution of
// character and entity references in read text, and conversion between the
// engine's 8-bit texts (code page 932), its 16-bit texts (UTF-16LE) and the
// document's own encoding.
//
// Documents are written in code page 932 without an encoding declaration,
// the form every installation reads: 8-bit texts as their own bytes, every
// other non-ASCII character as one decimal character reference. Read
// documents that declare another encoding the parser knows are brought to
// UTF-8 by it; an undeclared one is code page 932.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelmora {

enum class XmlEncoding : uint8_t {
    Utf8,    // text is UTF-8
    Legacy,  // text is code page 932 bytes; references name Unicode characters
};

// Appends one Unicode character as document text: ASCII as itself, escaped
// where markup needs it, any other character as one decimal character
// reference. False for a character an XML document cannot hold (controls
// other than tab, CR and LF; surrogates; U+FFFE, U+FFFF).
bool AppendEscapedChar(std::string& out, char32_t cp);

// Appends an 8-bit text up to its first NUL as escaped document text: ASCII
// escaped, code page 932 characters as their bytes. False when a byte does
// not decode in code page 932 or the text holds a character the document
// cannot hold.
bool AppendCodePageText(std::string& out, const uint8_t* bytes, size_t length);

// Appends UTF-16LE text as escaped document text, a surrogate pair as one
// reference. False for an odd byte count, an unpaired surrogate or a
// character the document cannot hold.
bool AppendUtf16Text(std::string& out, const uint8_t* bytes, size_t length);

// Read text (an attribute value or element text as it stands in the
// document) with its references resolved, as code page 932 bytes.
std::string ReadCodePageText(std::string_view raw, XmlEncoding encoding);

// The same as UTF-16LE bytes.
std::string ReadUtf16Text(std::string_view raw, XmlEncoding encoding);

// The same for texts that are expected to be ASCII (numbers, names of types
// and flags): references resolved, any other character becomes '?'.
std::string ReadAsciiText(std::string_view raw);

// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace pelmora
