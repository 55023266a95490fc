#include "xml/xml_text.h"

#include <cstdio>
#include <cstring>

#include "platform/codepage.h"

namespace pelmora {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr size_t kMaxReference = 10;  // longest reference body looked at ("#x10FFFF")

bool IsHighSurrogate(char32_t cp) {
    return cp >= 0xD800 && cp <= 0xDBFF;
}
bool IsLowSurrogate(char32_t cp) {
    return cp >= 0xDC00 && cp <= 0xDFFF;
}

// Parses the body of a reference (between '&' and ';'); false when it is not
// one this reader knows. Named entities are recognised by their first one
// or two letters.
bool ParseReference(std::string_view body, char32_t* cp) {
    if (body.empty()) return false;
    if (body[0] == '#') {
        size_t i = 1;
        int base = 10;
        if (i < body.size() && (body[i] == 'x' || body[i] == 'X')) {
            base = 16;
            ++i;
        }
        if (i == body.size()) return false;
        uint32_t value = 0;
        for (; i < body.size(); ++i) {
            const char c = body[i];
            uint32_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<uint32_t>(c - '0');
            } else if (base == 16 && c >= 'a' && c <= 'f') {
                digit = static_cast<uint32_t>(c - 'a' + 10);
            } else if (base == 16 && c >= 'A' && c <= 'F') {
                digit = static_cast<uint32_t>(c - 'A' + 10);
            } else {
                return false;
            }
            value = value * static_cast<uint32_t>(base) + digit;
            if (value > 0x10FFFF) value = 0x110000;  // out of range, kept from wrapping
        }
        *cp = value;
        return true;
    }
    switch (body[0]) {
        case 'a':
            if (body.size() < 2) return false;
            if (body[1] == 'p')
                *cp = '\'';
            else if (body[1] == 'm')
                *cp = '&';
            else
                return false;
            return true;
        case 'g':
            *cp = '>';
            return true;
        case 'l':
            *cp = '<';
            return true;
        case 'q':
            *cp = '"';
            return true;
        default:
            return false;
    }
}

// Walks raw document text: onByte for every literal byte, onChar for every
// character a reference names. A surrogate pair written as two references
// (older writers did) is joined into one character.
template <typename OnByte, typename OnChar>
void Resolve(std::string_view raw, OnByte onByte, OnChar onChar) {
    char32_t high = 0;
    auto flushHigh = [&] {
        if (high != 0) onChar(kReplacement);
        high = 0;
    };
    size_t i = 0;
    while (i < raw.size()) {
        const auto c = static_cast<unsigned char>(raw[i]);
        if (c == '&') {
            const size_t semi = raw.find(';', i + 1);
            char32_t cp = 0;
            if (semi != std::string_view::npos && semi - i - 1 <= kMaxReference &&
                ParseReference(raw.substr(i + 1, semi - i - 1), &cp)) {
                i = semi + 1;
                if (IsHighSurrogate(cp)) {
                    flushHigh();
                    high = cp;
                } else if (IsLowSurrogate(cp)) {
                    if (high != 0) {
                        onChar(0x10000 + ((high - 0xD800) << 10) + (cp - 0xDC00));
                        high = 0;
                    } else {
                        onChar(kReplacement);
                    }
                } else {
                    flushHigh();
                    if (cp > 0x10FFFF)
                        onChar(kReplacement);
                    else if (cp != 0)
                        onChar(cp);  // NUL has no place in a text value
                }
                continue;
            }
        }
        flushHigh();
        onByte(c);
        ++i;
    }
    flushHigh();
}

void AppendUtf16Unit(std::string& out, char16_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

void AppendUtf16Char(std::string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        AppendUtf16Unit(out, static_cast<char16_t>(0xD800 + (cp >> 10)));
        AppendUtf16Unit(out, static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        AppendUtf16Unit(out, static_cast<char16_t>(cp));
    }
}

// Decodes one UTF-8 sequence at text[*i]; an ill-formed sequence gives
// U+FFFD and moves on by one byte.
char32_t DecodeUtf8(std::string_view text, size_t* i) {
    const auto b0 = static_cast<unsigned char>(text[*i]);
    if (b0 < 0x80) {
        ++*i;
        return b0;
    }
    size_t extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1;
        cp = b0 & 0x1F;
        minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2;
        cp = b0 & 0x0F;
        minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3;
        cp = b0 & 0x07;
        minimum = 0x10000;
    } else {
        ++*i;
        return kReplacement;
    }
    if (extra > text.size() - *i - 1) {
        ++*i;
        return kReplacement;
    }
    for (size_t k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(text[*i + k]);
        if ((b & 0xC0) != 0x80) {
            ++*i;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++*i;
        return kReplacement;
    }
    *i += extra + 1;
    return cp;
}

std::string ResolveToUtf8(std::string_view raw) {
    std::string utf8;
    utf8.reserve(raw.size());
    Resolve(
        raw, [&](unsigned char b) { utf8 += static_cast<char>(b); },
        [&](char32_t cp) { AppendUtf8(utf8, cp); });
    return utf8;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool AppendEscapedChar(std::string& out, char32_t cp) {
    switch (cp) {
        case '<':
            out += "&lt;";
            return true;
        case '>':
            out += "&gt;";
            return true;
        case '&':
            out += "&amp;";
            return true;
        case '\'':
            out += "&apos;";
            return true;
        case '"':
            out += "&quot;";
            return true;
        case '\r':
            out += "&#013;";
            return true;
        case '\n':
            out += "&#010;";
            return true;
        case '\t':
            out += "&#009;";
            return true;
        case '\\':
            out += "&#092;";
            return true;
        default:
            break;
    }
    if (cp < 0x20 || IsHighSurrogate(cp) || IsLowSurrogate(cp) || cp == 0xFFFE || cp == 0xFFFF ||
        cp > 0x10FFFF)
        return false;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
        return true;
    }
    // The document's bytes are code page 932: a character is safe in it only
    // as a reference, which every reader resolves to the character itself.
    char buf[16];
    const int n = std::snprintf(buf, sizeof buf, "&#%u;", static_cast<unsigned>(cp));
    out.append(buf, static_cast<size_t>(n));
    return true;
}

bool AppendCodePageText(std::string& out, const uint8_t* bytes, size_t length) {
    const auto* text = reinterpret_cast<const char*>(bytes);
    const size_t n = bytes ? strnlen(text, length) : 0;
    bool ascii = true;
    for (size_t i = 0; i < n && ascii; ++i) ascii = bytes[i] < 0x80;
    if (!ascii) {
        // Code page 932 decodes to the Basic Multilingual Plane only and never
        // to U+FFFD, so a replacement character marks an undecodable byte; a
        // text that decodes has a trail byte after every lead byte.
        for (char16_t unit : platform::Cp932ToUtf16(std::string_view(text, n))) {
            if (unit == kReplacement || unit == 0xFFFE || unit == 0xFFFF) return false;
        }
    }
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = bytes[i];
        if (b < 0x80) {
            if (!AppendEscapedChar(out, b)) return false;
        } else if (platform::IsDBCSLeadByte(b) && i + 1 < n) {
            // A trail byte goes as it is, even where it is 0x5C.
            out += static_cast<char>(b);
            out += static_cast<char>(bytes[++i]);
        } else {
            out += static_cast<char>(b);
        }
    }
    return true;
}

bool AppendUtf16Text(std::string& out, const uint8_t* bytes, size_t length) {
    if (length % 2 != 0) return false;
    for (size_t i = 0; i < length; i += 2) {
        char32_t cp = static_cast<char32_t>(bytes[i] | (bytes[i + 1] << 8));
        if (IsHighSurrogate(cp)) {
            if (i + 3 >= length) return false;
            const char32_t low = static_cast<char32_t>(bytes[i + 2] | (bytes[i + 3] << 8));
            if (!IsLowSurrogate(low)) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (!AppendEscapedChar(out, cp)) return false;
    }
    return true;
}

std::string ReadCodePageText(std::string_view raw, XmlEncoding encoding) {
    if (encoding == XmlEncoding::Utf8) return platform::Utf8ToCp932(ResolveToUtf8(raw));
    std::string out;
    out.reserve(raw.size());
    Resolve(
        raw, [&](unsigned char b) { out += static_cast<char>(b); },
        [&](char32_t cp) {
            if (cp < 0x80) {
                out += static_cast<char>(cp);
                return;
            }
            std::string utf16;
            AppendUtf16Char(utf16, cp);
            std::u16string units(utf16.size() / 2, u'\0');
            for (size_t k = 0; k < units.size(); ++k)
                units[k] = static_cast<char16_t>(static_cast<uint8_t>(utf16[2 * k]) |
                                                 (static_cast<uint8_t>(utf16[2 * k + 1]) << 8));
            out += platform::Utf16ToCp932(units);
        });
    return out;
}

std::string ReadUtf16Text(std::string_view raw, XmlEncoding encoding) {
    std::string out;
    if (encoding == XmlEncoding::Legacy) {
        out.reserve(raw.size() * 2);
        Resolve(
            raw, [&](unsigned char b) { AppendUtf16Unit(out, b); },
            [&](char32_t cp) { AppendUtf16Char(out, cp); });
        return out;
    }
    const std::string utf8 = ResolveToUtf8(raw);
    out.reserve(utf8.size() * 2);
    for (size_t i = 0; i < utf8.size();) AppendUtf16Char(out, DecodeUtf8(utf8, &i));
    return out;
}

std::string ReadAsciiText(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    Resolve(
        raw, [&](unsigned char b) { out += b < 0x80 ? static_cast<char>(b) : '?'; },
        [&](char32_t cp) { out += cp < 0x80 ? static_cast<char>(cp) : '?'; });
    return out;
}

}  // namespace pelmora
