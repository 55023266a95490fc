// Bulk builds of one-field indexes over narrow integer types sort packed
// key/record words with a radix sort; the order must equal what inserting
// one record at a time gives under the comparators (blanks first, equal
// keys by arrival, descending inverted), extreme values included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "dataset/dataset.h"
#include "index/index.h"
#include "index/word_sort.h"
#include "index_test_support.h"
#include "store/record_buffer.h"

namespace pelmora {
namespace {

using index_test::Entries;
using index_test::Field;

IndexDesc OneField(const char* name, uint32_t field, bool descending) {
    IndexDesc d{};
    std::strcpy(d.name, name);
    d.fieldCount = 1;
    d.fields[0] = field;
    d.descending[0] = descending ? 1 : 0;
    return d;
}

TEST(WordSort, MatchesAComparisonSortWhateverBitsVary) {
    std::mt19937_64 random(3);
    for (const uint64_t mask : {~uint64_t{0}, uint64_t{0xFFFF}, uint64_t{0xFFFF000000000000},
                                uint64_t{0x0F0000F00000000F}, uint64_t{0}}) {
        for (const size_t n : {size_t{0}, size_t{1}, size_t{100}, size_t{5000}, size_t{70000}}) {
            std::vector<uint64_t> words(n);
            for (uint64_t& w : words) w = (random() & mask) | 0x100000;
            std::vector<uint64_t> expected = words;
            std::sort(expected.begin(), expected.end());
            SortWords(words);
            ASSERT_EQ(words, expected) << std::hex << mask << " " << std::dec << n;
        }
    }
}

TEST(PackedIntegerKeys, BulkBuildEqualsOneByOneInsertion) {
    TDSBASE* ds = NewDataset();
    ds->AddRef();
    const FieldDesc fields[] = {Field("I32", FLD_INT32), Field("U32", FLD_UINT32),
                                Field("I16", FLD_INT16), Field("DAY", FLD_DATE),
                                Field("B", FLD_BOOL16)};
    ASSERT_EQ(ds->DefineFields(5, fields, "P"), DS_OK);
    std::vector<IndexDesc> live;
    for (uint32_t f = 1; f <= 5; ++f) {
        for (const bool down : {false, true}) {
            char name[8];
            std::snprintf(name, sizeof name, "%c%u", down ? 'D' : 'A', f);
            live.push_back(OneField(name, f, down));
            ASSERT_EQ(ds->MakeIndex(&live.back()), DS_OK);
        }
    }

    std::mt19937 random(5);
    const int32_t extremes[] = {std::numeric_limits<int32_t>::min(), -1, 0, 1,
                                std::numeric_limits<int32_t>::max()};
    constexpr int kRows = 6000;  // past the size where the radix sort takes over
    for (int i = 0; i < kRows; ++i) {
        std::vector<uint8_t> row(ds->record_size());
        ClearRecordBuffer(ds->fields(), row.data());
        const int32_t i32 = random() % 4 == 0 ? extremes[random() % 5]
                                              : static_cast<int32_t>(random() % 2000) - 1000;
        const uint32_t u32 = random() % 3 == 0 ? 0xFFFFFFFFu : random() % 500;
        const int16_t i16 = static_cast<int16_t>(random());
        const int32_t day = 730000 + static_cast<int32_t>(random() % 50);
        const uint16_t flag = static_cast<uint16_t>(random() % 2);
        const void* values[] = {&i32, &u32, &i16, &day, &flag};
        for (uint32_t f = 1; f <= 5; ++f) {
            if (random() % 10 != 0) WriteBufferValue(ds->fields(), row.data(), f, values[f - 1]);
        }
        uint32_t n = 0;
        ASSERT_EQ(ds->InsertRecord(row.data(), &n), DS_OK);
    }

    for (const IndexDesc& one : live) {
        IndexDesc bulk = one;
        std::strcat(bulk.name, "B");
        ASSERT_EQ(ds->MakeIndex(&bulk), DS_OK);
        DSIDX* a = nullptr;
        DSIDX* b = nullptr;
        ASSERT_EQ(ds->FindIndex(one.name, &a), DS_OK);
        ASSERT_EQ(ds->FindIndex(bulk.name, &b), DS_OK);
        const std::vector<uint32_t> order = Entries(*a);
        ASSERT_EQ(order.size(), static_cast<size_t>(kRows));
        EXPECT_EQ(Entries(*b), order) << one.name;
        for (size_t i = 1; i < order.size(); ++i) {
            ASSERT_LE(a->CompareRecords(order[i - 1], order[i]), 0) << one.name << " " << i;
        }
    }
    ds->Release();
}

TEST(PackedIntegerKeys, UniqueBulkBuildStillFindsDuplicates) {
    TDSBASE* ds = NewDataset();
    ds->AddRef();
    const FieldDesc fields[] = {Field("ID", FLD_INT32)};
    ASSERT_EQ(ds->DefineFields(1, fields, "U"), DS_OK);
    for (int32_t i = 0; i < 5000; ++i) {
        std::vector<uint8_t> row(ds->record_size());
        ClearRecordBuffer(ds->fields(), row.data());
        const int32_t id = i == 4321 ? 17 : i;  // 17 twice
        WriteBufferValue(ds->fields(), row.data(), 1, &id);
        uint32_t n = 0;
        ASSERT_EQ(ds->InsertRecord(row.data(), &n), DS_OK);
    }
    IndexDesc unique = OneField("UNIQ", 1, false);
    unique.unique = 1;
    EXPECT_EQ(ds->MakeIndex(&unique), DSERR_KEYVIOL);
    ds->Release();
}

}  // namespace
}  // namespace pelmora
