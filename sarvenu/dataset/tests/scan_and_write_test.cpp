// Writing table files that hold only the live records, however often a table
// is written with changes, and leaving unchanged files alone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "dataset/client_table.h"
#include "table_files.h"
#include "test_support/test_support.h"

using namespace sarvenu;
using testutil::Row;

namespace {

ino_t Inode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_ino;
}

// A table written again and again with modifications, deletions and
// insertions keeps a file the size of its live records, which read back.
TEST(TableFileSize, FollowsTheLiveRecordsThroughManyWrites) {
    sarvenu_test::TempDir dir;
    const std::vector<testutil::Column> columns = {{"KEY"}, {"TEXT", FLD_STRING, 200}};
    std::map<std::string, std::string> model;
    std::vector<Row> rows;
    for (int i = 0; i < 200; ++i) {
        const std::string key = "K" + std::to_string(1000 + i);
        model[key] = "original " + key;
        rows.push_back({key, model[key]});
    }
    const std::string path = dir.File("T.cds");
    testutil::WriteTable(path, columns, rows);

    TClientTable table;
    table.SetFileName(path);
    table.SetIndexFieldNames("KEY");
    table.OpenTable();
    int next = 2000;
    for (int round = 0; round < 25; ++round) {
        // Change every record, delete five and add five.
        for (table.MoveFirst(); !table.AtEnd(); table.MoveNext()) {
            table.StartEdit();
            const std::string key = table.FieldNamed("KEY").GetText();
            model[key] = "round " + std::to_string(round) + " " + key;
            table.FieldNamed("TEXT").SetText(model[key]);
            table.CommitRecord();
        }
        for (int d = 0; d < 5; ++d) {
            table.MoveFirst();
            model.erase(table.FieldNamed("KEY").GetText());
            table.RemoveRecord();
        }
        for (int a = 0; a < 5; ++a) {
            table.StartInsert();
            const std::string key = "K" + std::to_string(next++);
            model[key] = "added " + key;
            table.FieldNamed("KEY").SetText(key);
            table.FieldNamed("TEXT").SetText(model[key]);
            table.CommitRecord();
        }
        ASSERT_TRUE(table.Unwritten());
        ASSERT_TRUE(table.SaveChanges());
        EXPECT_FALSE(table.Unwritten());
    }
    table.CloseTable();

    // The same live records written once, fresh, give the yardstick.
    std::vector<Row> live;
    for (const auto& [key, text] : model) live.push_back({key, text});
    testutil::WriteTable(dir.File("fresh.cds"), columns, live);
    TClientTable fresh;
    fresh.SetFileName(dir.File("fresh.cds"));
    fresh.OpenTable();
    fresh.CloseTable();  // written once more, merged
    const size_t freshSize = sarvenu_test::ReadBytes(dir.File("fresh.cds")).size();
    const std::string bytes = sarvenu_test::ReadBytes(path);
    EXPECT_LE(bytes.size(), freshSize + freshSize / 20);
    EXPECT_GE(bytes.size(), freshSize - freshSize / 20);
    // Deleted records and old versions are gone from the disk.
    EXPECT_EQ(bytes.find("original K1000"), std::string::npos);
    EXPECT_EQ(bytes.find("round 23 K1130"), std::string::npos);

    std::map<std::string, std::string> stored;
    for (const Row& row : testutil::ReadRows(path)) stored[*row.at(0)] = *row.at(1);
    EXPECT_EQ(stored, model);
}

TEST(TableFileSize, AnUnchangedTableIsNotRewrittenButAnOldChangeLogIsMergedOnce) {
    sarvenu_test::TempDir dir;
    const std::string path = dir.File("T.cds");
    // Written record by record: the file carries a change log.
    testutil::WriteTable(path, {{"KEY"}}, {{"A"}, {"B"}});
    const size_t logged = sarvenu_test::ReadBytes(path).size();

    TClientTable table;
    table.SetFileName(path);
    table.OpenTable();
    EXPECT_TRUE(table.Unwritten());
    table.CloseTable();
    const std::string merged = sarvenu_test::ReadBytes(path);
    EXPECT_LT(merged.size(), logged);
    EXPECT_EQ(testutil::ReadRows(path), (std::vector<Row>{{"A"}, {"B"}}));

    const ino_t inode = Inode(path);
    table.OpenTable();
    EXPECT_FALSE(table.Unwritten());
    EXPECT_FALSE(table.SaveChanges());
    table.CloseTable();
    EXPECT_EQ(Inode(path), inode) << "an unchanged table leaves its file alone";
    EXPECT_EQ(sarvenu_test::ReadBytes(path), merged);
}

}  // namespace
