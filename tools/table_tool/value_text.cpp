#include "value_text.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "pelmora/pelmora.h"
#include "platform/codepage.h"

namespace tabletool {
namespace {

template <typename T>
T Load(const std::vector<uint8_t>& bytes) {
    T value{};
    std::memcpy(&value, bytes.data(), std::min(sizeof(T), bytes.size()));
    return value;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Day number 1 = 0001-01-01 (proleptic Gregorian) to year, month, day.
std::string DateText(int32_t day) {
    if (day <= 0) return "";
    // Days since 0000-03-01 in the civil-from-days method, shifted to day 1 = 0001-01-01.
    int64_t z = static_cast<int64_t>(day) + 305;  // 0000-03-01 is day -305
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", static_cast<long long>(y),
                  static_cast<long long>(m), static_cast<long long>(d));
    return text;
}

std::string TimeText(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld",
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

std::string DoubleText(double v) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, v);
    return std::string(text, result.ptr);
}

std::string BcdText(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 2) return "";
    const uint32_t precision = bytes[0];
    const uint32_t places = bytes[1] & 0x3F;
    if (bytes[1] & 0x40) return "(special)";
    std::string digits;
    for (uint32_t i = 0; i < precision && 2 + i / 2 < bytes.size(); ++i) {
        const uint8_t b = bytes[2 + i / 2];
        digits += static_cast<char>('0' + ((i % 2 == 0 ? b >> 4 : b) & 15));
    }
    while (digits.size() < places + 1) digits.insert(digits.begin(), '0');
    std::string integer = digits.substr(0, digits.size() - places);
    while (integer.size() > 1 && integer[0] == '0') integer.erase(0, 1);
    std::string out = (bytes[1] & 0x80) ? "-" : "";
    out += integer;
    if (places) out += "." + digits.substr(digits.size() - places);
    return out;
}

// UTF-16LE bytes to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::vector<uint8_t>& bytes) {
    std::string out;
    const size_t units = bytes.size() / 2;
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    };
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

std::string TypeName(uint32_t word) {
    const uint32_t width = PacketWidth(word);
    const bool varying = (word & PKT_VARYING) != 0;
    std::string name;
    switch (PacketBaseType(word)) {
        case PKT_INT:
            name = "int" + std::to_string(width * 8);
            break;
        case PKT_UINT:
            name = "uint" + std::to_string(width * 8);
            break;
        case PKT_BOOL:
            name = "boolean";
            break;
        case PKT_FLOAT:
            name = width == 10 ? "float80" : "float";
            break;
        case PKT_BCD:
            name = "bcd";
            break;
        case PKT_DATE:
            name = "date";
            break;
        case PKT_TIME:
            name = "time";
            break;
        case PKT_TIMESTAMP:
            name = "timestamp";
            break;
        case PKT_STRING:
            name = "string";
            break;
        case PKT_UNICODE:
            name = "unicode";
            break;
        case PKT_BYTES:
        case PKT_BYTES16:
            name = varying && width == 4 ? "blob" : "bytes";
            break;
        case PKT_ADT:
            name = "struct";
            break;
        case PKT_ARRAY:
            name = "array";
            break;
        case PKT_TABLE:
            name = "nested";
            break;
        case PKT_REF:
            name = "reference";
            break;
        default:
            name = "type?";
            break;
    }
    if (word & PKT_REPEATED) name += "[]";
    return name;
}

bool IsNumeric(uint32_t word) {
    if (word & PKT_REPEATED) return false;
    switch (PacketBaseType(word)) {
        case PKT_INT:
        case PKT_UINT:
        case PKT_FLOAT:
            return PacketWidth(word) != 10;
        default:
            return false;
    }
}

std::string ValueText(uint32_t word, const std::vector<uint8_t>& bytes) {
    const uint32_t width = PacketWidth(word);
    if (word & PKT_REPEATED) {
        if (bytes.size() < 4 || width == 0) return Hex(bytes);
        uint32_t count = Load<uint32_t>(bytes);
        std::string out = "[";
        for (uint32_t i = 0; i < count && 4 + (i + 1) * width <= bytes.size(); ++i) {
            std::vector<uint8_t> element(bytes.begin() + 4 + i * width,
                                         bytes.begin() + 4 + (i + 1) * width);
            if (i) out += ",";
            out += ValueText(word & ~PKT_REPEATED & ~PKT_ROUNDTRIP, element);
        }
        return out + "]";
    }
    switch (PacketBaseType(word)) {
        case PKT_INT:
            switch (width) {
                case 1:
                    return std::to_string(Load<int8_t>(bytes));
                case 2:
                    return std::to_string(Load<int16_t>(bytes));
                case 4:
                    return std::to_string(Load<int32_t>(bytes));
                default:
                    return std::to_string(Load<int64_t>(bytes));
            }
        case PKT_UINT:
            switch (width) {
                case 1:
                    return std::to_string(Load<uint8_t>(bytes));
                case 2:
                    return std::to_string(Load<uint16_t>(bytes));
                case 4:
                    return std::to_string(Load<uint32_t>(bytes));
                default:
                    return std::to_string(Load<uint64_t>(bytes));
            }
        case PKT_BOOL: {
            bool any = false;
            for (uint8_t b : bytes) any = any || b != 0;
            return any ? "true" : "false";
        }
        case PKT_FLOAT:
            return width == 8 ? DoubleText(Load<double>(bytes)) : Hex(bytes);
        case PKT_BCD:
            return BcdText(bytes);
        case PKT_DATE:
            return DateText(Load<int32_t>(bytes));
        case PKT_TIME:
            return TimeText(Load<int32_t>(bytes));
        case PKT_TIMESTAMP: {
            const double stamp = Load<double>(bytes);
            if (!(stamp >= 0 && stamp < 1e15)) return DoubleText(stamp);
            const int64_t ms = static_cast<int64_t>(stamp);
            return DateText(static_cast<int32_t>(ms / 86400000)) + " " + TimeText(ms % 86400000);
        }
        case PKT_STRING: {
            std::string text(bytes.begin(), bytes.end());
            text = text.substr(0, text.find('\0'));
            return platform::Cp932ToUtf8(text);
        }
        case PKT_UNICODE:
            return Utf16ToUtf8(bytes);
        default:
            return Hex(bytes);
    }
}

std::string JsonEscape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

}  // namespace tabletool
