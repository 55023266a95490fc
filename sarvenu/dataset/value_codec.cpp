#include "dataset/value_codec.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "pelmora/pelmora.h"
#include "platform/codepage.h"

namespace sarvenu::codec {
namespace {

constexpr int64_t kMsPerDay = 86400000;

template <typename T>
T Load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void Store(std::vector<uint8_t>* out, T v) {
    std::memcpy(out->data(), &v, sizeof v);
}

std::string Trim(const std::string& text) {
    size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = text.find_last_not_of(" \t");
    return text.substr(b, e - b + 1);
}

std::string FormatDouble(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    if (std::strtod(buf, nullptr) != v) std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string FormatTime(int64_t ms) {
    char buf[32];
    int h = static_cast<int>(ms / 3600000), m = static_cast<int>(ms / 60000 % 60),
        s = static_cast<int>(ms / 1000 % 60), f = static_cast<int>(ms % 1000);
    if (f)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", h, m, s, f);
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, m, s);
    return buf;
}

std::string FormatDate(int32_t dayNumber) {
    int y, m, d;
    CivilDate(dayNumber, &y, &m, &d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", y, m, d);
    return buf;
}

// Packed decimal: byte 0 precision, byte 1 sign (0x80) and places, digits
// two per byte from byte 2.
std::string FormatBcd(const uint8_t* v, uint32_t width) {
    int precision = v[0];
    int places = v[1] & 0x3F;
    std::string digits;
    for (int i = 0; i < precision && 2 + static_cast<uint32_t>(i / 2) < width; ++i) {
        uint8_t byte = v[2 + i / 2];
        digits += static_cast<char>('0' + ((i % 2 == 0) ? (byte >> 4) : (byte & 0x0F)) % 10);
    }
    if (places > static_cast<int>(digits.size())) digits.insert(0, places - digits.size(), '0');
    std::string whole = digits.substr(0, digits.size() - places);
    std::string fraction = digits.substr(digits.size() - places);
    whole.erase(0, whole.find_first_not_of('0'));
    if (whole.empty()) whole = "0";
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string out = whole;
    if (!fraction.empty()) out += "." + fraction;
    if ((v[1] & 0x80) && out != "0") out.insert(0, "-");
    return out;
}

bool ParseBcd(const std::string& text, std::vector<uint8_t>* out) {
    std::string t = Trim(text);
    bool negative = false;
    size_t i = 0;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
    std::string digits;
    int places = -1;
    for (; i < t.size(); ++i) {
        if (t[i] == '.' && places < 0) {
            places = 0;
        } else if (t[i] >= '0' && t[i] <= '9') {
            digits += t[i];
            if (places >= 0) ++places;
        } else {
            return false;
        }
    }
    if (digits.empty()) return false;
    if (places < 0) places = 0;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1 - places));
    if (digits.size() > 64 || places > 63) return false;
    // The engine re-scales to the field's precision and places.
    std::vector<uint8_t> bcd(2 + (digits.size() + 1) / 2, 0);
    bcd[0] = static_cast<uint8_t>(digits.size());
    bcd[1] = static_cast<uint8_t>(places | (negative ? 0x80 : 0));
    for (size_t d = 0; d < digits.size(); ++d)
        bcd[2 + d / 2] |= static_cast<uint8_t>((digits[d] - '0') << (d % 2 == 0 ? 4 : 0));
    std::fill(out->begin(), out->end(), 0);
    std::memcpy(out->data(), bcd.data(), std::min(bcd.size(), out->size()));
    return bcd.size() <= out->size();
}

ParseError ParseIntegerInto(uint32_t type, const std::string& text, std::vector<uint8_t>* out) {
    int64_t v;
    if (!ParseInteger(text, &v)) return ParseError::Integer;
    auto within = [&](int64_t lo, int64_t hi) { return v >= lo && v <= hi; };
    switch (type) {
        case FLD_INT8:
            if (!within(-128, 127)) return ParseError::Integer;
            (*out)[0] = static_cast<uint8_t>(static_cast<int8_t>(v));
            return ParseError::None;
        case FLD_UINT8:
            if (!within(0, 255)) return ParseError::Integer;
            (*out)[0] = static_cast<uint8_t>(v);
            return ParseError::None;
        case FLD_INT16:
            if (!within(INT16_MIN, INT16_MAX)) return ParseError::Integer;
            Store(out, static_cast<int16_t>(v));
            return ParseError::None;
        case FLD_UINT16:
            if (!within(0, UINT16_MAX)) return ParseError::Integer;
            Store(out, static_cast<uint16_t>(v));
            return ParseError::None;
        case FLD_INT32:
            if (!within(INT32_MIN, INT32_MAX)) return ParseError::Integer;
            Store(out, static_cast<int32_t>(v));
            return ParseError::None;
        case FLD_UINT32:
            if (!within(0, UINT32_MAX)) return ParseError::Integer;
            Store(out, static_cast<uint32_t>(v));
            return ParseError::None;
        case FLD_INT64:
            Store(out, v);
            return ParseError::None;
        case FLD_UINT64: {
            if (v < 0) return ParseError::Integer;
            Store(out, static_cast<uint64_t>(v));
            return ParseError::None;
        }
    }
    return ParseError::Integer;
}

}  // namespace

TFieldKind KindOf(uint32_t type, uint32_t subtype) {
    switch (type) {
        case FLD_STRING:
            return ftString;
        case FLD_DATE:
            return ftDate;
        case FLD_BLOB:
            switch (subtype) {
                case SUBTYPE_TEXT:
                    return ftMemo;
                case SUBTYPE_FORMATTED:
                    return ftFmtMemo;
                case SUBTYPE_GRAPHICS:
                    return ftGraphic;
                case SUBTYPE_TYPED_BINARY:
                    return ftTypedBinary;
            }
            return ftBlob;
        case FLD_BOOL16:
        case FLD_BOOL8:
        case FLD_BOOL32:
            return ftBoolean;
        case FLD_INT16:
        case FLD_INT8:
            return ftSmallint;
        case FLD_INT32:
            return subtype == SUBTYPE_AUTOINC ? ftAutoInc : ftInteger;
        case FLD_FLOAT:
            return subtype == SUBTYPE_MONEY ? ftCurrency : ftFloat;
        case FLD_BCD:
            return ftBCD;
        case FLD_TIME:
            return ftTime;
        case FLD_TIMESTAMP:
            return ftDateTime;
        case FLD_UINT16:
        case FLD_UINT8:
            return ftWord;
        case FLD_UINT32:
            return ftInteger;
        case FLD_VARBYTES:
            return ftVarBytes;
        case FLD_INT64:
        case FLD_UINT64:
            return ftLargeint;
        case FLD_UNICODE:
            return ftWideString;
        case FLD_BYTES:
            return ftBytes;
    }
    return ftUnknown;
}

bool IsBlobKind(TFieldKind kind) {
    return kind == ftBlob || kind == ftMemo || kind == ftFmtMemo || kind == ftGraphic ||
           kind == ftTypedBinary;
}

int32_t DayNumber(int year, int month, int day) {
    // Days from 1 March of year 0 on the proleptic Gregorian calendar.
    int y = year - (month <= 2 ? 1 : 0);
    int era = (y >= 0 ? y : y - 399) / 400;
    int yoe = y - era * 400;
    int mp = (month + 9) % 12;
    int doy = (153 * mp + 2) / 5 + day - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days = static_cast<int64_t>(era) * 146097 + doe;  // 0 = 0000-03-01
    return static_cast<int32_t>(days - 306);                  // 1 = 0001-01-01
}

void CivilDate(int32_t dayNumber, int* year, int* month, int* day) {
    int64_t z = static_cast<int64_t>(dayNumber) + 306;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

bool ParseTime(const std::string& text, int32_t* milliseconds) {
    int h = 0, m = 0, s = 0, f = 0, used = 0;
    std::string t = Trim(text);
    int n = std::sscanf(t.c_str(), "%2d:%2d%n", &h, &m, &used);
    if (n != 2) return false;
    if (static_cast<size_t>(used) < t.size()) {
        int more = 0;
        if (std::sscanf(t.c_str() + used, ":%2d%n", &s, &more) != 1) return false;
        used += more;
        if (static_cast<size_t>(used) < t.size()) {
            more = 0;
            if (std::sscanf(t.c_str() + used, ".%3d%n", &f, &more) != 1) return false;
            used += more;
        }
    }
    if (static_cast<size_t>(used) != t.size() || h > 23 || m > 59 || s > 59 || h < 0 || m < 0 ||
        s < 0 || f < 0)
        return false;
    *milliseconds = ((h * 60 + m) * 60 + s) * 1000 + f;
    return true;
}

bool ParseDate(const std::string& text, int32_t* dayNumber, int32_t* milliseconds, bool* hasTime) {
    std::string t = Trim(text);
    int y = 0, m = 0, d = 0, used = 0;
    char s1 = 0, s2 = 0;
    if (std::sscanf(t.c_str(), "%4d%c%2d%c%2d%n", &y, &s1, &m, &s2, &d, &used) != 5) return false;
    if (s1 != s2 || (s1 != '/' && s1 != '-')) return false;
    if (y < 1 || m < 1 || m > 12 || d < 1) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > kDays[m - 1] + (m == 2 && leap ? 1 : 0)) return false;
    *dayNumber = DayNumber(y, m, d);
    *milliseconds = 0;
    *hasTime = false;
    std::string rest = Trim(t.substr(static_cast<size_t>(used)));
    if (rest.empty()) return true;
    *hasTime = true;
    return ParseTime(rest, milliseconds);
}

bool ParseInteger(const std::string& text, int64_t* out) {
    std::string t = Trim(text);
    const char* b = t.data();
    const char* e = b + t.size();
    if (b != e && *b == '+') ++b;
    if (b == e) return false;
    auto [p, ec] = std::from_chars(b, e, *out);
    return ec == std::errc() && p == e;
}

bool ParseFloat(const std::string& text, double* out) {
    std::string t = Trim(text);
    if (t.empty()) return false;
    for (char c : t)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
              c == 'e' || c == 'E'))
            return false;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

size_t Cp932Prefix(const std::string& text, size_t maxBytes) {
    size_t i = 0;
    while (i < text.size()) {
        size_t step = platform::IsDBCSLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
        if (i + step > maxBytes) break;
        i += step;
    }
    return std::min(i, text.size());
}

std::string FormatValue(uint32_t type, const uint8_t* v, uint32_t width) {
    switch (type) {
        case FLD_STRING:
            return std::string(reinterpret_cast<const char*>(v),
                               strnlen(reinterpret_cast<const char*>(v), width));
        case FLD_INT8:
            return std::to_string(static_cast<int8_t>(v[0]));
        case FLD_UINT8:
            return std::to_string(v[0]);
        case FLD_INT16:
            return std::to_string(Load<int16_t>(v));
        case FLD_UINT16:
            return std::to_string(Load<uint16_t>(v));
        case FLD_INT32:
            return std::to_string(Load<int32_t>(v));
        case FLD_UINT32:
            return std::to_string(Load<uint32_t>(v));
        case FLD_INT64:
            return std::to_string(Load<int64_t>(v));
        case FLD_UINT64:
            return std::to_string(Load<uint64_t>(v));
        case FLD_BOOL8:
            return v[0] ? "True" : "False";
        case FLD_BOOL16:
            return Load<uint16_t>(v) ? "True" : "False";
        case FLD_BOOL32:
            return Load<uint32_t>(v) ? "True" : "False";
        case FLD_FLOAT:
            return FormatDouble(Load<double>(v));
        case FLD_BCD:
            return FormatBcd(v, width);
        case FLD_DATE:
            return FormatDate(Load<int32_t>(v));
        case FLD_TIME:
            return FormatTime(Load<int32_t>(v));
        case FLD_TIMESTAMP: {
            double ms = Load<double>(v);
            int64_t total = static_cast<int64_t>(std::llround(ms));
            int64_t days = total / kMsPerDay;
            std::string out = FormatDate(static_cast<int32_t>(days));
            int64_t rest = total - days * kMsPerDay;
            if (rest) out += " " + FormatTime(rest);
            return out;
        }
        case FLD_VARBYTES: {
            uint16_t n = std::min<uint32_t>(Load<uint16_t>(v), width - 2);
            return std::string(reinterpret_cast<const char*>(v + 2), n);
        }
        case FLD_UNICODE: {
            uint16_t n = std::min<uint32_t>(Load<uint16_t>(v), width - 2);
            std::u16string wide(n / 2, u'\0');
            std::memcpy(wide.data(), v + 2, wide.size() * 2);
            return platform::Utf16ToCp932(wide);
        }
    }
    return std::string(reinterpret_cast<const char*>(v), width);
}

ParseError ParseValue(uint32_t type, uint32_t width, const std::string& text,
                      std::vector<uint8_t>* value) {
    value->assign(width, 0);
    switch (type) {
        case FLD_STRING: {
            // One byte of the width holds the terminating zero.
            size_t n = Cp932Prefix(text, width ? width - 1 : 0);
            std::memcpy(value->data(), text.data(), n);
            return ParseError::None;
        }
        case FLD_INT8:
        case FLD_UINT8:
        case FLD_INT16:
        case FLD_UINT16:
        case FLD_INT32:
        case FLD_UINT32:
        case FLD_INT64:
        case FLD_UINT64:
            return ParseIntegerInto(type, text, value);
        case FLD_BOOL8:
        case FLD_BOOL16:
        case FLD_BOOL32: {
            std::string t = Trim(text);
            for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (t != "true" && t != "false" && t != "1" && t != "0") return ParseError::Boolean;
            (*value)[0] = (t == "true" || t == "1") ? 1 : 0;
            return ParseError::None;
        }
        case FLD_FLOAT: {
            double d;
            if (!ParseFloat(text, &d)) return ParseError::Float;
            Store(value, d);
            return ParseError::None;
        }
        case FLD_BCD:
            return ParseBcd(text, value) ? ParseError::None : ParseError::Float;
        case FLD_DATE: {
            int32_t day, ms;
            bool hasTime;
            if (!ParseDate(text, &day, &ms, &hasTime) || hasTime) return ParseError::DateTime;
            Store(value, day);
            return ParseError::None;
        }
        case FLD_TIME: {
            int32_t ms;
            if (!ParseTime(text, &ms)) return ParseError::DateTime;
            Store(value, ms);
            return ParseError::None;
        }
        case FLD_TIMESTAMP: {
            int32_t day, ms;
            bool hasTime;
            if (!ParseDate(text, &day, &ms, &hasTime)) return ParseError::DateTime;
            Store(value, static_cast<double>(day) * kMsPerDay + ms);
            return ParseError::None;
        }
        case FLD_VARBYTES: {
            uint16_t n = static_cast<uint16_t>(std::min<size_t>(text.size(), width - 2));
            Store(value, n);
            std::memcpy(value->data() + 2, text.data(), n);
            return ParseError::None;
        }
        case FLD_UNICODE: {
            std::u16string wide = platform::Cp932ToUtf16(text);
            size_t bytes = std::min<size_t>(wide.size() * 2, (width - 2) & ~size_t{1});
            Store(value, static_cast<uint16_t>(bytes));
            std::memcpy(value->data() + 2, wide.data(), bytes);
            return ParseError::None;
        }
    }
    std::memcpy(value->data(), text.data(), std::min<size_t>(text.size(), width));
    return ParseError::None;
}

}  // namespace sarvenu::codec
