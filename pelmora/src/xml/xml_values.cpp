#include "xml/xml_values.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "packet/packet_format.h"
#include "store/bcd.h"

namespace pelmora {
namespace {

constexpr int64_t kMsPerDay = 86400000;

constexpr uint32_t Word(uint32_t base, uint32_t width, uint32_t flags = 0) {
    return flags | (base << PKT_BASE_SHIFT) | width;
}

bool IsBlankChar(char c) {
    return c >= 1 && c <= 32;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlankChar(s.front())) s.remove_prefix(1);
    return s;
}

// ---- integers -------------------------------------------------------------

uint64_t LoadUnsigned(const uint8_t* p, uint32_t width) {
    uint64_t v = 0;
    for (uint32_t i = 0; i < width; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

int64_t LoadSigned(const uint8_t* p, uint32_t width) {
    const uint64_t v = LoadUnsigned(p, width);
    if (width >= 8) return static_cast<int64_t>(v);
    const uint64_t sign = uint64_t{1} << (8 * width - 1);
    return static_cast<int64_t>((v ^ sign) - sign);
}

void StoreLE(std::string& out, uint64_t v, uint32_t width) {
    for (uint32_t i = 0; i < width; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

enum class Parsed { Value, Blank, OutOfRange };

// A decimal integer: leading blanks, a sign, digits; what follows the digits
// is ignored. A text without a digit before its first letter is blank; the
// words TRUE and FALSE (by their first letter) stand for 1 and 0.
Parsed ParseInteger(std::string_view s, bool* negative, uint64_t* magnitude) {
    s = TrimLeft(s);
    *negative = false;
    *magnitude = 0;
    if (!s.empty() && (s[0] == 'T' || s[0] == 't')) {
        *magnitude = 1;
        return Parsed::Value;
    }
    if (!s.empty() && (s[0] == 'F' || s[0] == 'f')) return Parsed::Value;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        *negative = s[0] == '-';
        s.remove_prefix(1);
    }
    size_t i = 0;
    bool overflow = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        const uint64_t digit = static_cast<uint64_t>(s[i] - '0');
        if (*magnitude > (UINT64_MAX - digit) / 10)
            overflow = true;
        else
            *magnitude = *magnitude * 10 + digit;
    }
    if (i == 0) return Parsed::Blank;
    return overflow ? Parsed::OutOfRange : Parsed::Value;
}

// An integer of `width` bytes; unsigned types also take negative texts in
// two's complement.
Parsed ReadInteger(std::string_view s, uint32_t width, bool isSigned, uint64_t* bits) {
    bool negative = false;
    uint64_t m = 0;
    const Parsed p = ParseInteger(s, &negative, &m);
    if (p != Parsed::Value) return p;
    // A width of 0 leaves room for no value at all.
    if (width == 0) return Parsed::OutOfRange;
    const uint64_t half = width >= 8 ? (uint64_t{1} << 63) : (uint64_t{1} << (8 * width - 1));
    const uint64_t full = width >= 8 ? UINT64_MAX : (uint64_t{1} << (8 * width)) - 1;
    if (negative) {
        if (m > half) return Parsed::OutOfRange;
        *bits = (~m + 1) & full;
        return Parsed::Value;
    }
    if (m > (isSigned ? half - 1 : full)) return Parsed::OutOfRange;
    *bits = m;
    return Parsed::Value;
}

// ---- dates and times --------------------------------------------------------

// Days from 1970-01-01 of a proleptic Gregorian date; the month may lie
// outside 1..12 and the day outside the month (they carry over).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    const int64_t mz = m - 1;
    y += mz >= 0 ? mz / 12 : -((11 - mz) / 12);
    m = mz - 12 * (mz >= 0 ? mz / 12 : -((11 - mz) / 12)) + 1;
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, int64_t* m, int64_t* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yoe + era * 400 + (*m <= 2);
}

// Day 1 is 1 January of year 1.
const int64_t kDayOneOffset = DaysFromCivil(1, 1, 1) - 1;

void AppendPadded(std::string& out, int64_t v, int width) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    for (int pad = width - static_cast<int>(r.ptr - buf); pad > 0; --pad) out += '0';
    out.append(buf, r.ptr);
}

void AppendDate(std::string& out, int64_t dayNumber) {
    int64_t y = 0, m = 0, d = 0;
    CivilFromDays(dayNumber + kDayOneOffset, &y, &m, &d);
    if (y < 0) out += '-';
    AppendPadded(out, y < 0 ? -y : y, 4);
    AppendPadded(out, m, 2);
    AppendPadded(out, d, 2);
}

void AppendTime(std::string& out, int64_t ms) {
    if (ms < 0) {
        out += '-';
        ms = -ms;
    }
    AppendPadded(out, ms / 3600000, 2);
    out += ':';
    AppendPadded(out, ms / 60000 % 60, 2);
    out += ':';
    AppendPadded(out, ms % 60000, 5);
}

// Digits at s[*i..], at most `limit` of them; texts that are not numbers
// read as zero parts.
int64_t TakeDigits(std::string_view s, size_t* i, size_t limit) {
    int64_t v = 0;
    for (size_t n = 0; *i < s.size() && n < limit && s[*i] >= '0' && s[*i] <= '9'; ++n, ++*i)
        v = v * 10 + (s[*i] - '0');
    return v;
}

// A date: year, two month digits, two day digits. Eight digits are read by
// position; a longer run gives its extra leading digits to the year.
bool ParseDate(std::string_view s, size_t* i, int64_t* dayNumber) {
    bool negative = false;
    if (*i < s.size() && s[*i] == '-') {
        negative = true;
        ++*i;
    }
    size_t run = 0;
    while (*i + run < s.size() && s[*i + run] >= '0' && s[*i + run] <= '9') ++run;
    if (run > 14) return false;
    const size_t yearDigits = run > 8 ? run - 4 : 4;
    const int64_t y = TakeDigits(s, i, yearDigits);
    const int64_t m = TakeDigits(s, i, 2);
    const int64_t d = TakeDigits(s, i, 2);
    if (y == 0 && m == 0 && d == 0) {
        *dayNumber = 0;
        return true;
    }
    *dayNumber = DaysFromCivil(negative ? -y : y, m, d) - kDayOneOffset;
    return true;
}

// A time: hours, a separator, minutes, a separator, then up to five digits
// of milliseconds within the minute (padded with zeros to five).
int64_t ParseTime(std::string_view s, size_t i) {
    bool negative = false;
    if (i < s.size() && s[i] == '-') {
        negative = true;
        ++i;
    }
    const int64_t h = TakeDigits(s, &i, 9);
    if (i < s.size()) ++i;
    const int64_t m = TakeDigits(s, &i, 9);
    if (i < s.size()) ++i;
    const size_t start = i;
    int64_t ms = TakeDigits(s, &i, 5);
    for (size_t n = i - start; n < 5; ++n) ms *= 10;
    const int64_t v = h * 3600000 + m * 60000 + ms;
    return negative ? -v : v;
}

// ---- packed decimals --------------------------------------------------------

uint32_t BcdDigit(const uint8_t* v, uint32_t i) {
    if (i >= 32) return 0;  // the packet form holds 32 digits
    const uint8_t b = v[2 + i / 2];
    return i % 2 == 0 ? b >> 4 : b & 0x0F;
}

void AppendBcd(std::string& out, const uint8_t* v) {
    const uint32_t precision = v[0];
    const uint32_t places = std::min<uint32_t>(v[1] & kBcdPlacesMask, precision);
    if (v[1] & kBcdSign) out += '-';
    bool any = false;
    for (uint32_t i = 0; i < precision - places; ++i) {
        const uint32_t d = BcdDigit(v, i);
        if (d == 0 && !any) continue;
        any = true;
        out += static_cast<char>('0' + (d > 9 ? 9 : d));
    }
    if (!any) out += '0';
    if (places == 0) return;
    out += '.';
    for (uint32_t i = precision - places; i < precision; ++i) {
        const uint32_t d = BcdDigit(v, i);
        out += static_cast<char>('0' + (d > 9 ? 9 : d));
    }
}

EngineResult ReadBcd(const ValueForm& form, std::string_view s, std::string& out, bool* blank) {
    bool negative = false, point = false, digits = false;
    std::string whole, fraction;
    for (char c : s) {
        if (IsBlankChar(c)) continue;
        if (c == '-' && !digits && !negative && !point) {
            negative = true;
        } else if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (point)
                fraction += c;
            else if (c != '0' || !whole.empty())
                whole += c;
        } else {
            break;
        }
    }
    if (!digits) {
        *blank = true;
        return DS_OK;
    }
    uint32_t precision = 32;
    uint32_t places = static_cast<uint32_t>(std::min<size_t>(fraction.size(), 32));
    if (form.scaleKnown && form.precision != 0) {
        precision = std::min<uint32_t>(form.precision, kBcdMaxDigits);
        places = std::min(form.places, precision);
    }
    if (whole.size() > precision - places) return DSERR_OUTOFRANGE;
    fraction.resize(places, '0');  // surplus decimal digits are dropped
    const std::string all = std::string(precision - places - whole.size(), '0') + whole + fraction;
    uint8_t packet[kBcdPacketSize] = {};
    packet[0] = static_cast<uint8_t>(precision);
    packet[1] = static_cast<uint8_t>(places | (negative ? kBcdSign : 0));
    for (size_t i = 0; i < all.size() && i < 32; ++i) {
        const auto d = static_cast<uint8_t>(all[i] - '0');
        packet[2 + i / 2] |= i % 2 == 0 ? static_cast<uint8_t>(d << 4) : d;
    }
    out.assign(reinterpret_cast<const char*>(packet), sizeof packet);
    return DS_OK;
}

// ---- floats -----------------------------------------------------------------

void AppendDouble(std::string& out, double d) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, d);  // shortest text that reads back
    out.append(buf, r.ptr);
}

Parsed ReadDouble(std::string_view s, double* d) {
    s = TrimLeft(s);
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    const size_t digit = s.find_first_of("0123456789");
    size_t letter = 0;
    while (letter < s.size() && !std::isalpha(static_cast<unsigned char>(s[letter]))) ++letter;
    if (digit == std::string_view::npos || letter < digit) {
        // Infinities and not-a-number are spelled out.
        std::string_view word = s;
        if (!word.empty() && word[0] == '-') word.remove_prefix(1);
        auto starts = [&](const char* w) {
            const size_t n = std::strlen(w);
            if (word.size() < n) return false;
            for (size_t k = 0; k < n; ++k)
                if (std::tolower(static_cast<unsigned char>(word[k])) != w[k]) return false;
            return true;
        };
        if (!starts("inf") && !starts("nan")) return Parsed::Blank;
    }
    const auto r = std::from_chars(s.data(), s.data() + s.size(), *d);
    if (r.ec == std::errc::result_out_of_range) return Parsed::OutOfRange;
    if (r.ec != std::errc()) return Parsed::Blank;
    return Parsed::Value;
}

// ---- bytes ------------------------------------------------------------------

void AppendHex(std::string& out, const uint8_t* p, size_t n) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < n; ++i) {
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 0x0F];
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hexadecimal digits (blanks between them ignored); false when the text is
// not that.
bool ReadHex(std::string_view s, std::string& out) {
    out.clear();
    int high = -1;
    for (char c : s) {
        if (IsBlankChar(c)) continue;
        const int v = HexValue(c);
        if (v < 0) return false;
        if (high < 0) {
            high = v;
        } else {
            out += static_cast<char>((high << 4) | v);
            high = -1;
        }
    }
    return high < 0;
}

// A text value of a fixed-width type is padded with zeros (or cut) to the
// width; a varying one is cut to what its length prefix can count.
void FitWidth(std::string& bytes, const ValueShape& shape) {
    if (shape.kind == ValueKind::Fixed)
        bytes.resize(shape.width, '\0');
    else if (bytes.size() > PrefixLimit(shape.width))
        bytes.resize(PrefixLimit(shape.width));
}

EngineResult ReadRepeated(uint32_t base, uint32_t width, std::string_view s, std::string& out) {
    out.assign(4, '\0');
    uint32_t count = 0;
    size_t i = 0;
    for (;;) {
        while (i < s.size() && IsBlankChar(s[i])) ++i;
        if (i >= s.size() || s[i] == '<') break;
        size_t end = i;
        while (end < s.size() && !IsBlankChar(s[end]) && s[end] != '<') ++end;
        uint64_t bits = 0;
        const Parsed p = ReadInteger(s.substr(i, end - i), width, base == PKT_INT, &bits);
        if (p == Parsed::OutOfRange) return DSERR_OUTOFRANGE;
        if (p == Parsed::Blank) break;
        StoreLE(out, bits, width);
        ++count;
        i = end;
    }
    for (int k = 0; k < 4; ++k) out[static_cast<size_t>(k)] = static_cast<char>(count >> (8 * k));
    return DS_OK;
}

}  // namespace

EngineResult TypeNameFor(uint32_t typeWord, std::string_view* name) {
    ValueShape shape;
    if (EngineResult r = ClassifyType(typeWord, &shape)) return r;
    const uint32_t base = PacketBaseType(typeWord);
    const uint32_t w = PacketWidth(typeWord);
    const bool repeated = (typeWord & PKT_REPEATED) != 0;
    if (repeated && base != PKT_INT && base != PKT_UINT) return DSERR_FIELDTYPENOTXML;
    switch (base) {
        case PKT_INT:
        case PKT_UINT: {
            if (w == 8) return DSERR_FIELDTYPENOTXML;
            static const char* const kSigned[] = {"i1", "i2", "", "i4"};
            static const char* const kUnsigned[] = {"ui1", "ui2", "", "ui4"};
            if (repeated)
                *name = base == PKT_INT ? "IntArray" : "UIntArray";
            else
                *name = (base == PKT_INT ? kSigned : kUnsigned)[w - 1];
            return DS_OK;
        }
        case PKT_BOOL:
            *name = "boolean";
            return DS_OK;
        case PKT_FLOAT:
            if (w != 8) return DSERR_FIELDTYPENOTXML;
            *name = "r8";
            return DS_OK;
        case PKT_BCD:
            *name = "fixed";
            return DS_OK;
        case PKT_DATE:
        case PKT_TIME:
            if (w != 4) return DSERR_FIELDTYPENOTXML;
            *name = base == PKT_DATE ? "date" : "time";
            return DS_OK;
        case PKT_TIMESTAMP:
            *name = "dateTime";
            return DS_OK;
        case PKT_STRING:
            *name = "string";
            return DS_OK;
        case PKT_UNICODE:
            *name = "string.uni";
            return DS_OK;
        case PKT_BYTES:
        case PKT_BYTES16:
            *name = "bin.hex";
            return DS_OK;
        case PKT_TABLE:
            *name = "nested";
            return DS_OK;
        default:
            return DSERR_FIELDTYPENOTXML;
    }
}

uint32_t TypeWordFor(std::string_view name, const TypeHints& hints) {
    // Varying types take the narrowest length prefix their width allows.
    auto prefix = [&](uint32_t overhead) {
        return hints.hasWidth && hints.width + overhead <= 254 ? 1u : 2u;
    };
    if (name == "i1") return Word(PKT_INT, 1);
    if (name == "i2") return Word(PKT_INT, 2);
    if (name == "i8") return Word(PKT_INT, 8);
    if (name == "int" || (!name.empty() && name[0] == 'i' && (name.size() == 1 || name[1] == '4')))
        return Word(PKT_INT, 4);
    if (name == "ui1") return Word(PKT_UINT, 1);
    if (name == "ui2") return Word(PKT_UINT, 2);
    if (name == "ui8") return Word(PKT_UINT, 8);
    if (name == "uint" || (!name.empty() && name[0] == 'u' && (name.size() < 3 || name[2] == '4')))
        return Word(PKT_UINT, 4);
    if (name == "IntArray") return Word(PKT_INT, 4, PKT_REPEATED);
    if (name == "UIntArray") return Word(PKT_UINT, 4, PKT_REPEATED);
    if (name == "boolean") return Word(PKT_BOOL, 2);
    if (name == "r8") return Word(PKT_FLOAT, 8);
    if (name == "r10") return Word(PKT_FLOAT, 10);
    if (!name.empty() && name[0] == 'f') {
        const uint32_t digits = hints.hasWidth && hints.width != 0 ? hints.width : kBcdMaxDigits;
        return Word(PKT_BCD, static_cast<uint32_t>(BcdBytes(std::min(digits, kBcdMaxDigits))));
    }
    if (name == "date") return Word(PKT_DATE, 4);
    if (name == "time") return Word(PKT_TIME, 4);
    if (name == "dateTime") return Word(PKT_TIMESTAMP, 8);
    if (name == "string") return Word(PKT_STRING, prefix(1), PKT_VARYING);
    if (name == "string.uni") return Word(PKT_UNICODE, prefix(2), PKT_VARYING);
    if (name == "bin.hex") return Word(PKT_BYTES, hints.blob ? 4 : prefix(2), PKT_VARYING);
    if (name == "nested")
        return Word(PKT_TABLE, hints.children & PKT_WIDTH_MASK,
                    PKT_COMPOSITE | PKT_COMPOSITE_TABLE);
    if (name == "struct") return Word(PKT_ADT, hints.children & PKT_WIDTH_MASK, PKT_COMPOSITE);
    return 0;
}

uint32_t KnownParameterType(std::string_view name) {
    struct Known {
        const char* name;
        uint32_t typeWord;
    };
    // The integer and list types are the ones the engine writes these
    // parameters with, so that its own packets come back unchanged.
    static const Known kKnown[] = {
        {"UNIQUE_KEY", Word(PKT_UINT, 2, PKT_REPEATED)},
        {"DEFAULT_ORDER", Word(PKT_UINT, 2, PKT_REPEATED)},
        {"PRIMARY_KEY", Word(PKT_UINT, 2, PKT_REPEATED)},
        {"CHANGE_LOG", Word(PKT_UINT, 4, PKT_REPEATED)},
        {"MD_FIELDLINKS", Word(PKT_INT, 2, PKT_REPEATED)},
        {"MD_SEMANTICS", Word(PKT_UINT, 4, PKT_REPEATED)},
        {"SERVER_COL", Word(PKT_STRING, 2, PKT_VARYING)},
        {"SUBTYPE", Word(PKT_STRING, 2, PKT_VARYING)},
        {"TABLENAME", Word(PKT_STRING, 2, PKT_VARYING)},
        {"TYPENAME", Word(PKT_STRING, 2, PKT_VARYING)},
        {"MINVALUE", Word(PKT_STRING, 2, PKT_VARYING)},
        {"MAXVALUE", Word(PKT_STRING, 2, PKT_VARYING)},
        {"DEFVALUE", Word(PKT_STRING, 2, PKT_VARYING)},
        {"DATASET_DELTA", Word(PKT_UINT, 4)},
        {"READONLY", Word(PKT_BOOL, 2)},
        {"DELTA", Word(PKT_BOOL, 2)},
        {"CALCULATED", Word(PKT_UINT, 2)},
        {"DECIMALS", Word(PKT_UINT, 2)},
        {"WIDTH", Word(PKT_UINT, 2)},
        {"LCID", Word(PKT_INT, 2)},
        {"UPDATEMODE", Word(PKT_INT, 2)},
        {"AUTOINCVALUE", Word(PKT_INT, 4)},
    };
    for (const Known& k : kKnown) {
        if (name == k.name) return k.typeWord;
    }
    return 0;
}

EngineResult WriteValueText(const ValueForm& form, const uint8_t* value, uint32_t length,
                            std::string& out) {
    ValueShape shape;
    if (EngineResult r = ClassifyType(form.typeWord, &shape)) return r;
    const uint32_t base = PacketBaseType(form.typeWord);
    const uint32_t w = shape.width;
    if (shape.kind == ValueKind::Repeated) {
        if ((base != PKT_INT && base != PKT_UINT) || length < 4) return DSERR_FIELDTYPENOTXML;
        const uint32_t count = static_cast<uint32_t>(LoadUnsigned(value, 4));
        if (static_cast<uint64_t>(count) * w + 4 > length) return DSERR_INVALIDPARAM;
        for (uint32_t i = 0; i < count; ++i) {
            if (i) out += ' ';
            const uint8_t* e = value + 4 + static_cast<size_t>(i) * w;
            char buf[32];
            const auto r = base == PKT_INT ? std::to_chars(buf, buf + 32, LoadSigned(e, w))
                                           : std::to_chars(buf, buf + 32, LoadUnsigned(e, w));
            out.append(buf, r.ptr);
        }
        return DS_OK;
    }
    const uint32_t size = shape.kind == ValueKind::Varying ? length : w;
    if (shape.kind != ValueKind::Varying && length < w && base != PKT_STRING &&
        base != PKT_UNICODE && base != PKT_BYTES && base != PKT_BYTES16)
        return DSERR_INVALIDPARAM;
    char buf[64];
    switch (base) {
        case PKT_INT:
        case PKT_UINT: {
            const auto r = base == PKT_INT ? std::to_chars(buf, buf + 64, LoadSigned(value, w))
                                           : std::to_chars(buf, buf + 64, LoadUnsigned(value, w));
            out.append(buf, r.ptr);
            return DS_OK;
        }
        case PKT_BOOL:
            out += LoadUnsigned(value, w) != 0 ? "TRUE" : "FALSE";
            return DS_OK;
        case PKT_FLOAT: {
            if (w != 8) return DSERR_FIELDTYPENOTXML;
            double d;
            std::memcpy(&d, value, 8);
            AppendDouble(out, d);
            return DS_OK;
        }
        case PKT_BCD:
            AppendBcd(out, value);
            return DS_OK;
        case PKT_DATE:
            AppendDate(out, LoadSigned(value, 4));
            return DS_OK;
        case PKT_TIME:
            AppendTime(out, LoadSigned(value, 4));
            return DS_OK;
        case PKT_TIMESTAMP: {
            double d;
            std::memcpy(&d, value, 8);
            // Times are kept to the millisecond; day numbers must stay 32-bit.
            if (!std::isfinite(d) || std::fabs(d) > 9.0e15) return DSERR_FIELDTYPENOTXML;
            const auto t = static_cast<int64_t>(std::llround(d));
            int64_t day = t / kMsPerDay;
            if (t % kMsPerDay < 0) --day;
            const int64_t tod = t - day * kMsPerDay;
            AppendDate(out, day);
            if (tod != 0) {
                out += 'T';
                AppendTime(out, tod);
            }
            return DS_OK;
        }
        case PKT_STRING:
            return AppendCodePageText(out, value, std::min(size, length)) ? DS_OK
                                                                          : DSERR_FIELDTYPENOTXML;
        case PKT_UNICODE: {
            uint32_t n = std::min(size, length) & ~1u;
            if (shape.kind == ValueKind::Fixed) {
                while (n >= 2 && value[n - 1] == 0 && value[n - 2] == 0) n -= 2;
            } else if (length % 2 != 0) {
                return DSERR_FIELDTYPENOTXML;
            }
            return AppendUtf16Text(out, value, n) ? DS_OK : DSERR_FIELDTYPENOTXML;
        }
        case PKT_BYTES:
        case PKT_BYTES16: {
            const uint32_t n = std::min(size, length);
            if (!form.text) {
                AppendHex(out, value, n);
                return DS_OK;
            }
            // Text stops at a NUL; anything after one could not come back.
            const size_t text = strnlen(reinterpret_cast<const char*>(value), n);
            for (size_t k = text; k < n; ++k) {
                if (value[k] != 0) return DSERR_FIELDTYPENOTXML;
            }
            return AppendCodePageText(out, value, text) ? DS_OK : DSERR_FIELDTYPENOTXML;
        }
        default:
            return DSERR_FIELDTYPENOTXML;
    }
}

EngineResult ReadValueText(const ValueForm& form, std::string_view raw, std::string& out,
                           bool* blank) {
    *blank = false;
    out.clear();
    ValueShape shape;
    if (EngineResult r = ClassifyType(form.typeWord, &shape)) return r;
    const uint32_t base = PacketBaseType(form.typeWord);
    const uint32_t w = shape.width;
    if (shape.kind == ValueKind::Repeated) {
        if (base != PKT_INT && base != PKT_UINT) return DSERR_FIELDTYPENOTXML;
        return ReadRepeated(base, w, ReadAsciiText(raw), out);
    }
    switch (base) {
        case PKT_INT:
        case PKT_UINT:
        case PKT_BOOL: {
            uint64_t bits = 0;
            const Parsed p = ReadInteger(ReadAsciiText(raw), w, base == PKT_INT, &bits);
            if (p == Parsed::Blank) {
                *blank = true;
                return DS_OK;
            }
            if (p == Parsed::OutOfRange && base != PKT_BOOL) return DSERR_OUTOFRANGE;
            if (base == PKT_BOOL) bits = bits != 0 || p == Parsed::OutOfRange;
            StoreLE(out, bits, w);
            return DS_OK;
        }
        case PKT_FLOAT: {
            if (w != 8) return DSERR_FIELDTYPENOTXML;
            double d = 0;
            const Parsed p = ReadDouble(ReadAsciiText(raw), &d);
            if (p == Parsed::Blank) {
                *blank = true;
                return DS_OK;
            }
            if (p == Parsed::OutOfRange) return DSERR_OUTOFRANGE;
            out.assign(reinterpret_cast<const char*>(&d), 8);
            return DS_OK;
        }
        case PKT_BCD:
            return ReadBcd(form, ReadAsciiText(raw), out, blank);
        case PKT_DATE:
        case PKT_TIME:
        case PKT_TIMESTAMP: {
            const std::string s = ReadAsciiText(raw);
            size_t i = 0;
            while (i < s.size() && IsBlankChar(s[i])) ++i;
            int64_t day = 0;
            int64_t ms = 0;
            if (base == PKT_TIME) {
                ms = ParseTime(s, i);
            } else {
                if (!ParseDate(s, &i, &day)) return DSERR_OUTOFRANGE;
                if (base == PKT_TIMESTAMP && i < s.size() && s[i] == 'T') ms = ParseTime(s, i + 1);
            }
            if (base == PKT_TIMESTAMP) {
                const double d = static_cast<double>(day) * kMsPerDay + static_cast<double>(ms);
                out.assign(reinterpret_cast<const char*>(&d), 8);
                return DS_OK;
            }
            const int64_t v = base == PKT_DATE ? day : ms;
            if (v < INT32_MIN || v > INT32_MAX) return DSERR_OUTOFRANGE;
            StoreLE(out, static_cast<uint64_t>(v), 4);
            return DS_OK;
        }
        case PKT_STRING:
            out = ReadCodePageText(raw, form.encoding);
            // An empty text is the empty string: a single terminating zero.
            if (out.empty() && shape.kind == ValueKind::Varying) out.assign(1, '\0');
            FitWidth(out, shape);
            return DS_OK;
        case PKT_UNICODE:
            out = ReadUtf16Text(raw, form.encoding);
            if (shape.kind == ValueKind::Varying && out.size() > PrefixLimit(w))
                out.resize(PrefixLimit(w) & ~1u);
            FitWidth(out, shape);
            return DS_OK;
        case PKT_BYTES:
        case PKT_BYTES16:
            // Hexadecimal unless the column holds text; a text that is not
            // hexadecimal is taken as text all the same.
            if (form.text || !ReadHex(raw, out)) out = ReadCodePageText(raw, form.encoding);
            FitWidth(out, shape);
            return DS_OK;
        default:
            return DSERR_FIELDTYPENOTXML;
    }
}

EngineResult ReadParamText(const ValueForm& form, std::string_view raw, std::string& out,
                           bool* blank) {
    if (EngineResult r = ReadValueText(form, raw, out, blank)) return r;
    if (PacketBaseType(form.typeWord) == PKT_STRING && (form.typeWord & PKT_VARYING) &&
        !(out.size() == 1 && out[0] == '\0')) {
        ValueShape shape;
        ClassifyType(form.typeWord, &shape);
        if (out.size() >= PrefixLimit(shape.width)) out.resize(PrefixLimit(shape.width) - 1);
        out += '\0';
    }
    return DS_OK;
}

}  // namespace pelmora
