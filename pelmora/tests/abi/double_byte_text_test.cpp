// Double-byte texts of the system code page in filter expressions: LIKE
// patterns and substring work by characters, so the second byte of a
// double-byte character (which may be '\', '_', '%' or a letter) is never
// taken for pattern syntax or matched on its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset_test_support.h"
#include "engine_loader.h"
#include "expr_builder.h"

using enginetest::Engine;
using enginetest::Ref;
using namespace pelmora::exprbuild;

namespace {

// Shift-JIS bytes of the katakana used below; their second bytes are 0x5C
// ('\'), 0x5F ('_'), 0x61 ('a'), 0x41 ('A') and 0x43 ('C').
const std::string kSo = "\x83\x5C";  // ソ
const std::string kDa = "\x83\x5F";  // ダ
const std::string kDi = "\x83\x61";  // ヂ
const std::string kA = "\x83\x41";   // ア
const std::string kI = "\x83\x43";   // イ
const std::string kFu = "\x83\x74";  // フ
const std::string kTo = "\x83\x67";  // ト

class DoubleByteTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        *ds_.out() = Engine::Get().NewDataset();
        ASSERT_TRUE(ds_);
        const FieldDesc fields[] = {dstest::Field("NAME", FLD_STRING, 20)};
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(1, fields, "F")));
        *cur_.out() = Engine::Get().NewCursor();
        ASSERT_EQ(0u, ResultCode(cur_->AttachDataset(ds_.get())));
        DatasetProps props{};
        cur_->ReadCursorProps(&props);
        size_ = props.recordSize;
        for (const std::string& name : names_) {
            std::vector<uint8_t> rec(size_);
            cur_->PrepareRecord(rec.data());
            cur_->WriteFieldValue(rec.data(), 1, name.c_str());
            ASSERT_EQ(0u, ResultCode(cur_->AddRecord(rec.data())));
        }
    }

    // Names visible through a fresh cursor carrying the filter.
    std::vector<std::string> Matching(const std::vector<uint8_t>& filter) {
        Ref<IDSCursor> c;
        *c.out() = Engine::Get().NewCursor();
        EXPECT_EQ(0u, ResultCode(c->AttachDataset(ds_.get())));
        EXPECT_EQ(0u, ResultCode(c->AttachExpressionFilter(
                          filter.data(), static_cast<uint32_t>(filter.size()), nullptr)));
        std::vector<std::string> found;
        c->GoBeforeFirst();
        std::vector<uint8_t> rec(size_);
        while (ResultCode(c->MoveBy(1)) == 0) {
            c->ReadCurrentRecord(rec.data());
            char name[21] = {};
            c->ReadFieldValue(rec.data(), 1, name, nullptr);
            found.push_back(name);
        }
        return found;
    }

    std::vector<std::string> Like(const std::string& pattern, bool ignoreCase = false) {
        ExprBuilder b;
        return Matching(
            b.Build(ignoreCase ? b.Compare(OP_LIKE, true, 0, b.Field("NAME"), b.String(pattern))
                               : b.Binary(OP_LIKE, b.Field("NAME"), b.String(pattern))));
    }

    std::vector<std::string> SubstringIs(int32_t start, int32_t length, const std::string& want) {
        ExprBuilder b;
        return Matching(b.Build(b.Binary(
            OP_EQ, b.Function("substring", {b.Field("NAME"), b.Int32(start), b.Int32(length)}),
            b.String(want))));
    }

    const std::vector<std::string> names_ = {kSo + kFu + kTo, kDa,   kDi,  kA + kI, "ABC",
                                             "a" + kSo + "b", "x_y", "50%"};
    Ref<IDSBase> ds_;
    Ref<IDSCursor> cur_;
    uint32_t size_ = 0;
};

using Names = std::vector<std::string>;

TEST_F(DoubleByteTextTest, LikeMatchesWholeCharacters) {
    // ソ ends in '\': it is a literal, not an escape of the '%'.
    EXPECT_EQ(Like(kSo + "%"), Names{kSo + kFu + kTo});
    // ダ ends in '_': it matches ダ only, not ヂ.
    EXPECT_EQ(Like(kDa), Names{kDa});
    // A literal never matches the second byte of イ.
    EXPECT_EQ(Like("%C"), Names{"ABC"});
    EXPECT_EQ(Like("%c", true), Names{"ABC"});
    // '_' is one character, double-byte or not.
    EXPECT_EQ(Like("_"), (Names{kDa, kDi}));
    EXPECT_EQ(Like("__"), (Names{kA + kI}));
    EXPECT_EQ(Like("a_b"), Names{"a" + kSo + "b"});
    EXPECT_EQ(Like("%" + kSo + "%"), (Names{kSo + kFu + kTo, "a" + kSo + "b"}));
    // Escapes still work on single-byte characters.
    EXPECT_EQ(Like("x\\_y"), Names{"x_y"});
    EXPECT_EQ(Like("%\\%"), Names{"50%"});
    EXPECT_EQ(Like("%" + kI), Names{kA + kI});
}

TEST_F(DoubleByteTextTest, SubstringCountsCharacters) {
    EXPECT_EQ(SubstringIs(2, 2, kFu + kTo), Names{kSo + kFu + kTo});
    EXPECT_EQ(SubstringIs(2, 1, kSo), Names{"a" + kSo + "b"});
    EXPECT_EQ(SubstringIs(3, 1, "b"), Names{"a" + kSo + "b"});
    EXPECT_EQ(SubstringIs(2, 5, kI), Names{kA + kI});
    EXPECT_EQ(SubstringIs(1, 1, "A"), Names{"ABC"});
}

}  // namespace
