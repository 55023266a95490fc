// Bulk index builds over text keys rank the distinct texts by collation sort
// keys and sort by rank; the result must equal the order that
// inserting one record at a time gives under the comparators, for keys with
// a long common start, case variants, duplicates and blanks.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dataset.h"
#include "index.h"
#include "index_test_support.h"
#include "record_buffer.h"

namespace pelmora {
namespace {

using index_test::Entries;
using index_test::Field;

TEST(TextSortKeys, BulkBuildEqualsOneByOneInsertion) {
    TDSBASE* ds = NewDataset();
    ds->AddRef();
    const FieldDesc fields[] = {Field("NAME", FLD_STRING, 20), Field("CODE", FLD_INT32)};
    ASSERT_EQ(ds->DefineFields(2, fields, "S"), DS_OK);
    // Kept up to date record by record: ascending by name, and descending
    // caseless by name then code.
    IndexDesc up{};
    std::strcpy(up.name, "UP");
    up.fieldCount = 1;
    up.fields[0] = 1;
    IndexDesc down{};
    std::strcpy(down.name, "DOWN");
    down.fieldCount = 2;
    down.fields[0] = 1;
    down.fields[1] = 2;
    down.descending[0] = 1;
    down.caseInsensitive[0] = 1;
    IndexDesc downOne = down;
    std::strcpy(downOne.name, "DOWN1");
    downOne.fieldCount = 1;
    ASSERT_EQ(ds->MakeIndex(&up), DS_OK);
    ASSERT_EQ(ds->MakeIndex(&down), DS_OK);
    ASSERT_EQ(ds->MakeIndex(&downOne), DS_OK);

    std::mt19937 random(9);
    const char* starts[] = {"customer ", "Customer ", "customer 1"};
    for (int32_t i = 0; i < 6000; ++i) {
        std::vector<uint8_t> row(ds->record_size());
        ClearRecordBuffer(ds->fields(), row.data());
        const std::string name = starts[random() % 3] + std::to_string(random() % 300);
        if (random() % 12 != 0) WriteBufferValue(ds->fields(), row.data(), 1, name.c_str());
        const int32_t code = static_cast<int32_t>(random() % 5);
        WriteBufferValue(ds->fields(), row.data(), 2, &code);
        uint32_t n = 0;
        ASSERT_EQ(ds->InsertRecord(row.data(), &n), DS_OK);
    }

    for (const IndexDesc* live : {&up, &down, &downOne}) {
        IndexDesc bulk = *live;
        std::strcat(bulk.name, "2");
        ASSERT_EQ(ds->MakeIndex(&bulk), DS_OK);
        DSIDX* a = nullptr;
        DSIDX* b = nullptr;
        ASSERT_EQ(ds->FindIndex(live->name, &a), DS_OK);
        ASSERT_EQ(ds->FindIndex(bulk.name, &b), DS_OK);
        const std::vector<uint32_t> order = Entries(*a);
        ASSERT_EQ(order.size(), 6000u);
        EXPECT_EQ(Entries(*b), order) << live->name;
        for (size_t i = 1; i < order.size(); ++i) {
            ASSERT_LE(a->CompareRecords(order[i - 1], order[i]), 0) << live->name << " " << i;
        }
    }
    ds->Release();
}

}  // namespace
}  // namespace pelmora
