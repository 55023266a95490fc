#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "store/bcd.h"
#include "store/value_compare.h"

namespace pelmora {
namespace {

std::vector<uint8_t> Rescaled(const std::vector<uint8_t>& src, uint32_t p, uint32_t d,
                              EngineResult expected = DS_OK) {
    std::vector<uint8_t> dst(kBcdMaxBytes, 0xCC);
    EXPECT_EQ(RescaleBcd(src.data(), src.size(), dst.data(), dst.size(), p, d), expected);
    dst.resize(BcdBytes(p));
    return dst;
}

// The digits of a packed decimal as text.
std::string Digits(const uint8_t* v) {
    std::string s;
    for (uint32_t i = 0; i < v[0]; ++i) {
        const uint8_t b = v[2 + i / 2];
        s.push_back(static_cast<char>('0' + ((i % 2 == 0) ? b >> 4 : b & 0x0F)));
    }
    return s;
}

TEST(BcdRescaleTest, Examples) {
    const std::vector<uint8_t> v12345 = {5, 2, 0x12, 0x34, 0x50};                       // 123.45
    EXPECT_EQ(Rescaled(v12345, 4, 1), (std::vector<uint8_t>{4, 1, 0x12, 0x34}));        // 123.4
    EXPECT_EQ(Rescaled(v12345, 6, 3), (std::vector<uint8_t>{6, 3, 0x12, 0x34, 0x50}));  // 123.450
    EXPECT_EQ(Rescaled(v12345, 5, 2), v12345);
    EXPECT_EQ(Rescaled(v12345, 10, 0), (std::vector<uint8_t>{10, 0, 0x00, 0x00, 0x00, 0x01, 0x23}));

    const std::vector<uint8_t> v12345_1 = {5, 1, 0x12, 0x34, 0x50};  // 1234.5
    std::vector<uint8_t> dst(8, 0xCC);
    EXPECT_EQ(RescaleBcd(v12345_1.data(), v12345_1.size(), dst.data(), dst.size(), 4, 2),
              DSERR_OUTOFRANGE);
    EXPECT_EQ(dst, std::vector<uint8_t>(8, 0xCC));  // untouched on failure

    // Leading zeros are not significant: 0012.3 fits precision 3, places 1.
    const std::vector<uint8_t> small = {5, 1, 0x00, 0x12, 0x30};
    EXPECT_EQ(Rescaled(small, 3, 1), (std::vector<uint8_t>{3, 1, 0x12, 0x30}));
    // The sign travels with the value.
    const std::vector<uint8_t> neg = {3, 0x80 | 1, 0x12, 0x30};  // -12.3
    EXPECT_EQ(Rescaled(neg, 4, 2), (std::vector<uint8_t>{4, 0x80 | 2, 0x12, 0x30}));
}

TEST(BcdRescaleTest, RefusesImpossibleOrTruncatedValues) {
    const std::vector<uint8_t> v = {5, 2, 0x12, 0x34, 0x50};
    std::vector<uint8_t> dst(kBcdMaxBytes + 4);
    EXPECT_EQ(RescaleBcd(v.data(), v.size(), dst.data(), dst.size(), 65, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(RescaleBcd(v.data(), v.size(), dst.data(), dst.size(), 4, 5), DSERR_INVALIDPARAM);
    EXPECT_EQ(RescaleBcd(v.data(), v.size(), dst.data(), 3, 4, 1), DSERR_INVALIDPARAM);
    // The value claims 20 digits but only 5 bytes are there.
    const std::vector<uint8_t> lying = {20, 0, 0x12, 0x34, 0x50};
    EXPECT_EQ(RescaleBcd(lying.data(), lying.size(), dst.data(), dst.size(), 5, 0),
              DSERR_OUTOFRANGE);
    // Precision 64 to 64 with different places reaches both ends of the digit positions.
    std::vector<uint8_t> wide(34, 0);
    wide[0] = 64;
    wide[33] = 0x07;
    std::vector<uint8_t> out(34);
    ASSERT_EQ(RescaleBcd(wide.data(), wide.size(), out.data(), out.size(), 64, 1), DS_OK);
    EXPECT_EQ(out[33], 0x70);
    EXPECT_EQ(out[1], 1);
}

TEST(BcdFloatTest, ToFloat) {
    long double f = 0;
    const uint8_t v[] = {5, 0x80 | 2, 0x12, 0x34, 0x50};
    ASSERT_EQ(BcdToFloat(v, sizeof v, f), 0u);
    EXPECT_NEAR(static_cast<double>(f), -123.45, 1e-12);

    const uint8_t zero[] = {0, 0};
    ASSERT_EQ(BcdToFloat(zero, sizeof zero, f), 0u);
    EXPECT_EQ(f, 0.0L);

    const uint8_t special[] = {5, 0x40, 0x12, 0x34, 0x50};
    const uint8_t placesTooBig[] = {2, 3, 0x12};
    const uint8_t truncated[] = {9, 0, 0x12};
    for (const auto& [bytes, size] :
         {std::pair{special, sizeof special}, std::pair{placesTooBig, sizeof placesTooBig},
          std::pair{truncated, sizeof truncated}}) {
        f = 1;
        EXPECT_EQ(BcdToFloat(bytes, size, f), 1u);
        uint8_t ones[sizeof(long double)];
        std::memset(ones, 0xFF, sizeof ones);
        EXPECT_EQ(std::memcmp(&f, ones, sizeof f), 0);
    }
}

TEST(BcdFloatTest, FromFloat) {
    uint8_t dst[kBcdMaxBytes];
    ASSERT_EQ(FloatToBcd(-123.45L, 5, 2, dst), 0u);
    const uint8_t expected[] = {5, 0x80 | 2, 0x12, 0x34, 0x50};
    EXPECT_EQ(std::memcmp(dst, expected, sizeof expected), 0);

    ASSERT_EQ(FloatToBcd(2.5L, 3, 0, dst), 0u);  // ties to even
    EXPECT_EQ(dst[3], 0x20);
    ASSERT_EQ(FloatToBcd(3.5L, 3, 0, dst), 0u);
    EXPECT_EQ(dst[3], 0x40);

    ASSERT_EQ(FloatToBcd(1.0L, 0, 0, dst), 0u);  // defaults: 32 digits, 15 places
    EXPECT_EQ(dst[0], 32);
    EXPECT_EQ(dst[1], 15);
    long double back = 0;
    ASSERT_EQ(BcdToFloat(dst, BcdBytes(32), back), 0u);
    EXPECT_EQ(back, 1.0L);

    EXPECT_EQ(FloatToBcd(1000.0L, 3, 0, dst), 1u);  // needs 4 digits
    EXPECT_NE(dst[1] & kBcdSpecial, 0);
    EXPECT_EQ(FloatToBcd(INFINITY, 5, 0, dst), 1u);
    EXPECT_NE(dst[1] & kBcdSpecial, 0);
    EXPECT_EQ(FloatToBcd(NAN, 5, 0, dst), 1u);

    // Only 18 significant digits are kept; later positions are zero.
    // 2^70 = 1180591620717411303424 is exact in an extended float.
    ASSERT_EQ(FloatToBcd(std::ldexp(1.0L, 70), 30, 0, dst), 0u);
    EXPECT_EQ(Digits(dst),
              "00000000"
              "118059162071741130"
              "0000");
}

TEST(BcdPacketFormTest, FieldToPacketNeverReadsPastTheField) {
    // A 5-byte field followed by bytes that must not leak into the packet.
    const uint8_t memory[8] = {5, 2, 0x12, 0x34, 0x50, 0xAB, 0xCD, 0xEF};
    uint8_t packet[kBcdPacketSize + 2];
    std::memset(packet, 0x77, sizeof packet);
    BcdFieldToPacket(memory, 5, packet);
    EXPECT_EQ(std::memcmp(packet, memory, 5), 0);
    for (size_t i = 5; i < kBcdPacketSize; ++i) EXPECT_EQ(packet[i], 0) << i;
    EXPECT_EQ(packet[kBcdPacketSize], 0x77);  // nothing past the packet form

    // A 34-byte field gives only its first 18 bytes.
    uint8_t wide[34];
    for (size_t i = 0; i < sizeof wide; ++i) wide[i] = static_cast<uint8_t>(i + 1);
    std::memset(packet, 0x77, sizeof packet);
    BcdFieldToPacket(wide, sizeof wide, packet);
    EXPECT_EQ(std::memcmp(packet, wide, kBcdPacketSize), 0);
    EXPECT_EQ(packet[kBcdPacketSize], 0x77);
}

TEST(BcdPacketFormTest, PacketToFieldNeverWritesPastTheField) {
    uint8_t packet[kBcdPacketSize];
    for (size_t i = 0; i < sizeof packet; ++i) packet[i] = static_cast<uint8_t>(0x10 + i);
    uint8_t memory[8];
    std::memset(memory, 0xEE, sizeof memory);
    BcdPacketToField(packet, memory, 5);
    EXPECT_EQ(std::memcmp(memory, packet, 5), 0);
    for (size_t i = 5; i < sizeof memory; ++i) EXPECT_EQ(memory[i], 0xEE) << i;

    uint8_t wide[36];
    std::memset(wide, 0xEE, sizeof wide);
    BcdPacketToField(packet, wide, 34);
    EXPECT_EQ(std::memcmp(wide, packet, kBcdPacketSize), 0);
    for (size_t i = kBcdPacketSize; i < 34; ++i) EXPECT_EQ(wide[i], 0) << i;
    EXPECT_EQ(wide[34], 0xEE);
}

TEST(CompareValuesTest, BlanksAndTypes) {
    const int32_t one = 1;
    const int32_t two = 2;
    EXPECT_EQ(CompareValues(FLD_INT32, nullptr, nullptr, 4, nullptr), 0);
    EXPECT_LT(CompareValues(FLD_INT32, nullptr, &one, 4, nullptr), 0);
    EXPECT_GT(CompareValues(FLD_INT32, &one, nullptr, 4, nullptr), 0);
    EXPECT_LT(CompareValues(FLD_INT32, &one, &two, 4, nullptr), 0);
    // Extreme values must not wrap around into "equal" or the wrong sign.
    const int32_t lo = INT32_MIN;
    const int32_t hi = INT32_MAX;
    EXPECT_LT(CompareValues(FLD_INT32, &lo, &hi, 4, nullptr), 0);
    const uint32_t ubig = 0xFFFFFFFF;
    const uint32_t usmall = 0;
    EXPECT_GT(CompareValues(FLD_UINT32, &ubig, &usmall, 4, nullptr), 0);
    const uint8_t i8a[2] = {0xFF, 0x55};  // -1, second byte ignored
    const uint8_t i8b[2] = {0x01, 0x00};
    EXPECT_LT(CompareValues(FLD_INT8, i8a, i8b, 2, nullptr), 0);
    EXPECT_GT(CompareValues(FLD_UINT8, i8a, i8b, 2, nullptr), 0);

    const double x = 1.5;
    const double y = 2.5;
    EXPECT_EQ(CompareValues(FLD_FLOAT, &x, &x, 8, nullptr), 0);
    EXPECT_NE(CompareValues(FLD_FLOAT, &x, &y, 8, nullptr), 0);

    // Packed decimals compare only their own bytes: (5 + 1) / 2 + 2 = 5.
    const uint8_t b1[] = {5, 2, 0x12, 0x34, 0x50, 0x01};
    const uint8_t b2[] = {5, 2, 0x12, 0x34, 0x50, 0x02};
    EXPECT_EQ(CompareValues(FLD_BCD, b1, b2, 5, nullptr), 0);
    const uint8_t b3[] = {5, 2, 0x12, 0x34, 0x51, 0x01};
    EXPECT_NE(CompareValues(FLD_BCD, b1, b3, 5, nullptr), 0);

    EXPECT_EQ(CompareValues(FLD_STRING, "abc", "abc", 10, nullptr), 0);
    EXPECT_NE(CompareValues(FLD_STRING, "abc", "ABC", 10, nullptr), 0);
    EXPECT_EQ(CompareValues(FLD_BYTES, "abcX", "abcY", 3, nullptr), 0);
    EXPECT_NE(CompareValues(FLD_BYTES, "abcX", "abcY", 4, nullptr), 0);
}

}  // namespace
}  // namespace pelmora
