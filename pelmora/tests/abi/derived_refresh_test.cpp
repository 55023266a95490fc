// Derived datasets made without their nested details, and refreshing master
// rows that carry nested detail rows, through the exported interfaces.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "delta_test_support.h"

namespace {

using dstest::Builder;
using enginetest::Engine;
using enginetest::Ref;

// Master (ID, ITEMS, NAME) keyed by ID; detail (DID, AMT) under ITEMS, keyed
// by DID when asked for.
enum : uint32_t { kId = 1, kItems = 2, kName = 3 };
using Detail = std::pair<int32_t, int32_t>;
struct Master {
    int32_t id;
    std::string name;
    std::vector<Detail> items;
};
using LiveDetails = std::map<int32_t, std::multiset<Detail>>;

std::vector<uint8_t> OrdersPacket(const std::vector<Master>& rows, bool detailKey = true) {
    Builder b;
    b.Begin(3);
    b.Col("ID", dstest::kInt32);
    b.Col("ITEMS", dstest::TableWord(2));
    b.Col("DID", dstest::kInt32);
    b.Col("AMT", dstest::kInt32);
    if (detailKey) b.KeyList("PRIMARY_KEY", {1});
    b.Close();
    b.Col("NAME", dstest::kString1);
    b.Width(10);
    b.KeyList("PRIMARY_KEY", {kId});
    b.Close();
    for (const Master& m : rows) {
        b.Status(0);
        b.I32(m.id);
        b.Rows(static_cast<uint32_t>(m.items.size()));
        for (const Detail& d : m.items) {
            b.Status(0);
            b.I32(d.first);
            b.I32(d.second);
        }
        b.Str(m.name);
    }
    return b.Take();
}

// The live details of every live master, as the dataset's packet carries them.
LiveDetails Details(IDSBase* ds) {
    LiveDetails out;
    for (const dstest::DecodedRow& row : dstest::Decode(dstest::Write(ds)).rows) {
        if ((row.status & (REC_SUPERSEDED | REC_DELETED)) != 0) continue;
        auto& items = out[row.items[kId - 1].i32()];
        for (const dstest::DecodedRow& d : row.items[kItems - 1].details) {
            if ((d.status & (REC_SUPERSEDED | REC_DELETED)) == 0)
                items.insert({d.items[0].i32(), d.items[1].i32()});
        }
    }
    return out;
}

// The n-th record (1-based) of a cursor's order, made current.
std::vector<uint8_t> At(IDSCursor* c, int32_t n) {
    DatasetProps props{};
    c->ReadCursorProps(&props);
    std::vector<uint8_t> rec(props.recordSize);
    c->GoBeforeFirst();
    EXPECT_EQ(0u, ResultCode(c->MoveBy(n)));
    c->ReadCurrentRecord(rec.data());
    return rec;
}

// ---- derived datasets without nested details ----------------------------------------------

// Every kind: the derived packet loads, its nested field still in its place.
TEST(DerivedWithoutDetails, PacketLoadsWithTheNestedFieldInPlace) {
    uint32_t r = 0;
    Ref<IDSBase> base(dstest::Load(OrdersPacket({{1, "a", {{1, 10}, {2, 20}}}}), &r));
    ASSERT_EQ(0u, r);
    for (uint32_t kind : {1u, 2u, 4u}) {
        Ref<IDSBase> derived;
        ASSERT_EQ(0u, ResultCode(base->MakeDerived(kind, 0, 1, derived.out())));
        Ref<IDSBase> again(dstest::Load(dstest::Write(derived.get()), &r));
        ASSERT_EQ(0u, r) << "kind " << kind;
        EXPECT_EQ(dstest::Fields(derived.get()).size(), dstest::Fields(again.get()).size());
        Ref<IDSBase> nested;
        EXPECT_EQ(0u,
                  ResultCode(again->GetNestedDataset(kItems + (kind == 2 ? 6 : 0), nested.out())));
    }
}

// ---- refreshing masters with details ------------------------------------------------------

// With pending changes of a master and of its details: the same rows again
// change nothing; changed rows make the details follow the packet while the
// pending changes stay, and nothing is logged.
TEST(RefreshDetails, EqualDetailsStayAndOthersFollowThePacket) {
    const std::vector<Master> orders = {{1, "one", {{1, 10}, {2, 20}, {3, 30}, {4, 40}}},
                                        {2, "two", {{5, 50}}}};
    for (bool detailKey : {true, false}) {
        uint32_t r = 0;
        Ref<IDSBase> ds(dstest::Load(OrdersPacket(orders, detailKey), &r));
        Ref<IDSBase> items;
        ASSERT_EQ(0u, ResultCode(ds->GetNestedDataset(kItems, items.out())));
        Ref<IDSCursor> master(Engine::Get().NewCursor());
        Ref<IDSCursor> detail(Engine::Get().NewCursor());
        master->AttachDataset(ds.get());
        detail->AttachDataset(items.get());
        ASSERT_EQ(0u, ResultCode(master->LinkDetailCursor(0, nullptr, nullptr, detail.get())));
        std::vector<uint8_t> rec = At(master.get(), 2);
        master->WriteFieldValue(rec.data(), kName, "renamed");
        ASSERT_EQ(0u, ResultCode(master->UpdateCurrentRecord(rec.data())));
        At(master.get(), 1);
        rec = At(detail.get(), 2);
        const int32_t values[] = {25, 9, 90};
        detail->WriteFieldValue(rec.data(), 2, &values[0]);
        ASSERT_EQ(0u, ResultCode(detail->UpdateCurrentRecord(rec.data())));
        detail->PrepareRecord(rec.data());
        detail->WriteFieldValue(rec.data(), 1, &values[1]);
        detail->WriteFieldValue(rec.data(), 2, &values[2]);
        ASSERT_EQ(0u, ResultCode(detail->AddRecord(rec.data())));
        const uint32_t changes = dstest::Prop(ds.get(), 2);

        const std::vector<uint8_t> before = dstest::Write(ds.get());
        enginetest::Packet same(OrdersPacket(orders, detailKey));
        ASSERT_EQ(0u, ResultCode(ds->RefreshFromPacket(same.get(), 0))) << "key " << detailKey;
        EXPECT_EQ(before, dstest::Write(ds.get())) << "key " << detailKey;

        enginetest::Packet other(
            OrdersPacket({{1, "one", {{1, 10}, {2, 20}, {3, 33}, {6, 60}}}}, detailKey));
        ASSERT_EQ(0u, ResultCode(ds->RefreshFromPacket(other.get(), 0))) << "key " << detailKey;
        EXPECT_EQ((LiveDetails{{1, {{1, 10}, {2, 25}, {3, 33}, {6, 60}, {9, 90}}}, {2, {{5, 50}}}}),
                  Details(ds.get()))
            << "key " << detailKey;
        EXPECT_EQ(changes, dstest::Prop(ds.get(), 2));
    }
}

}  // namespace
