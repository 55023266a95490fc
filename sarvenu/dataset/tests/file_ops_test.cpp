// The file layer: atomic replacement under injected failures, and the
// platform-like semantics of move, delete, attributes and listings.
#include <gtest/gtest.h>

#include <algorithm>

#include "dataset/file_ops.h"
#include "table_files.h"
#include "test_support/test_support.h"

using namespace sarvenu;

namespace {

std::vector<std::string> Names(const std::string& dir, const std::string& pattern) {
    auto names = fileops::ListFiles(dir, pattern);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileOps, AtomicReplacementNeverLeavesAPartialFile) {
    sarvenu_test::TempDir dir;
    const std::string path = dir.File("t.cds");
    const std::string oldBytes(5000, 'o'), newBytes(7000, 'n');
    ASSERT_TRUE(fileops::WriteFileAtomic(path, oldBytes));
    int64_t opsForOneWrite = 0;
    {
        fileops::ScopedFaultPlan counting({-1, ""});
        ASSERT_TRUE(fileops::WriteFileAtomic(dir.File("probe"), "x"));
        opsForOneWrite = fileops::OperationCount();
    }
    ASSERT_GT(opsForOneWrite, 2);
    for (int64_t allowed = 0; allowed < opsForOneWrite; ++allowed) {
        ASSERT_TRUE(fileops::WriteFileAtomic(path, oldBytes));
        bool ok;
        {
            fileops::ScopedFaultPlan faults({allowed, ""});
            ok = fileops::WriteFileAtomic(path, newBytes);
        }
        EXPECT_FALSE(ok) << allowed;
        std::string now = sarvenu_test::ReadBytes(path);
        EXPECT_TRUE(now == oldBytes || now == newBytes) << allowed;
        // No temporary file is left behind.
        EXPECT_EQ(Names(dir.path(), "t.cds*"), (std::vector<std::string>{"t.cds"})) << allowed;
    }
    ASSERT_TRUE(fileops::WriteFileAtomic(path, newBytes));
    EXPECT_EQ(sarvenu_test::ReadBytes(path), newBytes);
}

TEST(FileOps, FailingOnePathOnly) {
    sarvenu_test::TempDir dir;
    fileops::ScopedFaultPlan faults({-1, dir.File("a")});
    std::string error;
    EXPECT_FALSE(fileops::WriteFileAtomic(dir.File("a"), "1", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fileops::FileExists(dir.File("a")));
    EXPECT_TRUE(fileops::WriteFileAtomic(dir.File("b"), "2"));
    EXPECT_FALSE(fileops::MoveFile(dir.File("b"), dir.File("a")));
    EXPECT_TRUE(fileops::FileExists(dir.File("b")));
}

TEST(FileOps, PlatformSemantics) {
    sarvenu_test::TempDir dir;
    ASSERT_TRUE(fileops::WriteFileAtomic(dir.File("_A.cds"), "a"));
    ASSERT_TRUE(fileops::WriteFileAtomic(dir.File("_b"), "b"));
    ASSERT_TRUE(fileops::WriteFileAtomic(dir.File("A_.cds"), "c"));
    EXPECT_EQ(Names(dir.path(), "_*.*"), (std::vector<std::string>{"_A.cds", "_b"}));
    EXPECT_EQ(Names(dir.path(), "*.CDS"), (std::vector<std::string>{"A_.cds", "_A.cds"}));

    // A move does not replace an existing file.
    EXPECT_FALSE(fileops::MoveFile(dir.File("_b"), dir.File("A_.cds")));
    EXPECT_EQ(sarvenu_test::ReadBytes(dir.File("A_.cds")), "c");
    EXPECT_TRUE(fileops::MoveFile(dir.File("_b"), dir.File("b")));
    EXPECT_FALSE(fileops::FileExists(dir.File("_b")));

    // Read-only files are neither deleted nor overwritten until cleared.
    ASSERT_TRUE(fileops::SetReadOnly(dir.File("b"), true));
    EXPECT_TRUE(fileops::IsReadOnly(dir.File("b")));
    EXPECT_FALSE(fileops::DeleteFile(dir.File("b")));
    EXPECT_FALSE(fileops::WriteFileAtomic(dir.File("b"), "new"));
    EXPECT_FALSE(fileops::CopyFile(dir.File("_A.cds"), dir.File("b"), true));
    EXPECT_EQ(sarvenu_test::ReadBytes(dir.File("b")), "b");
    ASSERT_TRUE(fileops::SetReadOnly(dir.File("b"), false));
    EXPECT_TRUE(fileops::CopyFile(dir.File("_A.cds"), dir.File("b"), false));
    EXPECT_EQ(sarvenu_test::ReadBytes(dir.File("b")), "a");
    EXPECT_TRUE(fileops::DeleteFile(dir.File("b")));
    EXPECT_FALSE(fileops::DeleteFile(dir.File("b")));
}

}  // namespace
