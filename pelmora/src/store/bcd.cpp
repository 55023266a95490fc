#include "store/bcd.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace pelmora {

namespace {

uint8_t DigitAt(const uint8_t* digits, uint32_t index) {
    const uint8_t b = digits[index / 2];
    return (index % 2 == 0) ? static_cast<uint8_t>(b >> 4) : static_cast<uint8_t>(b & 0x0F);
}

// Packs count digits into bytes 2.. of dst, the digit bytes zeroed first.
void PackDigits(const uint8_t* digits, uint32_t count, uint8_t* dst) {
    std::memset(dst + 2, 0, (count + 1) / 2);
    for (uint32_t i = 0; i < count; ++i) {
        dst[2 + i / 2] |= static_cast<uint8_t>((i % 2 == 0) ? digits[i] << 4 : digits[i]);
    }
}

}  // namespace

EngineResult RescaleBcd(const uint8_t* src, size_t srcBytes, uint8_t* dst, size_t dstBytes,
                        uint32_t precision, uint32_t places) {
    if (precision > kBcdMaxDigits || places > precision || places > kBcdPlacesMask ||
        dstBytes < BcdBytes(precision)) {
        return DSERR_INVALIDPARAM;
    }
    if (srcBytes < 2) return DSERR_OUTOFRANGE;
    const uint32_t srcPrecision = src[0];
    const uint32_t srcPlaces = src[1] & kBcdPlacesMask;
    if (srcPrecision > kBcdMaxDigits || srcBytes < BcdBytes(srcPrecision)) return DSERR_OUTOFRANGE;

    if (srcPrecision == precision && srcPlaces == places) {
        std::memcpy(dst, src, BcdBytes(precision));
        return DS_OK;
    }

    // Spread the source digits so that the last one sits at position 63.
    uint8_t spread[kBcdMaxDigits] = {};
    for (uint32_t i = 0; i < srcPrecision; ++i) {
        spread[kBcdMaxDigits - srcPrecision + i] = DigitAt(src + 2, i);
    }
    // First destination position; positions outside 0..63 count as zero.
    const int start = static_cast<int>(kBcdMaxDigits) - static_cast<int>(precision) +
                      static_cast<int>(places) - static_cast<int>(srcPlaces);
    for (int p = 0; p < start && p < static_cast<int>(kBcdMaxDigits); ++p) {
        if (spread[p] != 0) return DSERR_OUTOFRANGE;
    }
    uint8_t digits[kBcdMaxDigits] = {};
    for (uint32_t i = 0; i < precision; ++i) {
        const int p = start + static_cast<int>(i);
        digits[i] = (p >= 0 && p < static_cast<int>(kBcdMaxDigits)) ? spread[p] : 0;
    }
    const uint8_t flags = src[1] & (kBcdSign | kBcdSpecial);
    dst[0] = static_cast<uint8_t>(precision);
    dst[1] = static_cast<uint8_t>(places | flags);
    PackDigits(digits, precision, dst);
    return DS_OK;
}

uint32_t BcdToFloat(const uint8_t* src, size_t srcBytes, long double& out) {
    if (srcBytes < 2) {
        std::memset(&out, 0xFF, sizeof out);
        return 1;
    }
    const uint32_t precision = src[0];
    const uint32_t places = src[1] & kBcdPlacesMask;
    if ((src[1] & kBcdSpecial) != 0 || precision > kBcdMaxDigits || places > precision ||
        srcBytes < BcdBytes(precision)) {
        std::memset(&out, 0xFF, sizeof out);
        return 1;
    }
    if (precision == 0) {
        out = 0.0L;
        return 0;
    }
    // Whole digits accumulate exactly in 64 bits up to 18 digits; the rest
    // continue in extended precision.
    uint64_t exact = 0;
    long double value = 0.0L;
    for (uint32_t i = 0; i < precision; ++i) {
        const uint8_t d = DigitAt(src + 2, i);
        if (i < 18) {
            exact = exact * 10 + d;
            value = static_cast<long double>(exact);
        } else {
            value = value * 10.0L + d;
        }
    }
    if ((src[1] & kBcdSign) != 0) value = -value;
    out = value / std::pow(10.0L, static_cast<long double>(places));
    return 0;
}

uint32_t FloatToBcd(long double value, uint32_t precision, uint32_t places, uint8_t* dst) {
    if (precision == 0 && places == 0) {
        precision = 32;
        places = 15;
    }
    precision = std::min(precision, kBcdMaxDigits);
    places = std::min({places, precision, static_cast<uint32_t>(kBcdPlacesMask)});
    const uint8_t sign = std::signbit(value) ? kBcdSign : 0;
    dst[0] = static_cast<uint8_t>(precision);
    dst[1] = static_cast<uint8_t>(places | sign);
    std::memset(dst + 2, 0, (precision + 1) / 2);
    if (std::isinf(value) || std::isnan(value)) {
        dst[1] |= kBcdSpecial;
        return 1;
    }
    if (value == 0.0L) return 0;

    const long double scaled =
        std::nearbyint(std::fabs(value) * std::pow(10.0L, static_cast<long double>(places)));
    if (scaled >= std::pow(10.0L, static_cast<long double>(precision))) {
        dst[1] |= kBcdSpecial;
        return 1;
    }
    if (scaled == 0.0L) return 0;
    // The exact decimal digits of the integer; below 10^64, so this fits.
    char text[80];
    const int n = std::snprintf(text, sizeof text, "%.0Lf", scaled);
    if (n <= 0 || static_cast<uint32_t>(n) > precision) {
        dst[1] |= kBcdSpecial;
        return 1;
    }
    uint8_t digits[kBcdMaxDigits] = {};
    const uint32_t lead = precision - static_cast<uint32_t>(n);
    for (int i = 0; i < n && i < 18; ++i) digits[lead + i] = static_cast<uint8_t>(text[i] - '0');
    PackDigits(digits, precision, dst);
    return 0;
}

long double TruncatedDecimal(double value, uint32_t places) {
    char text[400];  // the longest fixed form of a double is about 330 characters
    const auto [end, error] =
        std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed);
    if (error != std::errc()) {
        const long double scale = std::pow(10.0L, static_cast<long double>(places));
        return std::trunc(static_cast<long double>(value) * scale) / scale;
    }
    char* stop = end;
    if (char* point = std::find(text, end, '.'); point != end) {
        stop = places == 0 ? point : std::min(end, point + 1 + places);
    }
    // from_chars reads "." whatever the process locale says.
    long double cut = 0;
    std::from_chars(text, stop, cut, std::chars_format::fixed);
    return cut;
}

void BcdFieldToPacket(const uint8_t* field, size_t fieldWidth, uint8_t* packet) {
    const size_t n = std::min(fieldWidth, kBcdPacketSize);
    std::memcpy(packet, field, n);
    std::memset(packet + n, 0, kBcdPacketSize - n);
}

void BcdPacketToField(const uint8_t* packet, uint8_t* field, size_t fieldWidth) {
    const size_t n = std::min(fieldWidth, kBcdPacketSize);
    std::memcpy(field, packet, n);
    if (fieldWidth > n) std::memset(field + n, 0, fieldWidth - n);
}

}  // namespace pelmora
