#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "store/layout.h"

namespace pelmora {
namespace {

FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0, uint32_t length = 0,
                uint32_t subtype = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    f.length = length;
    f.subtype = subtype;
    return f;
}

EngineResult LayOne(FieldDesc f, FieldDesc& out, bool xml = false) {
    std::vector<FieldDesc> v{f};
    LayoutResult r;
    const EngineResult code = LayoutFields(v, xml, r);
    out = v[0];
    return code;
}

TEST(LayoutTest, StringAndBytesWidths) {
    FieldDesc f;
    ASSERT_EQ(LayOne(Field("S", FLD_STRING, 20), f), DS_OK);
    EXPECT_EQ(f.length, 21u);
    ASSERT_EQ(LayOne(Field("S", FLD_STRING, 0, 21), f), DS_OK);
    EXPECT_EQ(f.units1, 20u);
    EXPECT_EQ(LayOne(Field("S", FLD_STRING), f), DSERR_INVALIDPARAM);

    ASSERT_EQ(LayOne(Field("B", FLD_BYTES, 0, 7), f), DS_OK);
    EXPECT_EQ(f.units1, 7u);
    EXPECT_EQ(f.length, 7u);
    EXPECT_EQ(LayOne(Field("B", FLD_BYTES), f), DSERR_INVALIDPARAM);
}

TEST(LayoutTest, FixedAndComputedWidths) {
    struct Case {
        uint32_t type, units1, width;
    } cases[] = {
        {FLD_INT8, 0, 2},      {FLD_UINT8, 0, 2},    {FLD_BOOL8, 0, 2},     {FLD_INT16, 0, 2},
        {FLD_INT32, 0, 4},     {FLD_FLOAT80, 0, 10}, {FLD_TIMESTAMP, 0, 8}, {FLD_TABLE, 1, 4},
        {FLD_BCD, 32, 18},     {FLD_BCD, 0, 34},     {FLD_BCD, 5, 5},       {FLD_VARBYTES, 10, 12},
        {FLD_UNICODE, 40, 42}, {FLD_BLOB, 0, 4},
    };
    for (const Case& c : cases) {
        FieldDesc f;
        ASSERT_EQ(LayOne(Field("F", c.type, c.units1), f), DS_OK) << c.type;
        EXPECT_EQ(f.length, c.width) << "type " << c.type << " units1 " << c.units1;
    }
}

TEST(LayoutTest, Units1Defaults) {
    FieldDesc f;
    ASSERT_EQ(LayOne(Field("I", FLD_INT32), f), DS_OK);
    EXPECT_EQ(f.units1, 1u);
    ASSERT_EQ(LayOne(Field("B", FLD_BLOB), f), DS_OK);
    EXPECT_EQ(f.units1, 0u);
    // A packed decimal without precision holds 64 digits, matching its 34 bytes.
    ASSERT_EQ(LayOne(Field("D", FLD_BCD), f), DS_OK);
    EXPECT_EQ(f.units1, 64u);
    EXPECT_EQ(f.length, 34u);
}

TEST(LayoutTest, OffsetsIndicatorsAndRecordSize) {
    std::vector<FieldDesc> v = {Field("NAME", FLD_STRING, 10), Field("N", FLD_INT32),
                                Field("OK", FLD_BOOL16)};
    LayoutResult r;
    ASSERT_EQ(LayoutFields(v, false, r), DS_OK);
    const uint32_t offsets[] = {0, 11, 15};
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(v[k].offset, offsets[k]);
        EXPECT_EQ(v[k].indicatorOffset, 17u + k);
        EXPECT_EQ(v[k].fieldId, k + 1);
        EXPECT_EQ(v[k].parentId, 0u);
    }
    EXPECT_EQ(r.dataSize, 17u);
    EXPECT_EQ(r.recordSize, 20u);
    EXPECT_EQ(r.blobFieldCount, 0u);
    EXPECT_EQ(r.scratchSize, kMinScratchSize);
}

TEST(LayoutTest, VarBytesConversions) {
    FieldDesc f;
    ASSERT_EQ(LayOne(Field("M", FLD_VARBYTES, 100, 0, 22), f), DS_OK);
    EXPECT_EQ(f.type, static_cast<uint32_t>(FLD_BLOB));
    EXPECT_EQ(f.length, 4u);
    ASSERT_EQ(LayOne(Field("M", FLD_VARBYTES, 100, 0, 29), f), DS_OK);
    EXPECT_EQ(f.type, static_cast<uint32_t>(FLD_VARBYTES));
    ASSERT_EQ(LayOne(Field("V", FLD_VARBYTES, 100), f, true), DS_OK);
    EXPECT_EQ(f.type, static_cast<uint32_t>(FLD_BYTES));
    EXPECT_EQ(f.length, 100u);
    ASSERT_EQ(LayOne(Field("V", FLD_VARBYTES, 100), f, false), DS_OK);
    EXPECT_EQ(f.length, 102u);
}

TEST(LayoutTest, Refusals) {
    FieldDesc f;
    EXPECT_EQ(LayOne(Field("A", FLD_ADT), f), DSERR_INVALIDFLDTYPE);
    EXPECT_EQ(LayOne(Field("A", FLD_ARRAY), f), DSERR_INVALIDFLDTYPE);
    EXPECT_EQ(LayOne(Field("T", FLD_TABLE), f), DSERR_INVALIDFLDTYPE);
    EXPECT_EQ(LayOne(Field("S", FLD_STRING, 65531), f), DSERR_INVALIDFLDTYPE);
    ASSERT_EQ(LayOne(Field("S", FLD_STRING, 65530), f), DS_OK);
    EXPECT_EQ(LayOne(Field("R", FLD_REF, 1), f), DSERR_INVALIDFLDTYPE);  // no width given
    EXPECT_EQ(LayOne(Field("U", 99), f), DSERR_INVALIDFLDTYPE);
    ASSERT_EQ(LayOne(Field("U", 99, 0, 6), f), DS_OK);  // unknown type: raw bytes as given
    EXPECT_EQ(f.length, 6u);

    // The first failure stops the layout.
    std::vector<FieldDesc> v = {Field("A", FLD_INT32), Field("B", FLD_STRING), Field("C", FLD_ADT)};
    LayoutResult r;
    EXPECT_EQ(LayoutFields(v, false, r), DSERR_INVALIDPARAM);
}

TEST(LayoutTest, BlobCountAndScratchSize) {
    std::vector<FieldDesc> v = {Field("B1", FLD_BLOB), Field("S", FLD_STRING, 999),
                                Field("B2", FLD_VARBYTES, 10, 0, 23)};
    LayoutResult r;
    ASSERT_EQ(LayoutFields(v, false, r), DS_OK);
    EXPECT_EQ(r.blobFieldCount, 2u);
    EXPECT_EQ(r.scratchSize, 1000u);
}

TEST(ArrayExpansionTest, NamesEachElement) {
    FieldDesc items = Field("ITEMS", FLD_ARRAY, 3);
    std::vector<FieldDesc> v = {Field("ID", FLD_INT32), items, Field("ITEM", FLD_INT32),
                                Field("TAIL", FLD_INT16)};
    ASSERT_EQ(ExpandArrays(v), DS_OK);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_STREQ(v[1].name, "ITEMS");
    EXPECT_EQ(v[1].units2, 3u);
    EXPECT_STREQ(v[2].name, "ITEMS[0]");
    EXPECT_STREQ(v[3].name, "ITEMS[1]");
    EXPECT_STREQ(v[4].name, "ITEMS[2]");
    EXPECT_STREQ(v[5].name, "TAIL");

    LayoutResult r;
    ASSERT_EQ(LayoutFields(v, false, r), DS_OK);
    EXPECT_EQ(v[1].length, 0u);
    for (size_t k = 2; k <= 4; ++k) EXPECT_EQ(v[k].parentId, 2u);
    EXPECT_EQ(v[5].parentId, 0u);
}

TEST(ArrayExpansionTest, LongNamesAreShortenedToFit) {
    const std::string longName(31, 'N');
    std::vector<FieldDesc> v = {Field(longName.c_str(), FLD_ARRAY, 12), Field("E", FLD_INT16)};
    ASSERT_EQ(ExpandArrays(v), DS_OK);
    ASSERT_EQ(v.size(), 13u);
    EXPECT_EQ(std::string(v[1].name), std::string(28, 'N') + "[0]");
    EXPECT_EQ(std::string(v[12].name), std::string(27, 'N') + "[11]");
}

TEST(ArrayExpansionTest, StructuredElementsAndNesting) {
    // ARR: 2 elements of ADT PT {X, Y}.
    std::vector<FieldDesc> v = {Field("ARR", FLD_ARRAY, 2), Field("PT", FLD_ADT, 2),
                                Field("X", FLD_INT32), Field("Y", FLD_INT32)};
    ASSERT_EQ(ExpandArrays(v), DS_OK);
    ASSERT_EQ(v.size(), 7u);
    EXPECT_EQ(v[0].units2, 6u);
    EXPECT_STREQ(v[1].name, "ARR[0]");
    EXPECT_EQ(v[1].units2, 2u);
    EXPECT_STREQ(v[2].name, "X");
    EXPECT_STREQ(v[4].name, "ARR[1]");
    LayoutResult r;
    ASSERT_EQ(LayoutFields(v, false, r), DS_OK);
    const uint16_t parents[] = {0, 1, 2, 2, 1, 5, 5};
    for (size_t k = 0; k < v.size(); ++k) EXPECT_EQ(v[k].parentId, parents[k]) << k;
    EXPECT_EQ(r.dataSize, 16u);
}

TEST(ArrayExpansionTest, RefusesMalformedLists) {
    std::vector<FieldDesc> noElements = {Field("A", FLD_ARRAY, 0), Field("E", FLD_INT16)};
    EXPECT_EQ(ExpandArrays(noElements), DSERR_INVALIDPARAM);
    std::vector<FieldDesc> missingChild = {Field("A", FLD_ARRAY, 2)};
    EXPECT_EQ(ExpandArrays(missingChild), DSERR_INVALIDPARAM);
    std::vector<FieldDesc> shortAdt = {Field("P", FLD_ADT, 3), Field("X", FLD_INT16)};
    EXPECT_EQ(ExpandArrays(shortAdt), DSERR_INVALIDPARAM);
    EXPECT_EQ(shortAdt.size(), 2u);  // untouched on failure

    // A structured field whose units2 runs past the list is refused by layout.
    std::vector<FieldDesc> bad = {Field("P", FLD_ADT, 1), Field("X", FLD_INT16)};
    bad[0].units2 = 5;
    LayoutResult r;
    EXPECT_EQ(LayoutFields(bad, false, r), DSERR_INVALIDPARAM);
}

TEST(ArrayExpansionTest, NestedDatasetDescriptorsPassThrough) {
    FieldDesc table = Field("DET", FLD_TABLE, 1);
    table.units2 = 2;
    std::vector<FieldDesc> v = {table, Field("ARR", FLD_ARRAY, 2), Field("E", FLD_INT16),
                                Field("AFTER", FLD_INT32)};
    ASSERT_EQ(ExpandArrays(v), DS_OK);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_STREQ(v[1].name, "ARR");  // the nested dataset expands its own arrays
    EXPECT_STREQ(v[3].name, "AFTER");
}

}  // namespace
}  // namespace pelmora
