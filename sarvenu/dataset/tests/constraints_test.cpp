// A constraint and a default value carried by a table file are enforced when
// the file is opened and edited through the table layer: new records take
// the default, a rejected record raises the constraint's own message, and
// the constraint is still there after the file was written again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "dataset/client_table.h"
#include "dataset/engine_binding.h"
#include "dataset/filter_expression.h"
#include "platform/codepage.h"
#include "platform/safearray.h"
#include "table_files.h"
#include "test_support/test_support.h"

using namespace sarvenu;
using testutil::Column;

namespace {

const std::vector<Column> kColumns = {{"CD", FLD_STRING, 10}, {"FLAG", FLD_STRING, 1}};
constexpr uint32_t kBlobWord = 0x004B0004;  // varying bytes, four-byte length

std::vector<uint8_t> Expression(const std::string& text) {
    static const filterexpr::FieldInfo cd{"CD", ftString, FLD_STRING, 1};
    static const filterexpr::FieldInfo flag{"FLAG", ftString, FLD_STRING, 2};
    return filterexpr::Translate(
        text,
        [](const std::string& name) -> const filterexpr::FieldInfo* {
            return name == "CD" ? &cd : name == "FLAG" ? &flag : nullptr;
        },
        false);
}

// Message length, field number, required flag, message, expression.
std::vector<uint8_t> Blob(const std::string& message, uint32_t field, const std::string& text) {
    const std::vector<uint8_t> expr = Expression(text);
    const auto n = static_cast<uint32_t>(message.size());
    std::vector<uint8_t> blob(9 + message.size() + expr.size(), 0);
    std::memcpy(blob.data(), &n, 4);
    std::memcpy(blob.data() + 4, &field, 4);
    std::copy(message.begin(), message.end(), blob.begin() + 9);
    std::copy(expr.begin(), expr.end(),
              blob.begin() + 9 + static_cast<std::ptrdiff_t>(message.size()));
    return blob;
}

// Rewrites a table file with a record constraint (FLAG is not "9") and a
// default value ("0") for FLAG, both kept as parameters of the file.
void AddRules(const std::string& path, const std::string& message) {
    const std::string bytes = sarvenu_test::ReadBytes(path);
    pelmora::Ref<IDSBase> ds(engine::CreateDataset());
    ASSERT_TRUE(ds);
    {
        pelmora::ByteArray in(bytes.data(), bytes.size());
        ASSERT_EQ(0u, ResultCode(ds->LoadPacket(in.get(), 1)));
    }
    const std::vector<uint8_t> check = Blob(message, 0, "FLAG <> '9'");
    const std::vector<uint8_t> fallback = Blob("", 2, "'0'");
    ASSERT_EQ(0u,
              ResultCode(ds->StoreParameter(0, "VRKRECORD_X", kBlobWord,
                                            static_cast<uint32_t>(check.size()), check.data())));
    ASSERT_EQ(0u, ResultCode(ds->StoreParameter(0, "VRKDEFAULT_X", kBlobWord,
                                                static_cast<uint32_t>(fallback.size()),
                                                fallback.data())));
    SAFEARRAY* out = nullptr;
    ASSERT_EQ(0u, ResultCode(ds->WritePacket(&out)));
    const std::vector<uint8_t> written = pelmora::TakeBytes(out);
    sarvenu_test::WriteBytes(path, std::string(written.begin(), written.end()));
}

std::string MessageOf(const std::function<void()>& action, uint16_t* code = nullptr) {
    try {
        action();
    } catch (const EDatabaseError& e) {
        if (code != nullptr) *code = e.Code();
        return e.what();
    }
    return "(no error)";
}

TEST(TableConstraints, FileRulesAreEnforcedThroughTheTableLayer) {
    sarvenu_test::TempDir dir;
    const std::string path = dir.File("RULES.cds");
    testutil::WriteTable(path, kColumns, {{"A", "1"}});
    const std::string message = platform::Utf8ToCp932("フラグに9は使えません");
    AddRules(path, message);

    for (int round = 0; round < 2; ++round) {
        TClientTable t;
        t.SetFileName(path);
        t.OpenTable();
        t.StartAppend();
        EXPECT_EQ("0", t.FieldNamed("FLAG").GetText()) << "default value, round " << round;
        t.FieldNamed("CD").SetText("B" + std::to_string(round));
        t.CommitRecord();

        t.StartAppend();
        t.FieldNamed("CD").SetText("C");
        t.FieldNamed("FLAG").SetText("9");
        uint16_t code = 0;
        EXPECT_EQ(message, MessageOf([&] { t.CommitRecord(); }, &code)) << "round " << round;
        EXPECT_EQ(DSERR_CONSTRAINTFAILED, code);
        t.DiscardRecord();

        t.MoveFirst();
        t.StartEdit();
        t.FieldNamed("FLAG").SetText("9");
        EXPECT_EQ(message, MessageOf([&] { t.CommitRecord(); })) << "an edit is checked too";
        t.DiscardRecord();
        EXPECT_EQ(2u + static_cast<uint32_t>(round), t.RecordTotal());
        t.CloseTable();  // writes the file; the rules travel with it
    }
    const std::vector<testutil::Row> rows = testutil::ReadRows(path);
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ("1", rows[0][1].value_or("?"));
    EXPECT_EQ("0", rows[2][1].value_or("?"));
}

}  // namespace
