// Optional parameters: what each one does to a dataset read from a packet,
// which are kept and written back, and the parameter slots of the dataset.
#include <cstring>

#include "dataset_test_support.h"

using namespace dstest;

namespace {

uint32_t One() {
    return 1;
}

const std::vector<uint8_t>* ParamValue(
    const std::vector<std::pair<std::string, std::vector<uint8_t>>>& list, const char* name) {
    for (const auto& [n, v] : list) {
        if (n == name) return &v;
    }
    return nullptr;
}

// ID (Autoinc), NAME, CODE with dataset parameters of every kind.
std::vector<uint8_t> ParameterPacket(bool withRows = true) {
    Builder b;
    b.Begin(3);
    b.Col("ID", kInt32);
    b.ColParam("SUBTYPE", kString2, "Autoinc", 8);
    b.Col("NAME", kString1);
    b.Width(12);
    b.ColParam("SUBTYPE", kString2, "Mystery", 8);
    b.ColParam("MINVALUE", kInt32, "\x01\0\0\0", 4);
    b.Col("CODE", kInt32);
    const uint16_t one16 = 1;
    b.ColParam("CALCULATED", kUint16, &one16, 2);
    b.KeyList("DEFAULT_ORDER", {2 | 0x8000 | 0x4000});
    b.KeyList("UNIQUE_KEY", {1});
    const uint32_t one = One();
    b.Param("READONLY", kUint32, &one, 4);
    const uint32_t mode = 3;
    b.Param("UPDATEMODE", kUint32, &mode, 4);
    const uint32_t semantics = 7;
    b.Param("MD_SEMANTICS", kUint32, &semantics, 4);
    b.Param("DISABLE_DELETES", kUint32, &one, 4);
    b.Param("DISABLE_INSERTS", kUint32, &one, 4);
    b.Param("DISABLE_EDITS", kUint32, &one, 4);
    const uint32_t lcid = 1041;
    b.Param("LCID", kUint32, &lcid, 4);
    b.Param("TABLENAME", kString1 | 0, "orders", 6);
    const int32_t next = 42;
    b.Param("AUTOINCVALUE", kInt32, &next, 4);
    b.Param("MYSETTING", 0x80000000u | kUint32, &one, 4);
    b.Close();
    for (int i = 1; withRows && i <= 2; ++i) {
        b.Status(0);
        b.I32(i);
        b.Str(i == 1 ? "b" : "a");
        b.I32(i * 100);
    }
    return b.Take();
}

}  // namespace

TEST(DatasetParameters, ColumnParametersShapeTheFields) {
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(ParameterPacket(), &r));
    ASSERT_EQ(0u, r);
    const std::vector<FieldDesc> fields = Fields(ds.get());
    ASSERT_EQ(3u, fields.size());
    EXPECT_EQ(29u, fields[0].subtype);
    EXPECT_NE(0u, fields[0].attributes & ATTR_READONLY) << "Autoinc fields are read-only";
    EXPECT_EQ(0u, Prop(ds.get(), 6)) << "the dataset has an auto-increment field";
    EXPECT_EQ(12u, fields[1].units1);
    EXPECT_EQ(13u, fields[1].length);
    EXPECT_EQ(0xFFu, fields[1].subtype) << "unknown subtype name";
    EXPECT_EQ(1u, fields[2].calculated);

    // The unknown subtype and the unknown column parameter are kept.
    const char* name = "subtype";
    uint32_t word = 0;
    uint32_t length = 0;
    const void* value = nullptr;
    ASSERT_EQ(0u, ds->FindParameter(0, 2, &name, &word, &length, &value));
    EXPECT_STREQ("SUBTYPE", name);
    EXPECT_EQ(0, std::memcmp("Mystery", value, 7));
    name = nullptr;
    ASSERT_EQ(0u, ds->FindParameter(2, 2, &name, &word, &length, &value));
    EXPECT_STREQ("MINVALUE", name);
    EXPECT_EQ(DSERR_OBJNOTFOUND, ds->FindParameter(3, 2, &name, &word, &length, &value));
    name = "SUBTYPE";
    EXPECT_EQ(DSERR_OBJNOTFOUND, ds->FindParameter(0, 1, &name, &word, &length, &value))
        << "a known subtype is consumed";
}

TEST(DatasetParameters, DatasetParametersSetOrdersAndProperties) {
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(ParameterPacket(), &r));
    ASSERT_EQ(0u, r);
    const std::vector<IndexDesc> indexes = Indexes(ds.get());
    const IndexDesc* order = IndexNamed(indexes, "DEFAULT_ORDER");
    ASSERT_NE(nullptr, order);
    ASSERT_EQ(1u, order->fieldCount);
    EXPECT_EQ(2u, order->fields[0]);
    EXPECT_NE(0u, order->descending[0]);
    EXPECT_NE(0u, order->caseInsensitive[0]);
    const IndexDesc* key = IndexNamed(indexes, "UNIQUE_KEY");
    ASSERT_NE(nullptr, key);
    EXPECT_EQ(1u, key->unique);
    EXPECT_EQ(1u, key->fields[0]);
    IndexDesc found{};
    ASSERT_EQ(0u, ds->ReadProperty(PROP_KEY_INDEX, &found));
    EXPECT_STREQ("UNIQUE_KEY", found.name);

    EXPECT_EQ(1u, Prop(ds.get(), 1));
    EXPECT_EQ(3u, Prop(ds.get(), 18));
    EXPECT_EQ(0x2Cu, Prop(ds.get(), 12) & 0x2C) << "cascading deletes, updates, no master check";
    EXPECT_EQ(1u, Prop(ds.get(), 20));
    EXPECT_EQ(1u, Prop(ds.get(), 21));
    EXPECT_EQ(1u, Prop(ds.get(), 22));
    DatasetProps props{};
    ASSERT_EQ(0u, ds->ReadDatasetProps(&props));
    EXPECT_EQ(1u, uint32_t{props.readOnly});

    // The kept LCID is found by name, ignoring case.
    const char* name = "lcid";
    uint32_t word = 0;
    uint32_t length = 0;
    const void* value = nullptr;
    ASSERT_EQ(0u, ds->FindParameter(0, 0, &name, &word, &length, &value));
    ASSERT_EQ(4u, length);
    uint32_t lcid = 0;
    std::memcpy(&lcid, value, 4);
    EXPECT_EQ(1041u, lcid);
    EXPECT_TRUE(props.lcid == 1041u || props.lcid == 0u) << "0 when the locale is not installed";
    name = nullptr;
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->FindParameter(0, 0, &name, &word, &length, &value));
    name = "lcid";
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->FindParameter(0, 9, &name, &word, &length, &value));
}

TEST(DatasetParameters, WrittenBackInTheirPlace) {
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(ParameterPacket(), &r));
    const std::vector<uint8_t> first = Write(ds.get());
    const Decoded d = Decode(first);
    ASSERT_EQ(0u, d.result);
    // Kept parameters in their order; AUTOINCVALUE written anew.
    std::vector<std::string> names;
    for (const auto& [name, value] : d.top.params) names.push_back(name);
    const std::vector<std::string> expect{
        "AUTOINCVALUE",  "DEFAULT_ORDER", "UNIQUE_KEY",      "READONLY",
        "UPDATEMODE",    "MD_SEMANTICS",  "DISABLE_DELETES", "DISABLE_INSERTS",
        "DISABLE_EDITS", "LCID",          "TABLENAME",       "MYSETTING"};
    EXPECT_EQ(expect, names);
    const std::vector<uint8_t>* next = ParamValue(d.top.params, "AUTOINCVALUE");
    ASSERT_NE(nullptr, next);
    EXPECT_EQ(42, static_cast<int32_t>((*next)[0]));
    EXPECT_NE(nullptr, ParamValue(d.top.columnParams[0], "SUBTYPE"));
    EXPECT_NE(nullptr, ParamValue(d.top.columnParams[2], "CALCULATED"));
    uint32_t again = 0;
    Ref<IDSBase> reloaded(Load(first, &again));
    ASSERT_EQ(0u, again);
    EXPECT_EQ(first, Write(reloaded.get()));
}

TEST(DatasetParameters, UniqueKeyRefusesDuplicateRows) {
    Builder b;
    b.Begin(1);
    b.Col("ID", kInt32);
    b.KeyList("PRIMARY_KEY", {1});
    b.Close();
    for (int i = 0; i < 2; ++i) {
        b.Status(0);
        b.I32(5);
    }
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(b.Take(), &r));
    EXPECT_EQ(DSERR_KEYVIOL, r);
}

TEST(DatasetParameters, PrimaryKeyCompletesTheDefaultOrder) {
    Builder b;
    b.Begin(2);
    b.Col("ID", kInt32);
    b.Col("NAME", kString1);
    b.Width(5);
    b.KeyList("DEFAULT_ORDER", {2});
    b.KeyList("PRIMARY_KEY", {1});
    b.Close();
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(b.Take(), &r));
    ASSERT_EQ(0u, r);
    const std::vector<IndexDesc> indexes = Indexes(ds.get());
    const IndexDesc* primary = IndexNamed(indexes, "PRIMARY_KEY");
    ASSERT_NE(nullptr, primary);
    EXPECT_EQ(2u, primary->unique);
    const IndexDesc* order = IndexNamed(indexes, "DEFAULT_ORDER");
    ASSERT_NE(nullptr, order);
    ASSERT_EQ(2u, order->fieldCount);
    EXPECT_EQ(2u, order->fields[0]);
    EXPECT_EQ(1u, order->fields[1]);
    EXPECT_NE(0u, order->unique);
    EXPECT_EQ(DSERR_ACTIVEINDEX, ds->DropIndex("DEFAULT_ORDER"));
}

TEST(DatasetParameters, DeltaPacketsHaveNoLog) {
    Builder b;
    b.Begin(1);
    b.Col("ID", kInt32);
    const uint32_t one = 1;
    b.Param("DATASET_DELTA", kUint32, &one, 4);
    b.Close();
    for (uint8_t status : {REC_MODIFIED, REC_SUPERSEDED, REC_INSERTED}) {
        b.Status(status);
        b.I32(status);
    }
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(b.Take(), &r));
    ASSERT_EQ(0u, r);
    EXPECT_EQ(1u, Prop(ds.get(), 7));
    EXPECT_EQ(3u, Prop(ds.get(), 2)) << "a delta counts its records as changes";
    EXPECT_EQ(3u, Prop(ds.get(), 5)) << "every row of a delta is visible";
    const Decoded d = Decode(Write(ds.get()));
    ASSERT_EQ(3u, d.rows.size());
    EXPECT_EQ(REC_SUPERSEDED, d.rows[1].status);
}

TEST(DatasetParameters, BadParameterValuesFailTheLoad) {
    {
        Builder b;  // a subtype given as a number
        b.Begin(1);
        b.Col("ID", kInt32);
        b.ColParam("SUBTYPE", kInt32, "\x1d\0\0\0", 4);
        b.Close();
        uint32_t r = 0;
        Ref<IDSBase> ds(Load(b.Take(), &r));
        EXPECT_EQ(DSERR_INVALIDPARAM, r);
    }
    {
        Builder b;  // a change log with 2-byte elements
        b.Begin(1);
        b.Col("ID", kInt32);
        const uint8_t value[] = {3, 0, 0, 0, 1, 0, 0, 0, 4, 0};
        b.Param("CHANGE_LOG", kKeyList, value, sizeof value);
        b.Close();
        uint32_t r = 0;
        Ref<IDSBase> ds(Load(b.Take(), &r));
        EXPECT_EQ(DSERR_INVALIDPARAM, r);
    }
    {
        Builder b;  // an order over a field that does not exist
        b.Begin(1);
        b.Col("ID", kInt32);
        b.KeyList("DEFAULT_ORDER", {4});
        b.Close();
        uint32_t r = 0;
        Ref<IDSBase> ds(Load(b.Take(), &r));
        EXPECT_EQ(DSERR_INVALIDPARAM, r);
        DatasetProps props{};
        ds->ReadDatasetProps(&props);
        EXPECT_EQ(0u, uint32_t{props.readOnly});
        EXPECT_EQ(0u, uint32_t{props.fieldCount});
    }
}

TEST(DatasetParameters, FieldLinksOfANestedDetailTravel) {
    Builder b;
    b.Begin(2);
    b.Col("ID", kInt32);
    b.Col("LINES", TableWord(2));
    b.Col("ORDER_ID", kInt32);
    b.Col("QTY", kInt32);
    b.Close();
    const uint16_t links[] = {3, 0, 2, 1, 1};  // count 3 (32-bit), field 2, master 1, detail 1
    b.Param("MD_FIELDLINKS", 0x00810002, links, sizeof links);
    b.Close();
    const std::vector<uint8_t> first = RoundTripBytes(b.Take());
    const Decoded d = Decode(first);
    const std::vector<uint8_t>* value = ParamValue(d.top.params, "MD_FIELDLINKS");
    ASSERT_NE(nullptr, value);
    ASSERT_EQ(sizeof links, value->size());
    EXPECT_EQ(0, std::memcmp(links, value->data(), sizeof links));
}

TEST(DatasetParameters, StoreFindAndDropParameters) {
    Ref<IDSBase> ds(Engine::Get().NewDataset());
    FieldDesc fields[] = {Field("ID", FLD_INT32), Field("NAME", FLD_STRING, 10)};
    ASSERT_EQ(0u, ds->DefineFields(2, fields, "T"));
    const uint32_t v = 5;
    EXPECT_EQ(DSERR_NOTSUPPORTED, ds->StoreParameter(3, "X", kUint32, 4, &v));
    ASSERT_EQ(0u, ds->StoreParameter(2, "ALPHA", kUint32, 4, &v));
    ASSERT_EQ(0u, ds->StoreParameter(2, "BETA", kUint32, 4, &v));
    const char* name = nullptr;
    uint32_t word = 0;
    uint32_t length = 0;
    const void* value = nullptr;
    ASSERT_EQ(0u, ds->FindParameter(2, 2, &name, &word, &length, &value));
    EXPECT_STREQ("BETA", name);
    EXPECT_EQ(DSERR_OBJNOTFOUND, ds->DropParameter(1, "beta"));
    EXPECT_EQ(0u, ds->DropParameter(2, "beta"));
    EXPECT_EQ(DSERR_OBJNOTFOUND, ds->FindParameter(2, 2, &name, &word, &length, &value));
    // A layout parameter that would change a defined field is refused.
    const uint16_t width = 30;
    EXPECT_EQ(DSERR_NOTSUPPORTED, ds->StoreParameter(2, "WIDTH", kUint16, 2, &width));
    EXPECT_EQ(11u, Fields(ds.get())[1].length);
}
