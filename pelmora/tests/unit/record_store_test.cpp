#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "store/large_pages.h"
#include "store/layout.h"
#include "store/record_buffer.h"
#include "store/record_store.h"

namespace pelmora {
namespace {

FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0, uint32_t units2 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    f.units2 = units2;
    return f;
}

// 1 NAME string(10), 2 N int32, 3 P adt{4 X int16, 5 Q adt{6 Y int16}}, 7 PRICE bcd(5,2),
// 8 V varbytes(4), 9 U unicode(6)
std::vector<FieldDesc> SampleFields() {
    std::vector<FieldDesc> v = {
        Field("NAME", FLD_STRING, 10), Field("N", FLD_INT32),       Field("P", FLD_ADT, 2),
        Field("X", FLD_INT16),         Field("Q", FLD_ADT, 1),      Field("Y", FLD_INT16),
        Field("PRICE", FLD_BCD, 5, 2), Field("V", FLD_VARBYTES, 4), Field("U", FLD_UNICODE, 6)};
    EXPECT_EQ(ExpandArrays(v), DS_OK);
    LayoutResult r;
    EXPECT_EQ(LayoutFields(v, false, r), DS_OK);
    return v;
}

// 123.45 with precision 5, places 2.
const uint8_t kBcd12345[] = {5, 2, 0x12, 0x34, 0x50};

class RecordStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fields_ = SampleFields();
        ASSERT_EQ(store_.Reshape(fields_), DS_OK);
        ASSERT_EQ(store_.GrowTo(4), DS_OK);
        ASSERT_EQ(store_.SetNextRecord(3), DS_OK);
    }
    uint8_t Indicator(uint32_t rec, uint32_t field) {
        uint8_t ind = 0xEE;
        EXPECT_EQ(store_.ReadValue(rec, field, nullptr, &ind), DS_OK);
        return ind;
    }

    std::vector<FieldDesc> fields_;
    RecordStore store_;
};

TEST_F(RecordStoreTest, NewSlotsAreBlankAndValuesRoundTrip) {
    EXPECT_EQ(Indicator(1, 2), IND_BLANK);
    const int32_t n = -77;
    ASSERT_EQ(store_.WriteValue(2, 2, &n), DS_OK);
    int32_t back = 0;
    uint8_t ind = 9;
    ASSERT_EQ(store_.ReadValue(2, 2, &back, &ind), DS_OK);
    EXPECT_EQ(back, -77);
    EXPECT_EQ(ind, IND_VALUE);
    EXPECT_EQ(Indicator(1, 2), IND_BLANK);  // other records untouched

    ASSERT_EQ(store_.WriteValue(2, 2, nullptr), DS_OK);
    ASSERT_EQ(store_.ReadValue(2, 2, &back, &ind), DS_OK);
    EXPECT_EQ(back, 0);
    EXPECT_EQ(ind, IND_BLANK);
}

TEST_F(RecordStoreTest, RecordAndFieldNumbersAreChecked) {
    const int32_t n = 1;
    uint8_t buf[64];
    EXPECT_EQ(store_.WriteValue(0, 2, &n), DSERR_OUTOFRANGE);
    EXPECT_EQ(store_.WriteValue(4, 2, &n), DSERR_OUTOFRANGE);  // past next record number
    EXPECT_EQ(store_.WriteValue(3, 2, &n), DS_OK);             // the record being added
    EXPECT_EQ(store_.ReadValue(1, 10, buf, nullptr), DSERR_OUTOFRANGE);
    EXPECT_EQ(store_.WriteIndicator(1, 0, IND_BLANK), DSERR_OUTOFRANGE);
    EXPECT_EQ(store_.SetNextRecord(6), DSERR_OUTOFRANGE);  // beyond capacity + 1
    ASSERT_EQ(store_.SetNextRecord(5), DS_OK);
    EXPECT_EQ(store_.WriteValue(5, 2, &n), DSERR_OUTOFRANGE);  // no slot for it yet
}

TEST_F(RecordStoreTest, FieldZeroIsTheStatusByte) {
    const uint8_t status = REC_MODIFIED;
    ASSERT_EQ(store_.WriteValue(1, 0, &status), DS_OK);
    uint8_t back = 0;
    ASSERT_EQ(store_.ReadValue(1, 0, &back, nullptr), DS_OK);
    EXPECT_EQ(back, REC_MODIFIED);
    EXPECT_EQ(store_.StatusAt(1), REC_MODIFIED);
}

TEST_F(RecordStoreTest, StructuredFieldsAndAncestors) {
    const int16_t y = 5;
    ASSERT_EQ(store_.WriteValue(1, 6, &y), DS_OK);
    EXPECT_EQ(Indicator(1, 5), IND_VALUE);  // Q
    EXPECT_EQ(Indicator(1, 3), IND_VALUE);  // P
    EXPECT_EQ(Indicator(1, 4), IND_BLANK);  // X, a sibling, stays blank

    ASSERT_EQ(store_.WriteValue(1, 7, kBcd12345), DS_OK);
    ASSERT_EQ(store_.WriteValue(1, 3, nullptr), DS_OK);  // blank P blanks X, Q, Y
    for (uint32_t k = 3; k <= 6; ++k) EXPECT_EQ(Indicator(1, k), IND_BLANK) << k;
    int16_t back = 1;
    ASSERT_EQ(store_.ReadValue(1, 6, &back, nullptr), DS_OK);
    EXPECT_EQ(back, 0);
    EXPECT_EQ(Indicator(1, 7), IND_VALUE);  // PRICE follows P's descendants: untouched
    const int32_t n = 3;
    ASSERT_EQ(store_.WriteValue(1, 2, &n), DS_OK);

    ASSERT_EQ(store_.WriteValue(1, 6, &y), DS_OK);
    ASSERT_EQ(store_.WriteIndicator(1, 5, IND_BLANK), DS_OK);  // Q given 1: Y too
    EXPECT_EQ(Indicator(1, 6), IND_BLANK);
    EXPECT_EQ(Indicator(1, 3), IND_VALUE);
    EXPECT_EQ(Indicator(1, 2), IND_VALUE);  // N is not a descendant
    ASSERT_EQ(store_.WriteIndicator(1, 2, IND_UNCHANGED), DS_OK);
    EXPECT_EQ(Indicator(1, 2), IND_UNCHANGED);
}

TEST_F(RecordStoreTest, PackedDecimalsAreRescaledToTheField) {
    const uint8_t value[] = {4, 1, 0x12, 0x34};  // 123.4
    ASSERT_EQ(store_.WriteValue(1, 7, value), DS_OK);
    uint8_t back[5];
    ASSERT_EQ(store_.ReadValue(1, 7, back, nullptr), DS_OK);
    const uint8_t expected[] = {5, 2, 0x12, 0x34, 0x00};  // 123.40
    EXPECT_EQ(std::memcmp(back, expected, 5), 0);

    // Too many integer digits: refused, stored value and indicator unchanged.
    const uint8_t big[] = {6, 0, 0x12, 0x34, 0x56};  // 123456
    EXPECT_EQ(store_.WriteValue(1, 7, big), DSERR_OUTOFRANGE);
    ASSERT_EQ(store_.ReadValue(1, 7, back, nullptr), DS_OK);
    EXPECT_EQ(std::memcmp(back, expected, 5), 0);
}

TEST_F(RecordStoreTest, StringsStayTerminatedWithinTheField) {
    // A short value is not read past its terminator; the rest of the slot is zero.
    ASSERT_EQ(store_.WriteValue(1, 1, "abcdefghij"), DS_OK);
    const char shortValue[] = "xy";
    ASSERT_EQ(store_.WriteValue(1, 1, shortValue), DS_OK);
    char back[11];
    ASSERT_EQ(store_.ReadValue(1, 1, back, nullptr), DS_OK);
    EXPECT_STREQ(back, "xy");
    EXPECT_EQ(back[5], 0);
    // An over-long value is cut and still terminated.
    ASSERT_EQ(store_.WriteValue(1, 1, "0123456789ABCDEF"), DS_OK);
    ASSERT_EQ(store_.ReadValue(1, 1, back, nullptr), DS_OK);
    EXPECT_STREQ(back, "0123456789");
}

TEST_F(RecordStoreTest, VaryingCountsNeverExceedTheField) {
    const uint8_t tooLong[] = {9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(store_.WriteValue(1, 8, tooLong), DS_OK);
    uint8_t back[6];
    ASSERT_EQ(store_.ReadValue(1, 8, back, nullptr), DS_OK);
    const uint8_t expected[] = {4, 0, 1, 2, 3, 4};
    EXPECT_EQ(std::memcmp(back, expected, 6), 0);

    // "AB" + U+1F600: 8 bytes into the 6 data bytes of the Unicode field would
    // split the surrogate pair, so only "AB" is kept.
    const uint8_t text[] = {8, 0, 0x41, 0x00, 0x42, 0x00, 0x3D, 0xD8, 0x00, 0xDE};
    ASSERT_EQ(store_.WriteValue(1, 9, text), DS_OK);
    uint8_t u[8];
    ASSERT_EQ(store_.ReadValue(1, 9, u, nullptr), DS_OK);
    const uint8_t uExpected[] = {4, 0, 0x41, 0x00, 0x42, 0x00, 0, 0};
    EXPECT_EQ(std::memcmp(u, uExpected, 8), 0);
}

TEST_F(RecordStoreTest, GrowingKeepsRecords) {
    const int32_t n = 42;
    ASSERT_EQ(store_.WriteValue(2, 2, &n), DS_OK);
    ASSERT_EQ(store_.GrowTo(1000), DS_OK);
    EXPECT_EQ(store_.capacity(), 1000u);
    int32_t back = 0;
    ASSERT_EQ(store_.ReadValue(2, 2, &back, nullptr), DS_OK);
    EXPECT_EQ(back, 42);
    ASSERT_EQ(store_.SetNextRecord(1000), DS_OK);
    EXPECT_EQ(Indicator(999, 2), IND_BLANK);
    ASSERT_EQ(store_.GrowTo(10), DS_OK);  // never shrinks
    EXPECT_EQ(store_.capacity(), 1000u);
}

// Slots no write reached stay zero through growth and are known to be zero;
// a slot once written is not, even after it was blanked or cleared again.
TEST_F(RecordStoreTest, UnwrittenSlotsStayZeroThroughGrowthAndClearing) {
    const int32_t n = 42;
    ASSERT_EQ(store_.WriteValue(3, 2, &n), DS_OK);
    EXPECT_FALSE(store_.SlotStillZero(3, 2));
    EXPECT_FALSE(store_.SlotStillZero(1, 2)) << "below the highest slot written";
    EXPECT_TRUE(store_.SlotStillZero(4, 2));
    EXPECT_TRUE(store_.SlotStillZero(1, 1)) << "each column keeps its own mark";
    ASSERT_EQ(store_.GrowTo(5000), DS_OK);
    ASSERT_EQ(store_.SetNextRecord(5000), DS_OK);
    int32_t back = -1;
    ASSERT_EQ(store_.ReadValue(3, 2, &back, nullptr), DS_OK);
    EXPECT_EQ(back, 42);
    for (uint32_t rec : {4u, 100u, 4999u}) {
        EXPECT_TRUE(store_.SlotStillZero(rec, 2));
        const uint8_t* slot = store_.ValueAt(rec, 2);
        EXPECT_EQ(std::vector<uint8_t>(slot, slot + 4), std::vector<uint8_t>(4, 0)) << rec;
    }
    ASSERT_EQ(store_.WriteValue(3, 2, nullptr), DS_OK);
    EXPECT_FALSE(store_.SlotStillZero(3, 2));

    ASSERT_EQ(store_.WriteValue(4000, 1, "abc"), DS_OK);
    store_.Clear();
    const uint8_t* text = store_.ValueAt(4000, 1);
    EXPECT_EQ(std::vector<uint8_t>(text, text + 10), std::vector<uint8_t>(10, 0));
    EXPECT_TRUE(store_.SlotStillZero(1, 1));
}

// Columns, indicators and statuses of a large store live in their own
// mappings: growth into them keeps every byte written before, and the new
// records are blank, with status zero, up to the last one.
TEST_F(RecordStoreTest, GrowingIntoLargeBlocksKeepsIndicatorsAndStatuses) {
    const int32_t n = 7;
    ASSERT_EQ(store_.WriteValue(2, 2, &n), DS_OK);
    store_.SetStatus(2, 3);
    ASSERT_EQ(store_.GrowTo(700000), DS_OK);
    ASSERT_EQ(store_.SetNextRecord(700001), DS_OK);
    EXPECT_EQ(store_.StatusAt(2), 3);
    EXPECT_EQ(Indicator(2, 2), IND_VALUE);
    EXPECT_EQ(Indicator(2, 1), IND_BLANK);
    for (uint32_t rec : {5u, 350000u, 700000u}) {
        EXPECT_EQ(store_.StatusAt(rec), 0) << rec;
        for (uint32_t field = 1; field <= fields_.size(); ++field)
            EXPECT_EQ(Indicator(rec, field), IND_BLANK) << rec << " " << field;
    }
    const int32_t last = -1;
    ASSERT_EQ(store_.WriteValue(700000, 2, &last), DS_OK);
    store_.SetStatus(700000, 1);
    ASSERT_EQ(store_.GrowTo(1400000), DS_OK);
    int32_t back = 0;
    ASSERT_EQ(store_.ReadValue(700000, 2, &back, nullptr), DS_OK);
    EXPECT_EQ(back, -1);
    EXPECT_EQ(store_.StatusAt(700000), 1);
    EXPECT_EQ(Indicator(700000, 2), IND_VALUE);
    ASSERT_EQ(store_.Reshape(std::vector<FieldDesc>(fields_.begin(), fields_.begin() + 2)), DS_OK);
    EXPECT_EQ(store_.IndicatorAt(700000, 2), IND_VALUE);
    EXPECT_EQ(store_.IndicatorAt(700000, 1), IND_BLANK);
    EXPECT_EQ(store_.IndicatorAt(1400000, 1), IND_BLANK);
}

TEST(ZeroedBlockTest, LargeBlocksAreZeroWritableToTheEndAndFreedBySize) {
    for (size_t bytes : {size_t{1}, size_t{4096}, (size_t{2} << 20) - 1, size_t{2} << 20,
                         (size_t{2} << 20) + 1, size_t{9000000}}) {
        auto* block = static_cast<uint8_t*>(AllocateZeroedBlock(bytes));
        ASSERT_NE(block, nullptr) << bytes;
        EXPECT_EQ(block[0], 0);
        EXPECT_EQ(block[bytes / 2], 0);
        EXPECT_EQ(block[bytes - 1], 0);
        block[0] = 1;
        block[bytes - 1] = 1;
        FreeZeroedBlock(block, bytes);
    }
}

// Sizes no table needs are refused before anything is allocated.
TEST_F(RecordStoreTest, GigabyteColumnsAndRecordsAreRefused) {
    std::vector<FieldDesc> wide = {Field("W", FLD_BYTES, 65531)};
    LayoutResult r;
    ASSERT_EQ(LayoutFields(wide, false, r), DS_OK);
    RecordStore store;
    ASSERT_EQ(store.Reshape(wide), DS_OK);
    EXPECT_EQ(store.GrowTo(20000), DSERR_NOMEMORY);
    EXPECT_EQ(store.capacity(), 0u);
    EXPECT_EQ(store.GrowTo(1000), DS_OK);

    std::vector<FieldDesc> many(5000, Field("W", FLD_BYTES, 65531));
    EXPECT_EQ(LayoutFields(many, false, r), DSERR_INVALIDPARAM);
}

TEST_F(RecordStoreTest, ReshapeAddsBlankColumnsAndKeepsValues) {
    const int32_t n = 7;
    ASSERT_EQ(store_.WriteValue(2, 2, &n), DS_OK);
    std::vector<FieldDesc> more = fields_;
    more.push_back(Field("EXTRA", FLD_INT32));
    LayoutResult r;
    ASSERT_EQ(LayoutFields(more, false, r), DS_OK);
    ASSERT_EQ(store_.Reshape(more), DS_OK);
    EXPECT_EQ(store_.field_count(), 10u);
    int32_t back = 0;
    ASSERT_EQ(store_.ReadValue(2, 2, &back, nullptr), DS_OK);
    EXPECT_EQ(back, 7);
    EXPECT_EQ(Indicator(2, 10), IND_BLANK);
    EXPECT_EQ(Indicator(2, 2), IND_VALUE);

    // Dropping the trailing column again keeps the rest.
    ASSERT_EQ(store_.Reshape(fields_), DS_OK);
    EXPECT_EQ(Indicator(2, 2), IND_VALUE);
    EXPECT_EQ(store_.ReadValue(2, 10, nullptr, nullptr), DSERR_OUTOFRANGE);

    std::vector<FieldDesc> changed = fields_;
    changed[1].length = 8;
    EXPECT_EQ(store_.Reshape(changed), DSERR_INVALIDPARAM);
}

TEST(RecordBufferTest, SameRulesAsTheStore) {
    const std::vector<FieldDesc> fields = SampleFields();
    std::vector<uint8_t> buf(RecordBufferSize(fields), 0xAA);
    EXPECT_EQ(buf.size(), fields.back().indicatorOffset + 1u);
    ClearRecordBuffer(fields, buf.data());
    for (const FieldDesc& f : fields) EXPECT_EQ(buf[f.indicatorOffset], IND_BLANK);

    const int16_t y = 9;
    ASSERT_EQ(WriteBufferValue(fields, buf.data(), 6, &y), DS_OK);
    EXPECT_EQ(buf[fields[2].indicatorOffset], IND_VALUE);
    EXPECT_EQ(buf[fields[4].indicatorOffset], IND_VALUE);
    int16_t back = 0;
    uint8_t ind = 1;
    ASSERT_EQ(ReadBufferValue(fields, buf.data(), 6, &back, &ind), DS_OK);
    EXPECT_EQ(back, 9);
    EXPECT_EQ(ind, IND_VALUE);

    ASSERT_EQ(WriteBufferValue(fields, buf.data(), 7, kBcd12345), DS_OK);
    EXPECT_EQ(std::memcmp(buf.data() + fields[6].offset, kBcd12345, 5), 0);

    ASSERT_EQ(WriteBufferIndicator(fields, buf.data(), 3, IND_BLANK), DS_OK);
    EXPECT_EQ(buf[fields[5].indicatorOffset], IND_BLANK);

    EXPECT_EQ(WriteBufferValue(fields, buf.data(), 0, &y), DSERR_OUTOFRANGE);
    EXPECT_EQ(ReadBufferValue(fields, buf.data(), 0, &back, &ind), DSERR_OUTOFRANGE);
    EXPECT_EQ(WriteBufferIndicator(fields, buf.data(), 10, 1), DSERR_OUTOFRANGE);
}

TEST(RecordBufferTest, StoreRecordsRoundTripThroughBuffers) {
    const std::vector<FieldDesc> fields = SampleFields();
    RecordStore store;
    ASSERT_EQ(store.Reshape(fields), DS_OK);
    ASSERT_EQ(store.GrowTo(2), DS_OK);
    ASSERT_EQ(store.SetNextRecord(2), DS_OK);
    std::vector<uint8_t> buf(RecordBufferSize(fields));
    ClearRecordBuffer(fields, buf.data());
    const int32_t n = 12345;
    ASSERT_EQ(WriteBufferValue(fields, buf.data(), 1, "hello"), DS_OK);
    ASSERT_EQ(WriteBufferValue(fields, buf.data(), 2, &n), DS_OK);
    ASSERT_EQ(store.WriteRecord(1, buf.data()), DS_OK);

    std::vector<uint8_t> out(buf.size(), 0xEE);
    ASSERT_EQ(store.ReadRecord(1, out.data()), DS_OK);
    EXPECT_EQ(out, buf);
    EXPECT_EQ(store.ReadRecord(3, out.data()), DSERR_OUTOFRANGE);
}

}  // namespace
}  // namespace pelmora
