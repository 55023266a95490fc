#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/blob_table.h"

namespace pelmora {
namespace {

uint32_t AddText(BlobTable& t, const std::string& s) {
    uint32_t ref = 0;
    EXPECT_EQ(t.Add(s.data(), static_cast<uint32_t>(s.size()), ref), DS_OK);
    return ref;
}

std::string ReadAll(const BlobTable& t, uint32_t ref) {
    std::vector<char> buf(256);
    uint32_t n = static_cast<uint32_t>(buf.size());
    EXPECT_EQ(t.Read(ref, 0, buf.data(), n), DS_OK);
    return std::string(buf.data(), n);
}

TEST(BlobTableTest, ReferencesAreHandedOutInSequence) {
    BlobTable t;
    EXPECT_EQ(AddText(t, "one"), 1u);
    EXPECT_EQ(AddText(t, ""), 2u);
    EXPECT_EQ(ReadAll(t, 1), "one");
    uint32_t len = 99;
    ASSERT_EQ(t.Length(2, len), DS_OK);
    EXPECT_EQ(len, 0u);
}

TEST(BlobTableTest, PartialReads) {
    BlobTable t;
    const uint32_t ref = AddText(t, "0123456789");
    char buf[16] = {};
    uint32_t n = 4;
    ASSERT_EQ(t.Read(ref, 3, buf, n), DS_OK);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::string(buf, n), "3456");
    n = 16;
    ASSERT_EQ(t.Read(ref, 8, buf, n), DS_OK);
    EXPECT_EQ(std::string(buf, n), "89");
    n = 16;
    ASSERT_EQ(t.Read(ref, 10, buf, n), DS_OK);
    EXPECT_EQ(n, 0u);
    n = 16;
    ASSERT_EQ(t.Read(ref, 50, buf, n), DS_OK);
    EXPECT_EQ(n, 0u);
}

TEST(BlobTableTest, WritesExtendButNeverShorten) {
    BlobTable t;
    const uint32_t ref = AddText(t, "ABCDEFGHIJKL");  // 12 bytes
    ASSERT_EQ(t.Write(ref, 5, "0123456789", 10), DS_OK);
    uint32_t len = 0;
    ASSERT_EQ(t.Length(ref, len), DS_OK);
    EXPECT_EQ(len, 15u);
    EXPECT_EQ(ReadAll(t, ref), "ABCDE0123456789");
    ASSERT_EQ(t.Write(ref, 0, "xy", 2), DS_OK);
    ASSERT_EQ(t.Length(ref, len), DS_OK);
    EXPECT_EQ(len, 15u);
    EXPECT_EQ(ReadAll(t, ref), "xyCDE0123456789");
    ASSERT_EQ(t.Write(ref, 15, "!", 1), DS_OK);  // appending at the very end
    EXPECT_EQ(ReadAll(t, ref), "xyCDE0123456789!");

    EXPECT_EQ(t.Write(ref, 17, "z", 1), DSERR_OUTOFRANGE);
    EXPECT_EQ(ReadAll(t, ref), "xyCDE0123456789!");

    ASSERT_EQ(t.Write(ref, 0, nullptr, 0), DS_OK);  // no bytes: empty
    ASSERT_EQ(t.Length(ref, len), DS_OK);
    EXPECT_EQ(len, 0u);
}

TEST(BlobTableTest, BadReferences) {
    BlobTable t;
    AddText(t, "a");
    uint32_t len = 0;
    char buf[4];
    uint32_t n = 4;
    uint32_t ref = 0;
    bool equal = false;
    for (uint32_t bad : {0u, 2u, 0x7FFFFFFFu}) {
        EXPECT_EQ(t.Length(bad, len), DSERR_INVALIDBLOBHANDLE) << bad;
        EXPECT_EQ(t.Read(bad, 0, buf, n), DSERR_INVALIDBLOBHANDLE) << bad;
        EXPECT_EQ(t.Write(bad, 0, "x", 1), DSERR_INVALIDBLOBHANDLE) << bad;
        EXPECT_EQ(t.Compare(1, bad, equal), DSERR_INVALIDBLOBHANDLE) << bad;
    }
    const uint32_t notFetched = BLOB_NOT_FETCHED | 500;
    EXPECT_EQ(t.Length(notFetched, len), DSERR_BLOBNOTFETCHED);
    EXPECT_EQ(t.Read(notFetched, 0, buf, n), DSERR_BLOBNOTFETCHED);
    EXPECT_EQ(t.Write(notFetched, 0, "x", 1), DSERR_BLOBNOTFETCHED);
    EXPECT_EQ(t.Add("b", 1, ref), DS_OK);
    EXPECT_EQ(ref, 2u);
}

TEST(BlobTableTest, Compare) {
    BlobTable t;
    const uint32_t a = AddText(t, "same");
    const uint32_t b = AddText(t, "same");
    const uint32_t c = AddText(t, "sama");
    const uint32_t d = AddText(t, "same!");
    bool equal = false;
    ASSERT_EQ(t.Compare(a, b, equal), DS_OK);
    EXPECT_TRUE(equal);
    ASSERT_EQ(t.Compare(a, c, equal), DS_OK);
    EXPECT_FALSE(equal);
    ASSERT_EQ(t.Compare(a, d, equal), DS_OK);
    EXPECT_FALSE(equal);
    ASSERT_EQ(t.Compare(BLOB_NOT_FETCHED | 4, BLOB_NOT_FETCHED | 4, equal), DS_OK);
    EXPECT_TRUE(equal);
    ASSERT_EQ(t.Compare(BLOB_NOT_FETCHED | 4, BLOB_NOT_FETCHED | 5, equal), DS_OK);
    EXPECT_FALSE(equal);
    ASSERT_EQ(t.Compare(BLOB_NOT_FETCHED | 4, a, equal), DS_OK);
    EXPECT_FALSE(equal);
}

TEST(BlobTableTest, CommitRollbackDiscardReset) {
    BlobTable t;
    AddText(t, "kept1");
    AddText(t, "kept2");
    t.Commit();
    EXPECT_EQ(t.commit_mark(), 2u);
    AddText(t, "gone3");
    AddText(t, "gone4");
    t.Rollback();
    EXPECT_EQ(t.count(), 2u);
    EXPECT_EQ(ReadAll(t, 2), "kept2");
    EXPECT_EQ(AddText(t, "new3"), 3u);  // rolled-back references are reused

    EXPECT_EQ(t.DiscardLast(2), DS_OK);  // not the last one: stays
    EXPECT_EQ(t.count(), 3u);
    EXPECT_EQ(t.DiscardLast(3), DS_OK);
    EXPECT_EQ(t.count(), 2u);
    EXPECT_EQ(t.DiscardLast(2), DS_OK);  // below the mark: the mark follows
    EXPECT_EQ(t.commit_mark(), 1u);
    EXPECT_EQ(t.DiscardLast(7), DSERR_INVALIDBLOBHANDLE);

    t.Reset();
    EXPECT_EQ(t.count(), 0u);
    EXPECT_EQ(t.commit_mark(), 0u);
    EXPECT_EQ(AddText(t, "fresh"), 1u);
}

}  // namespace
}  // namespace pelmora
