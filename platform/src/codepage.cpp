// Code page 932 conversions: the one helper through which every conversion
// between the system's 8-bit text and Unicode goes.
//
// The mappings come from ICU's converter named explicitly "windows-31j" (plain
// "Shift_JIS" names a different table in ICU), opened with fallbacks on so that
// U+301C, U+2212 and U+00A5 are stored as Windows stores them (81 60, 81 7C,
// 5C). Two corrections to that converter are made here:
//  - ICU's table (ibm-943_P15A-2003) swaps the control bytes 1A, 1C and 7F with
//    U+001C, U+007F and U+001A; Windows maps the whole range 00-7F to
//    U+0000-U+007F unchanged, so ASCII never goes through ICU.
//  - A few characters Windows maps by "best fit" that ICU leaves unmapped
//    (U+00A2, U+00A3, U+00AC) are mapped to their full-width forms first.
//
// Decoding goes through a table built once from the converter: it is used for
// every collation comparison, so it must be fast and must not allocate. The
// byte-sequence rules are ICU's: a lead byte followed by a byte in the trail
// range (40-7E, 80-FC) forms one character (U+FFFD when unassigned); a lead
// byte followed by anything else, or at the end, is one U+FFFD and the
// following byte is decoded on its own.
#include "platform/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <cstring>
#include <memory>

#include "codepage_internal.h"

namespace platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr int kLeadCount = (0x9F - 0x81 + 1) + (0xFC - 0xE0 + 1);  // 60

constexpr bool IsLead(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}
constexpr bool IsTrail(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// Byte classes for the decoding loop: bit 0 lead byte, bit 1 trail byte.
struct ByteClasses {
    unsigned char of[256];
    constexpr ByteClasses() : of() {
        for (int b = 0; b < 256; ++b)
            of[b] = static_cast<unsigned char>((IsLead(static_cast<unsigned char>(b)) ? 1 : 0) |
                                               (IsTrail(static_cast<unsigned char>(b)) ? 2 : 0));
    }
};
constexpr ByteClasses kByteClasses;

int LeadIndex(unsigned char lead) {
    return lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + (0x9F - 0x81 + 1);
}

// Every undecodable sequence becomes one U+FFFD (ICU's own substitution would
// write U+001A for single bytes of this converter).
void ToUnicodeReplacement(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                          UConverterCallbackReason reason, UErrorCode* error) {
    if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR) return;
    *error = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, reinterpret_cast<const UChar*>(&kReplacement), 1, 0, error);
}

// The converter with the settings every conversion uses; null when ICU has
// no data for it.
UConverter* OpenCp932Converter() {
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open("windows-31j", &error);
    if (U_FAILURE(error)) return nullptr;
    ucnv_setFallback(converter, true);
    ucnv_setSubstChars(converter, "?", 1, &error);
    ucnv_setToUCallBack(converter, ToUnicodeReplacement, nullptr, nullptr, nullptr, &error);
    if (U_FAILURE(error)) {
        ucnv_close(converter);
        return nullptr;
    }
    return converter;
}

struct ConverterDeleter {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterDeleter>;

// A converter object serves one thread at a time.
UConverter* ThreadConverter() {
    thread_local ConverterPtr converter(OpenCp932Converter());
    return converter.get();
}

struct DecodeTables {
    char16_t single[256];            // bytes that are not lead bytes
    char16_t dbcs[kLeadCount][256];  // lead index x trail byte
};

const DecodeTables& Tables() {
    static const DecodeTables* tables = [] {
        auto* t = new DecodeTables;
        ConverterPtr converter(OpenCp932Converter());
        auto decodeOne = [&](const char* bytes, int32_t length) -> char16_t {
            if (!converter) return kReplacement;
            UChar out[4];
            UErrorCode error = U_ZERO_ERROR;
            int32_t n = ucnv_toUChars(converter.get(), out, 4, bytes, length, &error);
            return (U_SUCCESS(error) && n == 1) ? out[0] : kReplacement;
        };
        for (int b = 0; b < 256; ++b) {
            char byte = static_cast<char>(b);
            t->single[b] = b < 0x80                                ? static_cast<char16_t>(b)
                           : IsLead(static_cast<unsigned char>(b)) ? kReplacement
                                                                   : decodeOne(&byte, 1);
        }
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!IsLead(static_cast<unsigned char>(lead))) continue;
            char16_t* row = t->dbcs[LeadIndex(static_cast<unsigned char>(lead))];
            for (int trail = 0; trail < 256; ++trail) {
                char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                row[trail] =
                    IsTrail(static_cast<unsigned char>(trail)) ? decodeOne(pair, 2) : kReplacement;
            }
        }
        return t;
    }();
    return *tables;
}

// Characters Windows stores by best fit where ICU's fallbacks do not.
char16_t PreMap(char16_t unit) {
    switch (unit) {
        case 0x00A5:
            return 0x005C;  // YEN SIGN -> 5C
        case 0x301C:
            return 0xFF5E;  // WAVE DASH -> 81 60
        case 0x2212:
            return 0xFF0D;  // MINUS SIGN -> 81 7C
        case 0x00A2:
            return 0xFFE0;  // CENT SIGN -> 81 91
        case 0x00A3:
            return 0xFFE1;  // POUND SIGN -> 81 92
        case 0x00AC:
            return 0xFFE2;  // NOT SIGN -> 81 CA
        default:
            return unit;
    }
}

std::string EncodeUtf16(const char16_t* text, size_t length) {
    std::string out;
    out.reserve(length * 2);
    std::u16string run;
    auto flushRun = [&] {
        if (run.empty()) return;
        UConverter* converter = ThreadConverter();
        if (!converter) {
            // No converter data: every non-ASCII character is unmappable.
            for (size_t i = 0; i < run.size(); ++i)
                if (!(U16_IS_LEAD(run[i]) && i + 1 < run.size() && U16_IS_TRAIL(run[i + 1])))
                    out += '?';
                else
                    ++i;
            run.clear();
            return;
        }
        size_t start = out.size();
        int32_t capacity = static_cast<int32_t>(run.size() * 2 + 1);
        out.resize(start + capacity);
        UErrorCode error = U_ZERO_ERROR;
        int32_t n = ucnv_fromUChars(converter, out.data() + start, capacity, run.data(),
                                    static_cast<int32_t>(run.size()), &error);
        if (error == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(start + n + 1);
            error = U_ZERO_ERROR;
            n = ucnv_fromUChars(converter, out.data() + start, n + 1, run.data(),
                                static_cast<int32_t>(run.size()), &error);
        }
        out.resize(start + (U_SUCCESS(error) ? n : 0));
        run.clear();
    };
    for (size_t i = 0; i < length; ++i) {
        char16_t unit = PreMap(text[i]);
        if (unit < 0x80) {
            flushRun();
            out += static_cast<char>(unit);
        } else {
            run += unit;
        }
    }
    flushRun();
    return out;
}

bool IsAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

}  // namespace

namespace detail {

size_t DecodeCp932(const char* bytes, size_t length, char16_t* out) {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes);
    size_t i = 0, n = 0;
    // ASCII needs no table.
    while (i < length && in[i] < 0x80) out[n++] = in[i++];
    if (i == length) return n;
    const DecodeTables& tables = Tables();
    while (i < length) {
        unsigned char byte = in[i];
        if (!(kByteClasses.of[byte] & 1)) {
            out[n++] = tables.single[byte];
            ++i;
        } else if (i + 1 < length && (kByteClasses.of[in[i + 1]] & 2)) {
            out[n++] = tables.dbcs[LeadIndex(byte)][in[i + 1]];
            i += 2;
        } else {
            out[n++] = kReplacement;
            ++i;
        }
    }
    return n;
}

}  // namespace detail

std::u16string Cp932ToUtf16(std::string_view cp932) {
    std::u16string out(cp932.size(), u'\0');
    out.resize(detail::DecodeCp932(cp932.data(), cp932.size(), out.data()));
    return out;
}

std::string Utf16ToCp932(std::u16string_view utf16) {
    return EncodeUtf16(utf16.data(), utf16.size());
}

std::string Cp932ToUtf8(std::string_view cp932) {
    if (IsAscii(cp932)) return std::string(cp932);
    std::u16string utf16 = Cp932ToUtf16(cp932);
    // Every code unit here is a BMP character: at most three bytes each.
    std::string out(utf16.size() * 3, '\0');
    int32_t n = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, utf16.data(),
                       static_cast<int32_t>(utf16.size()), kReplacement, nullptr, &error);
    out.resize(U_SUCCESS(error) ? n : 0);
    return out;
}

std::string Utf8ToCp932(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    // A UTF-8 text never has more UTF-16 code units than bytes.
    std::u16string utf16(utf8.size(), u'\0');
    int32_t n = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strFromUTF8WithSub(utf16.data(), static_cast<int32_t>(utf16.size()), &n, utf8.data(),
                         static_cast<int32_t>(utf8.size()), kReplacement, nullptr, &error);
    utf16.resize(U_SUCCESS(error) ? n : 0);
    return EncodeUtf16(utf16.data(), utf16.size());
}

bool IsDBCSLeadByte(unsigned char byte) {
    return IsLead(byte);
}

}  // namespace platform
