// Bulk index builds over text keys rank the distinct texts by collation sort
// keys and sort by rank; the result must equal the order that
// inserting one record at a time gives under the comparators, for keys with
// a long common start, case variants, duplicates and blanks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "index/index.h"
#include "index_test_support.h"
#include "platform/codepage.h"
#include "store/record_buffer.h"

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

// Distinct texts of every kind, ranked through the collation's primary
// weights (or, for a locale that reorders scripts, through sort keys): the
// bulk build must list the records exactly as a plain comparison sort over
// the index's own comparators does, equal keys by record number. The texts
// share long starts, differ only in case, width or kana type, and mix
// Japanese (voiced and half-width kana, the prolonged sound mark, kanji)
// with Latin (letters that start contractions in some locales included).
TEST(TextSortKeys, BulkBuildEqualsComparisonSort) {
    const char* pieces[] = {"Smith", "smith", "SMITH",  "l",      "L",    "ll", "4",  "ch",
                            "C",     "aa",    " ",      "-",      "'",    "0",  "9",  "Z",
                            "山田",  "田中",  "ヤマダ", "やまだ", "ﾔﾏﾀﾞ", "ダ", "ー", "ゝ",
                            "ヽ",    "々",    "ｶﾞ",     "が",     "カ",   "Ａ", "ａ", "・",
                            "α",     "Я",     "①",      "Ⅲ",      "～",   "亜", "表", "ﾞ"};
    std::mt19937 random(23);
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        // Half the texts share one of a few long starts.
        if (i % 2 == 0) text = i % 4 == 0 ? "Tanaka Hiroshi " : platform::Utf8ToCp932("佐藤 花子 ");
        for (size_t n = 1 + random() % 5; n > 0; --n) {
            std::string piece = pieces[random() % std::size(pieces)];
            text +=
                static_cast<unsigned char>(piece[0]) < 0x80 ? piece : platform::Utf8ToCp932(piece);
        }
        texts.push_back(text.substr(0, 23));
    }
    for (uint32_t lcid : {0u, 0x0409u, 0x0411u, 0x0405u}) {
        TDSBASE* ds = NewDataset();
        ds->AddRef();
        const FieldDesc fields[] = {Field("NAME", FLD_STRING, 24), Field("CODE", FLD_INT32)};
        ASSERT_EQ(ds->DefineFields(2, fields, "S"), DS_OK);
        if (lcid != 0) {
            ASSERT_EQ(ds->StoreParameter(0, "LCID", 0x00020004, 4, &lcid), DS_OK);
        }
        for (size_t i = 0; i < texts.size(); ++i) {
            std::vector<uint8_t> row(ds->record_size());
            ClearRecordBuffer(ds->fields(), row.data());
            // Some blanks and some texts twice.
            if (i % 50 != 7) {
                const std::string& text = texts[i % 97 == 3 ? i / 2 : i];
                WriteBufferValue(ds->fields(), row.data(), 1, text.c_str());
            }
            const auto code = static_cast<int32_t>(random() % 3);
            WriteBufferValue(ds->fields(), row.data(), 2, &code);
            uint32_t n = 0;
            ASSERT_EQ(ds->InsertRecord(row.data(), &n), DS_OK);
        }
        for (int variant = 0; variant < 4; ++variant) {
            IndexDesc d{};
            std::snprintf(d.name, sizeof d.name, "I%d", variant);
            d.fieldCount = variant == 3 ? 2 : 1;
            d.fields[0] = 1;
            d.fields[1] = 2;
            d.descending[0] = variant == 1 ? 1 : 0;
            d.caseInsensitive[0] = variant >= 2 ? 1 : 0;
            ASSERT_EQ(ds->MakeIndex(&d), DS_OK);
            DSIDX* index = nullptr;
            ASSERT_EQ(ds->FindIndex(d.name, &index), DS_OK);
            std::vector<uint32_t> expected(texts.size());
            for (uint32_t r = 0; r < expected.size(); ++r) expected[r] = r + 1;
            std::stable_sort(expected.begin(), expected.end(), [index](uint32_t a, uint32_t b) {
                return index->CompareRecords(a, b) < 0;
            });
            EXPECT_EQ(Entries(*index), expected) << "locale " << lcid << " index " << d.name;
        }
        ds->Release();
    }
}

}  // namespace
}  // namespace pelmora
