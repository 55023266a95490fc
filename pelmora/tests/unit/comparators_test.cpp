#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "index/comparators.h"
#include "platform/collation.h"

namespace pelmora {
namespace {

FieldDesc Key(uint32_t type, uint32_t length, uint32_t units1 = 1) {
    FieldDesc f{};
    f.type = type;
    f.length = length;
    f.units1 = units1;
    return f;
}

std::unique_ptr<FLDObj> Make(const FieldDesc& f, bool descending = false,
                             bool caseInsensitive = false,
                             const platform::Collation* collation = nullptr) {
    std::unique_ptr<FLDObj> c;
    EXPECT_EQ(MakeComparator(f, descending, caseInsensitive, collation, c), DS_OK);
    return c;
}

TEST(ComparatorTest, BlanksSortFirstAscendingAndLastDescending) {
    const int32_t zero = 0;
    const auto asc = Make(Key(FLD_INT32, 4));
    const auto desc = Make(Key(FLD_INT32, 4), true);
    EXPECT_EQ(asc->Compare(nullptr, &zero), -1);
    EXPECT_EQ(asc->Compare(&zero, nullptr), 1);
    EXPECT_EQ(asc->Compare(nullptr, nullptr), 0);
    EXPECT_EQ(desc->Compare(nullptr, &zero), 1);
    EXPECT_EQ(desc->Compare(nullptr, nullptr), 0);
    const int32_t minusOne = -1;
    EXPECT_EQ(asc->Compare(&minusOne, &zero), -1);
    EXPECT_EQ(desc->Compare(&minusOne, &zero), 1);
}

template <typename T>
int CompareAs(const FLDObj& c, T a, T b) {
    return c.Compare(&a, &b);
}

TEST(ComparatorTest, IntegerOrdering) {
    const auto i64 = Make(Key(FLD_INT64, 8));
    EXPECT_EQ(CompareAs<int64_t>(*i64, 1, 2), -1);
    EXPECT_EQ(CompareAs<int64_t>(*i64, -1, 0), -1);
    EXPECT_EQ(CompareAs<int64_t>(*i64, 0x100000000LL, 0xFFFFFFFFLL), 1);  // low half alone misleads
    EXPECT_EQ(CompareAs<int64_t>(*i64, INT64_MIN, INT64_MAX), -1);
    const auto u64 = Make(Key(FLD_UINT64, 8));
    EXPECT_EQ(CompareAs<uint64_t>(*u64, 0xFFFFFFFF00000000ULL, 1), 1);

    const auto i16 = Make(Key(FLD_INT16, 2));
    EXPECT_EQ(CompareAs<int16_t>(*i16, -3, 2), -1);

    // 8-bit types look at the first byte only.
    const uint8_t a[2] = {0xFF, 0x00};
    const uint8_t b[2] = {0x01, 0x99};
    EXPECT_EQ(Make(Key(FLD_INT8, 2))->Compare(a, b), -1);
    EXPECT_EQ(Make(Key(FLD_UINT8, 2))->Compare(a, b), 1);
    const uint8_t c[2] = {0x01, 0x00};
    EXPECT_EQ(Make(Key(FLD_BOOL8, 2))->Compare(b, c), 0);
    uint8_t copy[2] = {0xAA, 0xAA};
    Make(Key(FLD_INT8, 2))->CopyValue(copy, b);
    EXPECT_EQ(copy[0], 0x01);
    EXPECT_EQ(copy[1], 0xAA);
}

TEST(ComparatorTest, PackedDecimals) {
    const auto bcd = Make(Key(FLD_BCD, 4, 3));
    const uint8_t minus5[] = {3, 0x80, 0x00, 0x50};
    const uint8_t minus7[] = {3, 0x80, 0x00, 0x70};
    const uint8_t plus3[] = {3, 0x00, 0x00, 0x30};
    const uint8_t plus12[] = {3, 0x00, 0x01, 0x20};
    EXPECT_EQ(bcd->Compare(minus5, plus3), -1);
    EXPECT_EQ(bcd->Compare(plus3, minus5), 1);
    EXPECT_EQ(bcd->Compare(minus7, minus5), -1);
    EXPECT_EQ(bcd->Compare(plus3, plus12), -1);
    EXPECT_EQ(bcd->Compare(plus3, plus3), 0);
}

TEST(ComparatorTest, BlobsOnlyTellBlankFromValue) {
    const uint32_t a = 1;
    const uint32_t b = 2;
    FLDBlob blob(FLD_BLOB, 4, false);
    EXPECT_EQ(blob.Compare(&a, &b), 0);
    EXPECT_EQ(blob.Compare(nullptr, &b), -1);
}

TEST(ComparatorTest, VaryingBytesShorterFirst) {
    const auto v = Make(Key(FLD_VARBYTES, 8, 6));
    const uint8_t ab[8] = {2, 0, 'a', 'b'};
    const uint8_t abc[8] = {3, 0, 'a', 'b', 'c'};
    const uint8_t b[8] = {1, 0, 'b'};
    EXPECT_EQ(v->Compare(ab, abc), -1);
    EXPECT_EQ(v->Compare(abc, b), -1);
    // A corrupt count cannot make it read past the field.
    const uint8_t huge[8] = {0xFF, 0xFF, 'a', 'b', 'c', 'd', 'e', 'f'};
    EXPECT_EQ(v->Compare(huge, abc), 1);
    uint8_t copy[8] = {};
    v->CopyValue(copy, huge);
    EXPECT_EQ(std::memcmp(copy, huge, 8), 0);
}

TEST(ComparatorTest, StringsWithoutCollation) {
    const auto s = Make(Key(FLD_STRING, 6, 5));
    const auto ci = Make(Key(FLD_STRING, 6, 5), false, true);
    EXPECT_EQ(s->Compare("abc", "abd"), -1);
    EXPECT_EQ(s->Compare("ab", "abc"), -1);
    EXPECT_NE(s->Compare("ABC", "abc"), 0);
    EXPECT_EQ(ci->Compare("ABC", "abc"), 0);
    char copy[6];
    std::memset(copy, 'Z', sizeof copy);
    s->CopyValue(copy, "hi");
    EXPECT_STREQ(copy, "hi");
    EXPECT_EQ(copy[3], 'Z');  // copied through the NUL only
}

TEST(ComparatorTest, StringsThroughTheCollation) {
    const platform::Collation collation(0x0411);
    const auto s = Make(Key(FLD_STRING, 11, 10), false, false, &collation);
    const auto ci = Make(Key(FLD_STRING, 11, 10), false, true, &collation);
    const auto desc = Make(Key(FLD_STRING, 11, 10), true, true, &collation);
    EXPECT_EQ(s->Compare("apple", "banana"), -1);
    EXPECT_NE(s->Compare("Apple", "apple"), 0);
    EXPECT_EQ(ci->Compare("Apple", "apple"), 0);
    EXPECT_EQ(desc->Compare("apple", "banana"), 1);

    const auto u = Make(Key(FLD_UNICODE, 10, 8), false, true, &collation);
    // "ab" and "AB" in UTF-16LE, one value starting at an odd address.
    const uint8_t lower[10] = {4, 0, 'a', 0, 'b', 0};
    uint8_t upperStorage[11] = {0, 4, 0, 'A', 0, 'B', 0};
    EXPECT_EQ(u->Compare(lower, upperStorage + 1), 0);
    const uint8_t abc[10] = {6, 0, 'a', 0, 'b', 0, 'c', 0};
    EXPECT_EQ(u->Compare(lower, abc), -1);
}

TEST(ComparatorTest, FactoryRefusesNonKeyTypesAndDefaultsToBytes) {
    for (uint32_t t : {FLD_BLOB, FLD_ADT, FLD_ARRAY, FLD_REF, FLD_TABLE}) {
        std::unique_ptr<FLDObj> c;
        EXPECT_EQ(MakeComparator(Key(t, 4), false, false, nullptr, c), DSERR_INVALIDFLDTYPE) << t;
        EXPECT_EQ(c, nullptr);
    }
    const auto raw = Make(Key(FLD_FLOAT80, 10));
    const uint8_t a[10] = {1, 2, 3};
    const uint8_t b[10] = {1, 2, 4};
    EXPECT_EQ(raw->Compare(a, b), -1);
    EXPECT_EQ(raw->type(), static_cast<uint32_t>(FLD_FLOAT80));
    EXPECT_EQ(raw->width(), 10u);
}

}  // namespace
}  // namespace pelmora
