// Datasets and datapackets: packets written by the dataset read back to the
// same bytes, shapes that used to come back wrong (arrays, references,
// versions of master records with details), and what happens to packets
// that are cut short or damaged.
#include <cstring>
#include <random>

#include "dataset_test_support.h"

using namespace dstest;

namespace {

// An 18-byte packed decimal of the given precision and places.
std::vector<uint8_t> Bcd(uint8_t precision, uint8_t places, bool negative,
                         std::vector<uint8_t> digitBytes) {
    std::vector<uint8_t> v(18, 0);
    v[0] = precision;
    v[1] = static_cast<uint8_t>(places | (negative ? 0x80 : 0));
    std::copy(digitBytes.begin(), digitBytes.end(), v.begin() + 2);
    return v;
}

// Six realistic columns with blanks, an empty string, BLOBs of every kind.
std::vector<uint8_t> FlatPacket() {
    Builder b;
    b.Begin(6);
    b.Col("ID", kInt32);
    b.Col("NAME", 0x00490001);
    b.Width(20);
    b.Col("AMOUNT", 0x00050007);
    b.Width(10);
    const uint16_t places = 2;
    b.ColParam("DECIMALS", kUint16, &places, 2);
    b.Col("MEMO", kBlob);
    b.Col("WHEN", kDate);
    b.Col("RATE", kFloat);
    b.Close();
    const std::vector<uint8_t> amount = Bcd(10, 2, false, {0x00, 0x00, 0x12, 0x34, 0x50});
    for (int i = 1; i <= 4; ++i) {
        b.Status(0);
        b.I32(i);
        if (i == 2) {
            b.Blank();
        } else {
            b.Str(i == 3 ? std::string(1, '\0') : "name" + std::to_string(i));
        }
        if (i == 4) {
            b.Blank();
        } else {
            EXPECT_EQ(0u, b->PutValue(0, 18, amount.data()));
        }
        if (i == 1) {
            b.Str("blob bytes");
        } else if (i == 2) {
            EXPECT_EQ(0u, b->PutValue(0, 0, ""));  // an empty BLOB reads as blank
        } else if (i == 3) {
            EXPECT_EQ(0u, b->PutValue(0, 0x80000000u | 99, "x"));  // not fetched
        } else {
            b.Blank();
        }
        b.I32(738000 + i);
        b.F64(i * 1.5);
    }
    return b.Take();
}

std::vector<uint8_t> RoundTrip(const std::vector<uint8_t>& bytes) {
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(bytes, &r));
    EXPECT_EQ(0u, r);
    return Write(ds.get(), &r);
}

}  // namespace

// ---- a packet the dataset wrote reads back to the same bytes -------------------

TEST(DatasetPacketRoundTrip, FlatRowsWithBlanksAndBlobsAreStable) {
    const std::vector<uint8_t> first = RoundTrip(FlatPacket());
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, RoundTrip(first));

    const Decoded d = Decode(first);
    ASSERT_EQ(0u, d.result);
    ASSERT_EQ(4u, d.rows.size());
    EXPECT_EQ(1, d.rows[0].items[0].i32());
    EXPECT_EQ("name1", d.rows[0].items[1].str());
    EXPECT_EQ(1u, d.rows[1].items[1].status) << "blank name stays blank";
    EXPECT_EQ(std::vector<uint8_t>{0}, d.rows[2].items[1].bytes) << "empty string is one zero byte";
    EXPECT_EQ(Bcd(10, 2, false, {0x00, 0x00, 0x12, 0x34, 0x50}), d.rows[0].items[2].bytes);
    EXPECT_EQ(1u, d.rows[3].items[2].status);
    EXPECT_EQ("blob bytes", d.rows[0].items[3].str());
    EXPECT_EQ(1u, d.rows[1].items[3].status) << "a zero-length BLOB is stored as blank";
    EXPECT_EQ(std::vector<uint8_t>{0xFF}, d.rows[2].items[3].bytes) << "not-fetched BLOB kept";
    EXPECT_EQ(738003, d.rows[2].items[4].i32());
}

TEST(DatasetPacketRoundTrip, ChangeLogAndStatusesAreStable) {
    Builder b;
    b.Begin(2);
    b.Col("ID", kInt32);
    b.Col("NAME", kString1);
    b.Width(10);
    // Record 1 modified into 3, record 2 deleted, record 4 inserted.
    b.Log({3, 1, LOG_MODIFY, 2, 0, LOG_DELETE, 4, 0, LOG_INSERT});
    b.Close();
    const uint8_t statuses[] = {REC_SUPERSEDED, REC_DELETED, REC_MODIFIED, REC_INSERTED};
    for (int i = 0; i < 4; ++i) {
        b.Status(statuses[i]);
        b.I32(i + 1);
        if (i == 2) {
            b.Unchanged();
        } else {
            b.Str("n" + std::to_string(i + 1));
        }
    }
    const std::vector<uint8_t> packet = b.Take();
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(packet, &r));
    ASSERT_EQ(0u, r);
    EXPECT_EQ(2u, Prop(ds.get(), 5)) << "superseded and deleted rows are not visible";
    const std::vector<uint8_t> first = Write(ds.get());
    EXPECT_EQ(first, RoundTrip(first));

    const Decoded d = Decode(first);
    ASSERT_EQ(4u, d.rows.size());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(statuses[i], d.rows[i].status);
    // The unchanged item of the modified row took the earlier version's value.
    EXPECT_EQ("n1", d.rows[2].items[1].str());
    bool logWritten = false;
    for (const auto& [name, value] : d.top.params) {
        if (name != "CHANGE_LOG") continue;
        logWritten = true;
        std::vector<uint32_t> expect{9, 3, 1, LOG_MODIFY, 2, 0, LOG_DELETE, 4, 0, LOG_INSERT};
        ASSERT_EQ(expect.size() * 4, value.size());
        EXPECT_EQ(0, std::memcmp(expect.data(), value.data(), value.size()));
    }
    EXPECT_TRUE(logWritten);
}

TEST(DatasetPacketRoundTrip, ThreeRowsOneDeletedKeepsNumbering) {
    Builder b;
    b.Begin(1);
    b.Col("ID", kInt32);
    b.Log({2, 0, LOG_DELETE});
    b.Close();
    for (int i = 1; i <= 3; ++i) {
        b.Status(i == 2 ? REC_DELETED : 0);
        b.I32(i);
    }
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(b.Take(), &r));
    ASSERT_EQ(0u, r);
    EXPECT_EQ(2u, Prop(ds.get(), 5));
    // Every record 1..3 (the next record number is 4) goes out again.
    const Decoded d = Decode(Write(ds.get()));
    ASSERT_EQ(3u, d.rows.size());
    EXPECT_EQ(REC_DELETED, d.rows[1].status);
    EXPECT_EQ(3, d.rows[2].items[0].i32());
}

// ---- nested datasets ----------------------------------------------------------------

namespace {

// Master ID + DETAILS(QTY) with two master rows of 2 and 1 details.
std::vector<uint8_t> NestedPacket() {
    Builder b;
    b.Begin(2);
    b.Col("ID", kInt32);
    b.Col("DETAILS", TableWord(1));
    b.Col("QTY", kInt32);
    b.Close();  // the nested dataset's block
    b.Close();
    for (int m = 1; m <= 2; ++m) {
        b.Status(0);
        b.I32(m);
        b.Rows(m == 1 ? 2 : 1);
        for (int d = 0; d < (m == 1 ? 2 : 1); ++d) {
            b.Status(0);
            b.I32(m * 10 + d);
        }
    }
    return b.Take();
}

}  // namespace

TEST(DatasetPacketNested, DetailRowsStayUnderTheirMasters) {
    const std::vector<uint8_t> first = RoundTrip(NestedPacket());
    EXPECT_EQ(first, RoundTrip(first));
    const Decoded d = Decode(first);
    ASSERT_EQ(0u, d.result);
    ASSERT_EQ(2u, d.rows.size());
    ASSERT_EQ(2u, d.rows[0].items[1].details.size());
    EXPECT_EQ(10, d.rows[0].items[1].details[0].items[0].i32());
    EXPECT_EQ(11, d.rows[0].items[1].details[1].items[0].i32());
    ASSERT_EQ(1u, d.rows[1].items[1].details.size());
    EXPECT_EQ(20, d.rows[1].items[1].details[0].items[0].i32());

    uint32_t r = 0;
    Ref<IDSBase> ds(Load(first, &r));
    Ref<IDSBase> nested;
    ASSERT_EQ(0u, ds->GetNestedDataset(0, nested.out()));
    ASSERT_EQ(0u, ds->GetNestedDataset(2, nested.out()));
    Ref<IDSBase> none;
    EXPECT_EQ(DSERR_NOTSUPPORTED, ds->GetNestedDataset(1, none.out()));
    // The detail carries its master's link in a hidden link field.
    const std::vector<FieldDesc> fields = Fields(nested.get());
    ASSERT_EQ(2u, fields.size());
    EXPECT_EQ(ATTR_HIDDEN | ATTR_LINK, fields[1].attributes);
}

TEST(DatasetPacketNested, VersionsOfAMasterRecordCarryTheirDetailsOnce) {
    // An old version and a new version of master 1 share one link value; a
    // writer that follows every version writes the details under both.
    Builder b;
    b.Begin(2);
    b.Col("ID", kInt32);
    b.Col("DETAILS", TableWord(1));
    b.Col("QTY", kInt32);
    b.Close();
    b.Log({2, 1, LOG_MODIFY});
    b.Close();
    for (int version = 0; version < 2; ++version) {
        b.Status(version == 0 ? REC_SUPERSEDED : REC_MODIFIED);
        b.I32(version == 0 ? 1 : 100);
        b.Rows(2);
        for (int d = 0; d < 2; ++d) {
            b.Status(0);
            b.I32(d + 1);
        }
    }
    const std::vector<uint8_t> first = RoundTrip(b.Take());
    EXPECT_EQ(first, RoundTrip(first));
    const Decoded d = Decode(first);
    ASSERT_EQ(2u, d.rows.size());
    const size_t total = d.rows[0].items[1].details.size() + d.rows[1].items[1].details.size();
    EXPECT_EQ(2u, total) << "each detail row goes out once";
    EXPECT_EQ(2u, d.rows[1].items[1].details.size()) << "under the live version";
}

TEST(DatasetPacketNested, NestedFieldFromDescriptorsWritesNoDecimals) {
    FieldDesc fields[] = {Field("ID", FLD_INT32), Field("LINES", FLD_TABLE, 2, 2),
                          Field("QTY", FLD_INT32), Field("PRICE", FLD_BCD, 8, 2)};
    Ref<IDSBase> ds(Engine::Get().NewDataset());
    ASSERT_EQ(0u, ds->DefineFields(4, fields, "ORDERS"));
    ASSERT_EQ(2u, Fields(ds.get()).size()) << "the nested descriptors left the master";
    const Decoded d = Decode(Write(ds.get()));
    ASSERT_EQ(0u, d.result);
    for (const auto& [name, value] : d.top.columnParams[1]) EXPECT_NE("DECIMALS", name);
    ASSERT_EQ(1u, d.top.nested.size());
    bool decimals = false;
    for (const auto& [name, value] : d.top.nested[0].columnParams[1])
        decimals |= name == "DECIMALS";
    EXPECT_TRUE(decimals) << "a packed decimal keeps its places";
}

TEST(DatasetPacketRoundTrip, PackedDecimalsTakeTheFieldsPrecisionAndPlaces) {
    Builder b;
    b.Begin(1);
    b.Col("AMOUNT", 0x00050007);
    b.Width(10);
    const uint16_t places = 2;
    b.ColParam("DECIMALS", kUint16, &places, 2);
    b.Close();
    // Already 10.2, with stray bytes past its digits; 10.3, which loses a
    // decimal; 12.2 whose leading digits are zero; a blank.
    std::vector<uint8_t> stray = Bcd(10, 2, true, {0x00, 0x00, 0x12, 0x34, 0x50});
    for (size_t i = 7; i < stray.size(); ++i) stray[i] = 0x99;
    const std::vector<std::vector<uint8_t>> values = {
        stray, Bcd(10, 3, false, {0x00, 0x00, 0x12, 0x34, 0x56}),
        Bcd(12, 2, false, {0x00, 0x00, 0x00, 0x00, 0x78, 0x90})};
    for (const std::vector<uint8_t>& v : values) {
        b.Status(0);
        EXPECT_EQ(0u, b->PutValue(0, 18, v.data()));
    }
    b.Status(0);
    b.Blank();
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(b.Take(), &r));
    ASSERT_EQ(0u, r);
    const std::vector<uint8_t> digits = Bcd(10, 2, true, {0x00, 0x00, 0x12, 0x34, 0x50});
    const Decoded d = Decode(Write(ds.get()));
    ASSERT_EQ(0u, d.result);
    ASSERT_EQ(4u, d.rows.size());
    EXPECT_EQ(d.rows[0].items[0].bytes, digits);
    EXPECT_EQ(d.rows[1].items[0].bytes, Bcd(10, 2, false, {0x00, 0x00, 0x01, 0x23, 0x45}));
    EXPECT_EQ(d.rows[2].items[0].bytes, Bcd(10, 2, false, {0x00, 0x00, 0x00, 0x78, 0x90}));
    EXPECT_EQ(1u, d.rows[3].items[0].status);
}

// ---- arrays and references keep their shape -----------------------------------------

TEST(DatasetPacketShapes, ArrayFieldComesBackWithTheSameFields) {
    FieldDesc fields[] = {Field("ID", FLD_INT32), Field("ITEMS", FLD_ARRAY, 3),
                          Field("ITEM", FLD_INT32), Field("NOTE", FLD_STRING, 8)};
    Ref<IDSBase> defined(Engine::Get().NewDataset());
    ASSERT_EQ(0u, defined->DefineFields(4, fields, "A"));
    const std::vector<FieldDesc> before = Fields(defined.get());
    ASSERT_EQ(6u, before.size());
    EXPECT_STREQ("ITEMS[2]", before[4].name);

    const std::vector<uint8_t> first = Write(defined.get());
    uint32_t r = 0;
    Ref<IDSBase> loaded(Load(first, &r));
    ASSERT_EQ(0u, r);
    const std::vector<FieldDesc> after = Fields(loaded.get());
    ASSERT_EQ(before.size(), after.size()) << "the array was expanded a second time";
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_STREQ(before[i].name, after[i].name);
        EXPECT_EQ(before[i].type, after[i].type);
        EXPECT_EQ(before[i].offset, after[i].offset);
    }
    EXPECT_EQ(first, Write(loaded.get()));
}

TEST(DatasetPacketShapes, ArrayRowsReadIntoTheRightFields) {
    // A packet with all elements, then one whose array has a single element
    // column: the values after the array must land in NOTE either way.
    for (bool expanded : {true, false}) {
        Builder b;
        b.Begin(expanded ? 5 : 3);
        b.Col("ITEMS", 0x030D0003);
        b.Col("ITEMS[0]", kInt32);
        if (expanded) {
            b.Col("ITEMS[1]", kInt32);
            b.Col("ITEMS[2]", kInt32);
        }
        b.Col("NOTE", kString1);
        b.Width(8);
        b.Close();
        b.Status(0);
        EXPECT_EQ(0u, b->PutValue(0, 0, ""));
        b.I32(7);
        if (expanded) {
            b.I32(8);
            b.I32(9);
        }
        b.Str("tail");
        uint32_t r = 0;
        Ref<IDSBase> ds(Load(b.Take(), &r));
        ASSERT_EQ(0u, r) << expanded;
        ASSERT_EQ(5u, Fields(ds.get()).size()) << expanded;
        const Decoded d = Decode(Write(ds.get()));
        ASSERT_EQ(1u, d.rows.size());
        ASSERT_EQ(5u, d.rows[0].items.size());
        EXPECT_EQ(7, d.rows[0].items[1].i32());
        EXPECT_EQ(expanded ? 0u : 1u, d.rows[0].items[2].status);
        if (expanded) {
            EXPECT_EQ(9, d.rows[0].items[3].i32());
        }
        EXPECT_EQ("tail", d.rows[0].items[4].str());
    }
}

TEST(DatasetPacketShapes, ReferenceColumnKeepsItsType) {
    Builder b;
    b.Begin(2);
    b.Col("ID", kInt32);
    b.Col("OWNER", 0x010F0008);
    b.Close();
    b.Status(0);
    b.I32(1);
    const uint8_t ref[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(0u, b->PutValue(0, 8, ref));
    const std::vector<uint8_t> packet = b.Take();
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(packet, &r));
    ASSERT_EQ(0u, r);
    EXPECT_EQ(FLD_REF, Fields(ds.get())[1].type);
    const std::vector<uint8_t> first = Write(ds.get());
    const Decoded d = Decode(first);
    EXPECT_EQ(0x010F0008u, uint32_t{d.top.columns[1].typeWord});
    EXPECT_EQ(std::vector<uint8_t>(ref, ref + 8), d.rows[0].items[1].bytes);
    EXPECT_EQ(first, RoundTrip(first));
}

// ---- metadata only, rows only, appending ---------------------------------------------

TEST(DatasetPacketRows, ClearRecordsLeavesMetadataWithoutRows) {
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(FlatPacket(), &r));
    ASSERT_EQ(0u, ds->ClearRecords());
    const Decoded d = Decode(Write(ds.get()));
    ASSERT_EQ(0u, d.result);
    EXPECT_EQ(6u, d.top.columns.size());
    EXPECT_TRUE(d.rows.empty());
}

TEST(DatasetPacketRows, RowsOnlyPacketCannotCreateADataset) {
    uint32_t r = 0;
    Ref<IDSBase> source(Load(FlatPacket(), &r));
    ASSERT_EQ(0u, source->WriteProperty(PROP_NO_METADATA, 1));
    const std::vector<uint8_t> rowsOnly = Write(source.get());
    ASSERT_GE(rowsOnly.size(), 24u);
    EXPECT_EQ(0, rowsOnly[18] & 1) << "no metadata bit";

    Ref<IDSBase> ds(Load(rowsOnly, &r));
    EXPECT_EQ(DSERR_NOMETADATA, r);
    DatasetProps props{};
    ds->ReadDatasetProps(&props);
    EXPECT_EQ(0u, uint32_t{props.fieldCount}) << "still uninitialised";
    Packet full(FlatPacket());
    EXPECT_EQ(0u, ds->LoadPacket(full.get(), 1));

    // A dataset created from a packet takes further rows of the same shape.
    Packet more(rowsOnly);
    EXPECT_EQ(0u, ds->LoadPacket(more.get(), 1));
    EXPECT_EQ(4u, Prop(ds.get(), 5)) << "visible rows of the last load";
    EXPECT_EQ(8u, Decode(Write(ds.get())).rows.size());

    // A defined dataset keeps no reader: nothing to append to.
    Ref<IDSBase> defined(Engine::Get().NewDataset());
    FieldDesc id = Field("ID", FLD_INT32);
    ASSERT_EQ(0u, defined->DefineFields(1, &id, "D"));
    EXPECT_EQ(DSERR_CANNOTAPPEND, defined->LoadPacket(more.get(), 1));
}

TEST(DatasetPacketRows, FailedAppendLeavesTheRowsAsTheyWere) {
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(NestedPacket(), &r));
    ASSERT_EQ(0u, r);
    const std::vector<uint8_t> before = Write(ds.get());
    ASSERT_EQ(0u, ds->WriteProperty(PROP_NO_METADATA, 1));
    std::vector<uint8_t> rows = Write(ds.get());
    ASSERT_EQ(0u, ds->WriteProperty(PROP_NO_METADATA, 0));
    rows.resize(rows.size() - 3);  // the last detail row is cut short
    Packet cut(rows);
    EXPECT_NE(0u, ds->LoadPacket(cut.get(), 1));
    EXPECT_EQ(before, Write(ds.get()));
}

// ---- damaged packets give result codes -------------------------------------------------

TEST(DatasetPacketDamage, TruncatedPacketsAreRefused) {
    const std::vector<uint8_t> packets[] = {FlatPacket(), NestedPacket()};
    for (const std::vector<uint8_t>& packet : packets) {
        for (size_t cut = 1; cut < packet.size(); ++cut) {
            uint32_t r = 0;
            Ref<IDSBase> ds(Load(std::vector<uint8_t>(packet.begin(), packet.begin() + cut), &r));
            EXPECT_NE(0u, r) << "cut at " << cut;
            DatasetProps props{};
            ds->ReadDatasetProps(&props);
            EXPECT_EQ(0u, uint32_t{props.fieldCount})
                << "a failed load leaves no fields, cut at " << cut;
        }
    }
}

TEST(DatasetPacketDamage, WrongCountsAndTypeWordsAreRefused) {
    const std::vector<uint8_t> good = NestedPacket();
    auto loadPatched = [&](size_t at, uint32_t value, size_t width) {
        std::vector<uint8_t> bad = good;
        std::memcpy(bad.data() + at, &value, width);
        uint32_t r = 0;
        Ref<IDSBase> ds(Load(bad, &r));
        return r;
    };
    uint32_t rows = 0;
    std::memcpy(&rows, good.data() + 14, 4);
    EXPECT_NE(0u, loadPatched(14, rows + 1, 4)) << "more rows announced than present";
    EXPECT_NE(0u, loadPatched(12, 3, 2)) << "more columns announced than present";
    // The first column's type word follows its 1-byte name length and name.
    const size_t firstWord = 24 + 1 + 2;
    EXPECT_EQ(DSERR_NOTSUPPORTED, loadPatched(firstWord, 0x003F0004, 4));
    EXPECT_EQ(DSERR_INVALIDFLDTYPE, loadPatched(firstWord, 0x00010003, 4));
    EXPECT_EQ(DSERR_INVALIDFLDTYPE, loadPatched(firstWord, 0x00810004, 4)) << "repeated column";
    uint32_t r = 0;
    Ref<IDSBase> empty(Load({}, &r));
    EXPECT_EQ(DSERR_DATAPACKETMISMATCH, r);
}

TEST(DatasetPacketDamage, NotFetchedLengthOnlyForBlobs) {
    // A not-fetched length carries no bytes; on anything but a BLOB column it
    // must be refused rather than read as a value of that length.
    for (uint32_t word : {0x00490004u, 0x004A0004u}) {
        Builder b;
        b.Begin(1);
        b.Col("V", word);
        b.Width(200);
        b.Close();
        b.Status(0);
        const uint8_t none = 0;
        ASSERT_EQ(0u, b->PutValue(0, 0x80010000u, &none));
        uint32_t r = 0;
        Ref<IDSBase> ds(Load(b.Take(), &r));
        EXPECT_EQ(DSERR_DATAPACKETMISMATCH, r) << std::hex << word;
    }
}

TEST(DatasetPacketDamage, NestingDeeperThanFifteenLevelsIsRefused) {
    // Sixteen nested levels, built byte by byte (the writer refuses them).
    std::vector<uint8_t> p(24, 0);
    const uint32_t magic = 0x5E1A7C2D;
    std::memcpy(p.data(), &magic, 4);
    p[4] = 2;
    p[8] = 24;
    p[12] = 1;
    p[18] = 1;
    auto column = [&](const char* name, uint32_t word) {
        p.push_back(static_cast<uint8_t>(std::strlen(name)));
        p.insert(p.end(), name, name + std::strlen(name));
        for (int i = 0; i < 4; ++i) p.push_back(static_cast<uint8_t>(word >> (8 * i)));
        p.insert(p.end(), {0, 0, 0, 0});
    };
    const int depth = 16;
    for (int i = 0; i < depth; ++i) column("T", TableWord(1));
    column("X", kInt32);
    for (int i = 0; i <= depth; ++i) p.insert(p.end(), {0, 0});
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(p, &r));
    EXPECT_EQ(DSERR_NOTSUPPORTED, r);
}

TEST(DatasetPacketDamage, FlippedBytesNeverCrash) {
    const std::vector<uint8_t> packets[] = {FlatPacket(), NestedPacket()};
    std::mt19937 random(7);
    for (const std::vector<uint8_t>& good : packets) {
        for (size_t at = 0; at < good.size(); ++at) {
            for (uint8_t value : {uint8_t{0}, uint8_t{0xFF}, static_cast<uint8_t>(random())}) {
                std::vector<uint8_t> bad = good;
                bad[at] = value;
                uint32_t r = 0;
                Ref<IDSBase> ds(Load(bad, &r));
                if (r == 0) {
                    // Whatever was accepted must write out and read back.
                    uint32_t w = 0;
                    const std::vector<uint8_t> again = Write(ds.get(), &w);
                    if (w == 0) {
                        EXPECT_EQ(0u, Decode(again).result) << "byte " << at;
                    }
                }
            }
        }
    }
}
