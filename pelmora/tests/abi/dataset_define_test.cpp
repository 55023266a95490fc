// Defining datasets: fields from descriptors and how they read back, run-time
// fields, nested datasets, derived datasets, embedded details, calculated
// fields and the numbered properties.
#include <cstring>
#include <vector>

#include "dataset_test_support.h"

using namespace dstest;

namespace {

IDSBase* Define(std::vector<FieldDesc> fields, const char* name = "T") {
    IDSBase* ds = Engine::Get().NewDataset();
    EXPECT_EQ(0u, ds->DefineFields(static_cast<uint32_t>(fields.size()), fields.data(), name));
    return ds;
}

std::vector<uint8_t> IdPacket(int rows) {
    Builder b;
    b.Begin(2);
    b.Col("ID", kInt32);
    b.Col("NAME", kString1);
    b.Width(10);
    b.Close();
    for (int i = 1; i <= rows; ++i) {
        b.Status(0);
        b.I32(i);
        b.Str("n" + std::to_string(i));
    }
    return b.Take();
}

}  // namespace

// ---- fields from descriptors -------------------------------------------------------------

TEST(DatasetDefine, FieldsAndPropsReadBack) {
    Ref<IDSBase> ds(Define({Field("CODE", FLD_STRING, 10), Field("N", FLD_INT32),
                            Field("OK", FLD_BOOL16), Field("AMOUNT", FLD_BCD, 5, 2)},
                           "SALES"));
    const std::vector<FieldDesc> f = Fields(ds.get());
    ASSERT_EQ(4u, f.size());
    const uint32_t offsets[] = {0, 11, 15, 17};
    const uint32_t widths[] = {11, 4, 2, 5};
    for (uint32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(offsets[k], f[k].offset);
        EXPECT_EQ(widths[k], f[k].length);
        EXPECT_EQ(22u + k, f[k].indicatorOffset);
        EXPECT_EQ(k + 1, f[k].fieldId);
    }
    DatasetProps props;
    std::memset(&props, 0xAB, sizeof props);
    ASSERT_EQ(0u, ds->ReadDatasetProps(&props));
    EXPECT_STREQ("SALES", props.name);
    EXPECT_EQ(0, props.name[260]);
    EXPECT_EQ(4u, uint32_t{props.fieldCount});
    EXPECT_EQ(26u, uint32_t{props.recordSize});
    EXPECT_EQ(20u, uint32_t{props.bookmarkSize});
    EXPECT_EQ(0u, uint32_t{props.readOnly});
    EXPECT_EQ(2u, uint32_t{props.indexCount}) << "default order and change index";
    EXPECT_EQ(0u, uint32_t{props.delta});
    for (uint8_t b : props.reserved) EXPECT_EQ(0, b);
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->ReadDatasetProps(nullptr));
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->ListFields(nullptr));

    // A second definition changes nothing.
    FieldDesc other = Field("X", FLD_INT16);
    EXPECT_EQ(0u, ds->DefineFields(1, &other, "OTHER"));
    EXPECT_EQ(4u, Fields(ds.get()).size());
}

TEST(DatasetDefine, RefusedLayoutLeavesTheDatasetUninitialised) {
    Ref<IDSBase> ds(Engine::Get().NewDataset());
    FieldDesc bad[] = {Field("ID", FLD_INT32), Field("S", FLD_STRING)};
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->DefineFields(2, bad, "T"));
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->DefineFields(1, nullptr, "T"));
    FieldDesc good = Field("ID", FLD_INT32);
    EXPECT_EQ(0u, ds->DefineFields(1, &good, "T")) << "a failed definition may be retried";
    EXPECT_EQ(1u, Fields(ds.get()).size());
}

TEST(DatasetDefine, ArrayFieldsBeforeAndAfterExpansion) {
    Ref<IDSBase> ds(
        Define({Field("ID", FLD_INT32), Field("ITEMS", FLD_ARRAY, 3), Field("ITEM", FLD_ADT, 2),
                Field("A", FLD_INT32), Field("B", FLD_INT16)}));
    const std::vector<FieldDesc> f = Fields(ds.get());
    ASSERT_EQ(11u, f.size());
    EXPECT_STREQ("ITEMS[1]", f[5].name);
    EXPECT_EQ(9u, f[1].units2);
    ASSERT_EQ(0u, ds->WriteProperty(PROP_BEFORE_EXPANSION, 1));
    const std::vector<FieldDesc> before = Fields(ds.get());
    ASSERT_EQ(5u, before.size()) << "array, one element block";
    EXPECT_STREQ("ITEMS[0]", before[2].name);
    EXPECT_STREQ("B", before[4].name);

    // Full names leave the array out; parents are field ids.
    char name[261] = {};
    uint32_t field = 7;
    std::memcpy(name, &field, 4);
    ASSERT_EQ(0u, ds->ReadProperty(PROP_FULL_NAME, name));
    EXPECT_STREQ("ITEMS[1].A", name);
    uint32_t parent = 7;
    ASSERT_EQ(0u, ds->ReadProperty(PROP_PARENT, &parent));
    EXPECT_EQ(6u, parent);

    // Parameters of a later element are those of the first element.
    const uint32_t v = 9;
    ASSERT_EQ(0u, ds->StoreParameter(4, "MINVALUE", kInt32, 4, &v));
    const char* pname = "minvalue";
    uint32_t word = 0;
    uint32_t length = 0;
    const void* value = nullptr;
    EXPECT_EQ(0u, ds->FindParameter(0, 7, &pname, &word, &length, &value));
}

// ---- run-time fields -------------------------------------------------------------------------

TEST(DatasetDefine, RuntimeFieldsAreAddedAndRemoved) {
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(IdPacket(3), &r));
    ASSERT_EQ(0u, r);
    FieldDesc stored = Field("ID", FLD_INT32);
    stored.calculated = 1;
    EXPECT_EQ(DSERR_NAMENOTUNIQUE, ds->AddRuntimeField(&stored)) << "the name of a stored field";
    FieldDesc calc = Field("TOTAL", FLD_FLOAT);
    calc.calculated = 1;
    ASSERT_EQ(0u, ds->AddRuntimeField(&calc));
    EXPECT_EQ(0u, ds->AddRuntimeField(&calc)) << "the same calculated field again";
    FieldDesc clash = Field("TOTAL", FLD_INT32);
    EXPECT_EQ(DSERR_NAMENOTUNIQUE, ds->AddRuntimeField(&clash));
    FieldDesc unnamed = Field("", FLD_INT32);
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->AddRuntimeField(&unnamed));
    FieldDesc structured = Field("S", FLD_ADT, 1);
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->AddRuntimeField(&structured));

    std::vector<FieldDesc> f = Fields(ds.get());
    ASSERT_EQ(3u, f.size());
    EXPECT_EQ(2u, f[2].calculated);
    EXPECT_EQ(15u, f[2].offset);
    // Run-time fields stay out of packets.
    const Decoded d = Decode(Write(ds.get()));
    EXPECT_EQ(2u, d.top.columns.size());
    EXPECT_EQ(3u, d.rows.size());

    // Not while an index is keyed on the field: records would shrink under it.
    IndexDesc byTotal{};
    std::strcpy(byTotal.name, "BYTOTAL");
    byTotal.fieldCount = 1;
    byTotal.fields[0] = 3;
    ASSERT_EQ(0u, ds->MakeIndex(&byTotal));
    EXPECT_EQ(DSERR_ACTIVEINDEX, ds->AddRuntimeField(nullptr));
    EXPECT_EQ(3u, Fields(ds.get()).size());
    ASSERT_EQ(0u, ds->DropIndex("BYTOTAL"));

    ASSERT_EQ(0u, ds->AddRuntimeField(nullptr));
    EXPECT_EQ(2u, Fields(ds.get()).size());

    Ref<IDSBase> fresh(Engine::Get().NewDataset());
    EXPECT_EQ(DSERR_NOTSUPPORTED, fresh->AddRuntimeField(&calc));
}

namespace {

struct CalcState {
    int calls = 0;
    uint32_t offsetId = 0;
    uint32_t offsetTotal = 0;
    uint32_t indicatorTotal = 0;
};

uint32_t Doubler(void* data, void* record) {
    auto* state = static_cast<CalcState*>(data);
    auto* bytes = static_cast<uint8_t*>(record);
    ++state->calls;
    int32_t id = 0;
    std::memcpy(&id, bytes + state->offsetId, 4);
    const int32_t total = id * 2;
    std::memcpy(bytes + state->offsetTotal, &total, 4);
    bytes[state->indicatorTotal] = 0;
    return id == 3 ? 77 : 0;  // the last record reports a failure
}

}  // namespace

TEST(DatasetDefine, CalculationCallbackFillsCalculatedFields) {
    Builder b;
    b.Begin(2);
    b.Col("ID", kInt32);
    b.Col("TWICE", kInt32);
    const uint16_t one = 1;
    b.ColParam("CALCULATED", kUint16, &one, 2);
    b.Close();
    for (int i = 1; i <= 3; ++i) {
        b.Status(0);
        b.I32(i);
        b.Blank();
    }
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(b.Take(), &r));
    ASSERT_EQ(0u, r);
    const std::vector<FieldDesc> f = Fields(ds.get());
    CalcState state{0, f[0].offset, f[1].offset, f[1].indicatorOffset};
    EXPECT_EQ(77u, ds->SetCalcCallback(&state, Doubler)) << "the result for the last record";
    EXPECT_EQ(3, state.calls);
    const Decoded d = Decode(Write(ds.get()));
    ASSERT_EQ(3u, d.rows.size());
    EXPECT_EQ(2, d.rows[0].items[1].i32());
    EXPECT_EQ(4, d.rows[1].items[1].i32());
    EXPECT_EQ(1u, d.rows[2].items[1].status) << "a failing call stores nothing";
    EXPECT_EQ(0u, ds->SetCalcCallback(nullptr, nullptr));
}

// ---- nested, derived and embedded datasets ----------------------------------------------

TEST(DatasetDefine, DerivedDatasetsTakeTheShape) {
    Ref<IDSBase> ds(Define({Field("ID", FLD_INT32), Field("LINES", FLD_TABLE, 1, 1),
                            Field("QTY", FLD_INT32), Field("NAME", FLD_STRING, 10)},
                           "ORDERS"));
    FieldDesc f2 = Fields(ds.get())[2];
    ASSERT_STREQ("NAME", f2.name);
    ASSERT_EQ(0u, ds->StoreParameter(0, "TABLENAME", kString1, 6, "orders"));
    const uint32_t v = 1;
    ASSERT_EQ(0u, ds->StoreParameter(0, "PLAIN", kUint32, 4, &v));

    Ref<IDSBase> delta;
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->MakeDerived(3, 0, 0, delta.out()));
    ASSERT_EQ(0u, ds->MakeDerived(1, 1, 1, delta.out()));
    DatasetProps props{};
    delta->ReadDatasetProps(&props);
    EXPECT_STREQ("ORDERS_DELTA", props.name);
    EXPECT_EQ(1u, uint32_t{props.delta});
    EXPECT_EQ(3u, uint32_t{props.fieldCount});
    const char* name = "TABLENAME";
    uint32_t word = 0;
    uint32_t length = 0;
    const void* value = nullptr;
    EXPECT_EQ(0u, delta->FindParameter(0, 0, &name, &word, &length, &value));
    name = "PLAIN";
    EXPECT_EQ(DSERR_OBJNOTFOUND, delta->FindParameter(0, 0, &name, &word, &length, &value));
    Ref<IDSBase> nested;
    EXPECT_EQ(0u, delta->GetNestedDataset(2, nested.out()));

    Ref<IDSBase> errors;
    ASSERT_EQ(0u, ds->MakeDerived(2, 1, 1, errors.out()));
    const std::vector<FieldDesc> fields = Fields(errors.get());
    ASSERT_EQ(9u, fields.size());
    EXPECT_STREQ("ERROR_RECORDNO", fields[0].name);
    EXPECT_STREQ("ERROR_CODE", fields[5].name);
    EXPECT_EQ(256u, fields[2].length);
    EXPECT_STREQ("ID", fields[6].name);
    EXPECT_EQ(1u, Prop(errors.get(), 0));
    EXPECT_EQ(0u, errors->GetNestedDataset(8, nested.out())) << "nested field moved by six";
}

TEST(DatasetDefine, EmbeddedDetailFollowsItsMaster) {
    uint32_t r = 0;
    Ref<IDSBase> master(Load(IdPacket(2), &r));
    Builder b;
    b.Begin(2);
    b.Col("MID", kInt32);
    b.Col("QTY", kInt32);
    b.Close();
    for (int i : {1, 2, 1}) {
        b.Status(0);
        b.I32(i);
        b.I32(i * 10);
    }
    Ref<IDSBase> detail(Load(b.Take(), &r));
    ASSERT_EQ(0u, r);
    const uint32_t masterFields[] = {1};
    const uint32_t detailFields[] = {1};
    EXPECT_EQ(DSERR_INVALIDPARAM,
              master->EmbedDetail(nullptr, 1, masterFields, detailFields, "L", nullptr));
    ASSERT_EQ(0u,
              master->EmbedDetail(detail.get(), 1, masterFields, detailFields, "LINES", nullptr));
    const std::vector<FieldDesc> mf = Fields(master.get());
    ASSERT_EQ(3u, mf.size());
    EXPECT_EQ(FLD_TABLE, mf[2].type);
    Ref<IDSBase> nested;
    ASSERT_EQ(0u, master->GetNestedDataset(3, nested.out()));
    EXPECT_EQ(detail.get(), nested.get());
    EXPECT_EQ(1u, Prop(master.get(), 12) & 0x01);
    EXPECT_EQ(0x12u, Prop(detail.get(), 12) & 0x12);
    const std::vector<FieldDesc> df = Fields(detail.get());
    ASSERT_EQ(3u, df.size());
    EXPECT_STREQ("LINK_FIELD", df[2].name);
    EXPECT_EQ(ATTR_HIDDEN | ATTR_LINK, df[2].attributes);
    const std::vector<IndexDesc> indexes = Indexes(detail.get());
    const IndexDesc* link = IndexNamed(indexes, "LINK_INDEX");
    ASSERT_NE(nullptr, link);
    EXPECT_EQ(3u, link->fields[0]);
    EXPECT_EQ(1u, link->fields[1]);
}

// ---- numbered properties ------------------------------------------------------------------

TEST(DatasetProperties, ReadAndWriteById) {
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(IdPacket(3), &r));
    ASSERT_EQ(0u, r);
    EXPECT_EQ(1u, Prop(ds.get(), 0));
    ASSERT_EQ(0u, ds->WriteProperty(PROP_READONLY, 1));
    EXPECT_EQ(1u, Prop(ds.get(), 1));
    EXPECT_EQ(0u, Prop(ds.get(), 2)) << "no log entries";
    EXPECT_EQ(0u, Prop(ds.get(), 4)) << "complete";
    ASSERT_EQ(0u, ds->WriteProperty(PROP_PARTIAL, 1)) << "it kept its reader";
    EXPECT_EQ(1u, Prop(ds.get(), 4));
    EXPECT_EQ(DSERR_NOTSUPPORTED, ds->WriteProperty(PROP_PARTIAL, 1)) << "already partial";
    EXPECT_EQ(3u, Prop(ds.get(), 5));
    EXPECT_EQ(1u, Prop(ds.get(), 6));
    EXPECT_EQ(DSERR_NOTSUPPORTED, ds->WriteProperty(PROP_NO_AUTOINC, 1))
        << "no auto-increment field to drop";
    EXPECT_EQ(0u, Prop(ds.get(), 7));
    ASSERT_EQ(0u, ds->WriteProperty(PROP_FLAGS, 0x04));
    ASSERT_EQ(0u, ds->WriteProperty(PROP_FLAGS, 0x20));
    EXPECT_EQ(0x24u, Prop(ds.get(), 12));
    EXPECT_EQ(0u, ds->ReadProperty(PROP_UNUSED, nullptr));
    uint32_t out = 0;
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->ReadProperty(PROP_UNUSED, &out));
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->ReadProperty(23, &out));
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->WriteProperty(23, 1));
    EXPECT_EQ(DSERR_INVALIDPARAM, ds->WriteProperty(PROP_VISIBLE_LAST_LOAD, 1))
        << "read-only property";
    EXPECT_EQ(DSERR_NOSUCHINDEX, ds->ReadProperty(PROP_KEY_INDEX, &out)) << "no unique index";
    ASSERT_EQ(0u, ds->WriteProperty(PROP_CHANGE_FILTER, 4));
    EXPECT_EQ(4u, Prop(ds.get(), 16));
    for (uint32_t id : {3u, 9u, 18u, 19u, 20u, 21u, 22u}) {
        ASSERT_EQ(0u, ds->WriteProperty(id, 5)) << id;
        EXPECT_EQ(5u, Prop(ds.get(), id)) << id;
    }
    EXPECT_EQ(DSERR_ACTIVEINDEX, ds->DropIndex("DEFAULT_ORDER"));
    uint32_t field = 2;
    EXPECT_EQ(0u, ds->ReadProperty(PROP_PARENT, &field));
    EXPECT_EQ(0u, field);
}

TEST(DatasetProperties, SwitchesPassToNestedDatasets) {
    Ref<IDSBase> ds(
        Define({Field("ID", FLD_INT32), Field("LINES", FLD_TABLE, 1, 1), Field("QTY", FLD_INT32)}));
    Ref<IDSBase> nested;
    ASSERT_EQ(0u, ds->GetNestedDataset(0, nested.out()));
    for (uint32_t id : {0u, 19u, 20u, 21u, 22u}) {
        const uint32_t value = id == 0 ? 0 : 1;
        ASSERT_EQ(0u, ds->WriteProperty(id, value));
        EXPECT_EQ(value, Prop(nested.get(), id)) << id;
    }
    ASSERT_EQ(0u, ds->WriteProperty(PROP_READONLY, 1));
    EXPECT_EQ(0u, Prop(nested.get(), 1)) << "read-only is the dataset's own";
}

TEST(DatasetProperties, DeltaChangeCountIsItsRecordCount) {
    Ref<IDSBase> ds(Define({Field("ID", FLD_INT32)}));
    const uint32_t one = 1;
    ASSERT_EQ(0u, ds->StoreParameter(0, "DATASET_DELTA", kUint32, 4, &one));
    EXPECT_EQ(1u, Prop(ds.get(), 7));
    EXPECT_EQ(0u, Prop(ds.get(), 2));
    DatasetProps props{};
    ds->ReadDatasetProps(&props);
    EXPECT_EQ(1u, uint32_t{props.indexCount}) << "a delta has no change index";
}

// ---- what a cursor sees of a loaded dataset -----------------------------------------------

namespace {

void CountCall(void* data) {
    ++*static_cast<int*>(data);
}

}  // namespace

TEST(DatasetCursorView, LoadedRowsAndChangeNotifiers) {
    uint32_t r = 0;
    Ref<IDSBase> ds(Load(IdPacket(3), &r));
    ASSERT_EQ(0u, r);
    Ref<IDSCursor> cursor(Engine::Get().NewCursor());
    ASSERT_EQ(0u, cursor->AttachDataset(ds.get()));
    uint32_t count = 0;
    ASSERT_EQ(0u, cursor->CountRecords(&count));
    EXPECT_EQ(3u, count);
    ASSERT_EQ(0u, cursor->MoveBy(2));
    char name[11] = {};
    uint32_t blank = 1;
    ASSERT_EQ(0u, cursor->ReadFieldValue(nullptr, 2, name, &blank));
    EXPECT_STREQ("n2", name);
    EXPECT_EQ(0u, blank);

    // Every registered cursor hears of a change made through another one.
    int calls = 0;
    Ref<IDSCursor> watcher(Engine::Get().NewCursor());
    ASSERT_EQ(0u, watcher->AttachDataset(ds.get()));
    ASSERT_EQ(0u, watcher->SetChangeNotifier(&calls, CountCall));
    ASSERT_EQ(0u, cursor->RemoveCurrentRecord());
    EXPECT_EQ(1, calls);
    ASSERT_EQ(0u, watcher->SetChangeNotifier(nullptr, nullptr));
    ASSERT_EQ(0u, cursor->GoToOrdinal(1));
    ASSERT_EQ(0u, cursor->RemoveCurrentRecord());
    EXPECT_EQ(1, calls) << "an unregistered cursor hears nothing";
    EXPECT_EQ(2u, Prop(ds.get(), 2)) << "two deletions logged";
    const Decoded d = Decode(Write(ds.get()));
    ASSERT_EQ(3u, d.rows.size()) << "deleted rows go out with their status";
    EXPECT_EQ(REC_DELETED, d.rows[0].status);
}

TEST(DatasetCursorView, NestedDetailsFollowTheMasterCursor) {
    Ref<IDSBase> ds(Engine::Get().NewDataset());
    FieldDesc fields[] = {Field("ID", FLD_INT32), Field("LINES", FLD_TABLE, 1, 1),
                          Field("QTY", FLD_INT32)};
    ASSERT_EQ(0u, ds->DefineFields(3, fields, "M"));
    Ref<IDSBase> nested;
    ASSERT_EQ(0u, ds->GetNestedDataset(2, nested.out()));
    const IndexDesc* order = nullptr;
    const std::vector<IndexDesc> indexes = Indexes(nested.get());
    order = IndexNamed(indexes, "DEFAULT_ORDER");
    ASSERT_NE(nullptr, order);
    ASSERT_EQ(1u, order->fieldCount) << "details are ordered by their master's link";
    EXPECT_EQ(2u, order->fields[0]);
}
