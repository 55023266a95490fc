// A packet large enough for the loader to read its rows on two threads: the
// thread sanitizer build runs this to catch unguarded writes between them,
// and the dataset must hold exactly the rows of the packet, in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset_test_support.h"

namespace {

using namespace dstest;

TEST(LargeLoad, RowsReadOnTwoThreadsWriteBackAsTheyCame) {
    constexpr int32_t kRows = 70000;
    Builder b;
    b.Begin(4);
    b.Col("ID", kInt32);
    b.Col("NAME", kString1);
    b.Width(20);
    b.Col("PRICE", kFloat);
    b.Col("MEMO", kBlob);  // not a plain copy: written after the copies
    b.Close();
    for (int32_t i = 0; i < kRows; ++i) {
        b.Status(i % 97 == 5 ? REC_DELETED : REC_UNCHANGED);  // now and then a deleted row
        b.I32(i + 1);
        if (i % 5 == 0)
            b.Blank();
        else
            b.Str("name " + std::to_string(i));
        b.F64(i * 0.25);
        if (i % 3 == 0)
            b.Blank();
        else
            b.Str("memo " + std::to_string(i * 7));
    }
    const std::vector<uint8_t> bytes = b.Take();

    uint32_t result = 1;
    Ref<IDSBase> ds(Load(bytes, &result));
    ASSERT_EQ(0u, result);
    EXPECT_EQ(Write(ds.get()), bytes);

    // Every live row in order through a cursor.
    Ref<IDSCursor> cursor(Engine::Get().NewCursor());
    ASSERT_EQ(0u, ResultCode(cursor->AttachDataset(ds.get())));
    DatasetProps props{};
    ASSERT_EQ(0u, ResultCode(cursor->ReadCursorProps(&props)));
    std::vector<uint8_t> record(props.recordSize);
    int32_t expected = 0;
    uint32_t seen = 0;
    while (ResultCode(cursor->MoveBy(1)) == 0) {
        ASSERT_EQ(0u, ResultCode(cursor->ReadCurrentRecord(record.data())));
        do {
            ++expected;
        } while ((expected - 1) % 97 == 5);
        int32_t id = 0;
        ASSERT_EQ(0u, ResultCode(cursor->ReadFieldValue(record.data(), 1, &id, nullptr)));
        ASSERT_EQ(id, expected);
        char name[21] = {};
        uint32_t blank = 0;
        cursor->ReadFieldValue(record.data(), 2, name, &blank);
        if ((expected - 1) % 5 == 0)
            EXPECT_NE(blank, 0u) << id;
        else
            EXPECT_EQ(std::string(name), "name " + std::to_string(expected - 1)) << id;
        ++seen;
    }
    EXPECT_EQ(seen, static_cast<uint32_t>(kRows - (kRows - 5 + 96) / 97));
}

}  // namespace
