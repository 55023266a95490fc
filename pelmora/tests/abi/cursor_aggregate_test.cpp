// Aggregates through the cursor's interface slots: grouped and whole-dataset
// sums, counts, minima and maxima kept right through random edits, checked
// against a plain recomputation over the records.
#include <map>
#include <random>
#include <vector>

#include "dataset_test_support.h"
#include "expr_builder.h"

namespace {

using dstest::Field;
using enginetest::Engine;
using enginetest::Ref;

std::vector<uint8_t> Aggregate(const char* function, const char* field) {
    pelmora::exprbuild::ExprBuilder b;
    return b.Build(b.Function(function, {b.Field(field)}));
}

struct Expected {
    int64_t sum = 0;
    int32_t count = 0, min = 0, max = 0;
    void Add(int32_t v) {
        min = count ? std::min(min, v) : v;
        max = count ? std::max(max, v) : v;
        sum += v;
        ++count;
    }
};

// With logging off every modification rewrites the record in place, and the
// aggregates must take out the old values before the new ones go in.
void RandomEditsKeepAggregates(bool logging) {
    Ref<IDSBase> ds(Engine::Get().NewDataset());
    const FieldDesc fields[] = {Field("GRP", FLD_INT32), Field("VAL", FLD_INT32)};
    ASSERT_EQ(0u, ds->DefineFields(2, fields, "T"));
    ASSERT_EQ(0u, ds->WriteProperty(PROP_LOGGING, logging ? 1 : 0));
    Ref<IDSCursor> cursor(Engine::Get().NewCursor());
    ASSERT_EQ(0u, cursor->AttachDataset(ds.get()));
    IndexDesc byGroup{};
    std::strcpy(byGroup.name, "BYGRP");
    byGroup.fieldCount = 1;
    byGroup.fields[0] = 1;
    ASSERT_EQ(0u, ds->MakeIndex(&byGroup));
    ASSERT_EQ(0u, cursor->SelectIndex("BYGRP"));

    const char* functions[] = {"SUM", "COUNT", "MIN", "MAX"};
    std::vector<uint32_t> grouped, whole;
    for (const char* f : functions) {
        const std::vector<uint8_t> e = Aggregate(f, "VAL");
        uint32_t h = 0;
        ASSERT_EQ(0u, cursor->AttachAggregate(1, static_cast<uint32_t>(e.size()), e.data(), &h));
        grouped.push_back(h);
        ASSERT_EQ(0u, cursor->AttachAggregate(0, static_cast<uint32_t>(e.size()), e.data(), &h));
        whole.push_back(h);
    }
    auto readOn = [](IDSCursor* c, uint32_t handle) {
        FieldDesc desc{};
        EXPECT_EQ(0u, c->ReadAggregateDesc(handle, &desc));
        uint8_t value[16] = {};
        uint32_t blank = 0;
        EXPECT_EQ(0u, c->ReadAggregateValue(handle, value, &blank));
        if (desc.type == FLD_FLOAT) {
            double d = 0;
            std::memcpy(&d, value, 8);
            return static_cast<int64_t>(d);
        }
        int32_t i = 0;
        std::memcpy(&i, value, 4);
        return static_cast<int64_t>(i);
    };
    auto read = [&](uint32_t handle) { return readOn(cursor.get(), handle); };

    // A sum over the default order, which has no key fields.
    Ref<IDSCursor> plain(Engine::Get().NewCursor());
    ASSERT_EQ(0u, plain->AttachDataset(ds.get()));
    uint32_t plainSum = 0;
    {
        const std::vector<uint8_t> e = Aggregate("SUM", "VAL");
        ASSERT_EQ(0u,
                  plain->AttachAggregate(0, static_cast<uint32_t>(e.size()), e.data(), &plainSum));
    }

    std::mt19937 rng(7);
    DatasetProps props{};
    ASSERT_EQ(0u, cursor->ReadCursorProps(&props));
    std::vector<uint8_t> buf(props.recordSize);
    for (int step = 0; step < 200; ++step) {
        uint32_t count = 0;
        ASSERT_EQ(0u, cursor->CountRecords(&count));
        const uint32_t op = count == 0 ? 0 : rng() % 10;
        if (op < 5) {
            const int32_t grp = rng() % 4, val = static_cast<int32_t>(rng() % 21) - 10;
            ASSERT_EQ(0u, cursor->PrepareRecord(buf.data()));
            ASSERT_EQ(0u, cursor->WriteFieldValue(buf.data(), 1, &grp));
            ASSERT_EQ(0u, cursor->WriteFieldValue(buf.data(), 2, &val));
            ASSERT_EQ(0u, cursor->AddRecord(buf.data()));
        } else {
            ASSERT_EQ(0u, cursor->GoToOrdinal(1 + rng() % count));
            if (op < 8) {
                ASSERT_EQ(0u, cursor->ReadCurrentRecord(buf.data()));
                const int32_t val = static_cast<int32_t>(rng() % 21) - 10;
                ASSERT_EQ(0u, cursor->WriteFieldValue(buf.data(), 2, &val));
                ASSERT_EQ(0u, cursor->UpdateCurrentRecord(buf.data()));
            } else {
                ASSERT_EQ(0u, cursor->RemoveCurrentRecord());
            }
        }

        // Recompute from the records in index order.
        std::map<int32_t, Expected> groups;
        std::map<int32_t, uint32_t> lastOrdinal;
        Expected all;
        ASSERT_EQ(0u, cursor->CountRecords(&count));
        for (uint32_t n = 1; n <= count; ++n) {
            ASSERT_EQ(0u, cursor->GoToOrdinal(n));
            int32_t grp = 0, val = 0;
            ASSERT_EQ(0u, cursor->ReadFieldValue(nullptr, 1, &grp, nullptr));
            ASSERT_EQ(0u, cursor->ReadFieldValue(nullptr, 2, &val, nullptr));
            groups[grp].Add(val);
            all.Add(val);
            lastOrdinal[grp] = n;
        }
        if (count == 0) continue;
        ASSERT_EQ(0u, cursor->GoToOrdinal(1));
        EXPECT_EQ(all.sum, read(whole[0])) << "step " << step;
        EXPECT_EQ(all.count, read(whole[1])) << "step " << step;
        EXPECT_EQ(all.min, read(whole[2])) << "step " << step;
        EXPECT_EQ(all.max, read(whole[3])) << "step " << step;
        EXPECT_EQ(all.sum, readOn(plain.get(), plainSum)) << "default order, step " << step;
        for (const auto& [grp, e] : groups) {
            ASSERT_EQ(0u, cursor->GoToOrdinal(lastOrdinal[grp]));
            EXPECT_EQ(e.sum, read(grouped[0])) << "group " << grp << " step " << step;
            EXPECT_EQ(e.count, read(grouped[1])) << "group " << grp << " step " << step;
            EXPECT_EQ(e.min, read(grouped[2])) << "group " << grp << " step " << step;
            EXPECT_EQ(e.max, read(grouped[3])) << "group " << grp << " step " << step;
        }
        if (::testing::Test::HasFailure()) return;
    }
    for (size_t i = 0; i < grouped.size(); ++i) {
        EXPECT_EQ(0u, cursor->DetachAggregate(grouped[i]));
        EXPECT_EQ(0u, cursor->DetachAggregate(whole[i]));
    }
}

TEST(CursorAggregates, GroupedAndWholeValuesFollowRandomEdits) {
    for (bool logging : {true, false}) {
        SCOPED_TRACE(logging ? "logging on" : "logging off");
        RandomEditsKeepAggregates(logging);
        if (::testing::Test::HasFailure()) return;
    }
}

}  // namespace
