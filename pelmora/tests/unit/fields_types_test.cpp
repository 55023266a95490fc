#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "store/field_types.h"
#include "store/utf16_cut.h"

namespace pelmora {
namespace {

FieldDesc Laid(uint32_t type, uint32_t units1, uint32_t length) {
    FieldDesc f{};
    f.type = type;
    f.units1 = units1;
    f.length = length;
    return f;
}

struct WordCase {
    uint32_t type;
    uint32_t units1;
    uint32_t length;
    uint32_t word;
};

TEST(PacketTypeWordTest, MapsEveryInternalType) {
    const WordCase cases[] = {
        {FLD_STRING, 20, 21, 0x00490001},     {FLD_STRING, 253, 254, 0x00490001},
        {FLD_STRING, 254, 255, 0x00490002},   {FLD_DATE, 1, 4, 0x00060004},
        {FLD_BLOB, 0, 4, 0x004B0004},         {FLD_BOOL16, 1, 2, 0x00030002},
        {FLD_INT16, 1, 2, 0x00010002},        {FLD_INT32, 1, 4, 0x00010004},
        {FLD_FLOAT, 1, 8, 0x00040008},        {FLD_BCD, 32, 18, 0x00050012},
        {FLD_BYTES, 16, 16, 0x000B0010},      {FLD_TIME, 1, 4, 0x00070004},
        {FLD_TIMESTAMP, 1, 8, 0x00080008},    {FLD_UINT16, 1, 2, 0x00020002},
        {FLD_UINT32, 1, 4, 0x00020004},       {FLD_FLOAT80, 1, 10, 0x0004000A},
        {FLD_VARBYTES, 252, 254, 0x004B0001}, {FLD_VARBYTES, 253, 255, 0x004B0002},
        {FLD_INT64, 1, 8, 0x00010008},        {FLD_UINT64, 1, 8, 0x00020008},
        {FLD_ADT, 3, 0, 0x010C0003},          {FLD_ARRAY, 5, 0, 0x030D0005},
        {FLD_REF, 1, 8, 0x010F0001},          {FLD_TABLE, 2, 4, 0x050E0002},
        {FLD_INT8, 1, 2, 0x00010001},         {FLD_UINT8, 1, 2, 0x00020001},
        {FLD_BOOL8, 1, 2, 0x00030001},        {FLD_BOOL32, 1, 4, 0x00030004},
        {FLD_UNICODE, 40, 42, 0x004A0001},    {FLD_UNICODE, 300, 302, 0x004A0002},
    };
    for (const WordCase& c : cases) {
        EXPECT_EQ(PacketTypeWord(Laid(c.type, c.units1, c.length)), c.word) << "type " << c.type;
    }
    // Before layout the width follows from units1.
    EXPECT_EQ(PacketTypeWord(Laid(FLD_STRING, 300, 0)), 0x00490002u);
    EXPECT_EQ(PacketTypeWord(Laid(FLD_BCD, 5, 0)), 0x00050005u);
}

TEST(PacketTypeWordTest, ReadsBackToTheSameInternalType) {
    const uint32_t types[] = {FLD_STRING,    FLD_DATE,   FLD_BLOB,   FLD_BOOL16,  FLD_INT16,
                              FLD_INT32,     FLD_FLOAT,  FLD_BCD,    FLD_BYTES,   FLD_TIME,
                              FLD_TIMESTAMP, FLD_UINT16, FLD_UINT32, FLD_FLOAT80, FLD_VARBYTES,
                              FLD_INT64,     FLD_UINT64, FLD_ADT,    FLD_ARRAY,   FLD_TABLE,
                              FLD_INT8,      FLD_UINT8,  FLD_BOOL8,  FLD_BOOL32,  FLD_UNICODE};
    for (uint32_t t : types) {
        const FieldDesc f = Laid(t, 10, t == FLD_FLOAT80 ? 10 : 0);
        EXPECT_EQ(InternalTypeFromWord(PacketTypeWord(f)), t) << "type " << t;
    }
    EXPECT_EQ(InternalTypeFromWord(0x00100008), static_cast<uint32_t>(FLD_BYTES));  // base 16
    EXPECT_EQ(InternalTypeFromWord(0x00010003), static_cast<uint32_t>(FLD_UNKNOWN));
    EXPECT_EQ(InternalTypeFromWord(0x00040004), static_cast<uint32_t>(FLD_UNKNOWN));
    EXPECT_EQ(InternalTypeFromWord(0x004B0003), static_cast<uint32_t>(FLD_UNKNOWN));
    EXPECT_EQ(InternalTypeFromWord(0x00110004), static_cast<uint32_t>(FLD_UNKNOWN));
}

PacketColumnDesc Column(const char* name, uint32_t word, uint16_t attributes) {
    PacketColumnDesc c{};
    std::strncpy(c.name, name, sizeof c.name - 1);
    c.typeWord = word;
    c.attributes = attributes;
    return c;
}

TEST(FieldFromColumnTest, BuildsDescriptorFromColumn) {
    FieldDesc f{};
    ASSERT_EQ(FieldFromColumn(Column("NAME", 0x00490001, 0x0004), f), DS_OK);
    EXPECT_STREQ(f.name, "NAME");
    EXPECT_EQ(f.type, static_cast<uint32_t>(FLD_STRING));
    EXPECT_EQ(f.length, 0u);  // varying: the WIDTH parameter supplies units1
    EXPECT_EQ(f.attributes, 4u);

    ASSERT_EQ(FieldFromColumn(Column("N", 0x00010004, 0x8001), f), DS_OK);
    EXPECT_EQ(f.length, 4u);
    EXPECT_EQ(f.attributes, 0xFFFF8001u);  // sign-extended

    ASSERT_EQ(FieldFromColumn(Column("D", 0x050E0003, 0), f), DS_OK);
    EXPECT_EQ(f.type, static_cast<uint32_t>(FLD_TABLE));
    EXPECT_EQ(f.units1, 3u);
    EXPECT_EQ(f.length, 4u);

    ASSERT_EQ(FieldFromColumn(Column("A", 0x030D0002, 0), f), DS_OK);
    EXPECT_EQ(f.units1, 2u);
    EXPECT_EQ(f.length, 0u);

    EXPECT_EQ(FieldFromColumn(Column("K", 0x00820002, 0), f), DSERR_INVALIDFLDTYPE);
}

TEST(SubtypeTest, LooksNamesUpIgnoringCase) {
    uint32_t code = 0;
    EXPECT_EQ(SubtypeFromName("autoinc", code), DS_OK);
    EXPECT_EQ(code, SUBTYPE_AUTOINC);
    EXPECT_EQ(SubtypeFromName("TYPEDBINARY", code), DS_OK);
    EXPECT_EQ(code, 28u);
    EXPECT_EQ(SubtypeFromName("Reference", code), DS_OK);
    EXPECT_EQ(code, 70u);
    EXPECT_EQ(SubtypeFromName("Textual", code), DSERR_OBJNOTFOUND);
    EXPECT_EQ(code, kUnknownSubtype);
    EXPECT_EQ(SubtypeFromName("", code), DSERR_OBJNOTFOUND);

    for (uint32_t c : {21u, 22u, 29u, 35u, 38u, 70u}) {
        ASSERT_NE(SubtypeName(c), nullptr);
        uint32_t back = 0;
        EXPECT_EQ(SubtypeFromName(SubtypeName(c), back), DS_OK);
        EXPECT_EQ(back, c);
    }
    EXPECT_EQ(SubtypeName(0), nullptr);
    EXPECT_EQ(SubtypeName(kUnknownSubtype), nullptr);
}

TEST(CutUtf16Test, KeepsWholeUnitsAndSurrogatePairs) {
    // "A", U+1F600 (D83D DE00), "B" in UTF-16LE: 8 bytes.
    const std::vector<uint8_t> text = {0x41, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0x42, 0x00};
    EXPECT_EQ(CutUtf16(text.data(), text.size(), 100), 8u);
    EXPECT_EQ(CutUtf16(text.data(), text.size(), 8), 8u);
    EXPECT_EQ(CutUtf16(text.data(), text.size(), 7), 6u);  // odd budget: whole units only
    EXPECT_EQ(CutUtf16(text.data(), text.size(), 6), 6u);
    EXPECT_EQ(CutUtf16(text.data(), text.size(), 5), 2u);  // would split the pair
    EXPECT_EQ(CutUtf16(text.data(), text.size(), 4), 2u);  // would split the pair
    EXPECT_EQ(CutUtf16(text.data(), text.size(), 3), 2u);
    EXPECT_EQ(CutUtf16(text.data(), text.size(), 1), 0u);
    EXPECT_EQ(CutUtf16(text.data(), text.size(), 0), 0u);
}

}  // namespace
}  // namespace pelmora
