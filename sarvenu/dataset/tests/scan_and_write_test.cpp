// Reading a whole view without moving the table, finding a record by its key,
// and writing table files that hold only the live records.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "dataset/client_table.h"
#include "table_files.h"

using namespace sarvenu;
using testutil::Row;

namespace {

ino_t Inode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_ino;
}

class ViewScan : public ::testing::Test {
  protected:
    void SetUp() override {
        testutil::WriteTable(dir.File("MAIN.cds"), {{"CONST_NO"}, {"CON_NAME"}},
                             {{"W2", "second"}, {"W1", "first"}, {"W3", "third"}});
        testutil::WriteTable(dir.File("SHEET.cds"), {{"CONST_NO"}, {"NOTE"}},
                             {{"W2", "b1"}, {"W1", "a1"}, {"W2", "b2"}});
        main.SetFileName(dir.File("MAIN.cds"));
        main.SetIndexFieldNames("CONST_NO");
        sheet.SetFileName(dir.File("SHEET.cds"));
        sheet.SetIndexFieldNames("CONST_NO");
        sheet.SetMasterSource(&mainSource);
        sheet.SetMasterFields("CONST_NO");
        main.OpenTable();
        sheet.OpenTable();
    }
    std::vector<std::string> Scan(TClientTable& table, const char* field) {
        std::vector<std::string> texts;
        const TField& f = table.FieldNamed(field);
        table.ScanView([&](const TRecordView& record) { texts.push_back(record.Text(f)); });
        return texts;
    }
    testutil::TempDir dir;
    TClientTable main, sheet;
    TTableSource mainSource{&main};
};

TEST_F(ViewScan, ReadsTheViewInOrderWithoutMovingTheTableOrItsDetails) {
    main.MoveNext();  // W2, whose sheet has two records
    sheet.MoveNext();
    int scrolls = 0, notices = 0;
    main.AfterScroll = sheet.AfterScroll = [&](TClientTable&) { ++scrolls; };
    const int id = mainSource.Subscribe([&] { ++notices; });

    EXPECT_EQ(Scan(main, "CON_NAME"), (std::vector<std::string>{"first", "second", "third"}));
    // A detail's scan keeps to its master's range.
    EXPECT_EQ(Scan(sheet, "NOTE"), (std::vector<std::string>{"b1", "b2"}));

    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(notices, 0);
    EXPECT_EQ(main.FieldNamed("CONST_NO").GetText(), "W2");
    EXPECT_EQ(sheet.FieldNamed("NOTE").GetText(), "b2");
    mainSource.Unsubscribe(id);
}

TEST_F(ViewScan, FollowsTheFilterAndLeavesAnEditAlone) {
    main.SetFilter("CON_NAME <> 'second'");
    main.SetFiltered(true);
    EXPECT_EQ(Scan(main, "CONST_NO"), (std::vector<std::string>{"W1", "W3"}));

    main.StartEdit();
    main.FieldNamed("CON_NAME").SetText("changed");
    EXPECT_EQ(Scan(main, "CON_NAME"), (std::vector<std::string>{"first", "third"}));
    EXPECT_EQ(main.State(), dsEdit);
    EXPECT_EQ(main.FieldNamed("CON_NAME").GetText(), "changed");
}

TEST_F(ViewScan, LocateByTheOrderingFieldUsesTheKeyAndAMissStaysPut) {
    int scrolls = 0;
    main.AfterScroll = [&](TClientTable&) { ++scrolls; };
    ASSERT_TRUE(main.Locate("CONST_NO", "W3"));
    EXPECT_EQ(main.FieldNamed("CON_NAME").GetText(), "third");
    EXPECT_EQ(main.Position(), 3u);
    EXPECT_EQ(sheet.RecordTotal(), 0u) << "the detail follows the located master";
    EXPECT_EQ(scrolls, 1);

    EXPECT_FALSE(main.Locate("CONST_NO", "W25"));
    EXPECT_FALSE(main.Locate("CONST_NO", "W"));
    EXPECT_EQ(main.FieldNamed("CON_NAME").GetText(), "third");
    EXPECT_EQ(main.Position(), 3u);
    EXPECT_EQ(scrolls, 1);

    // Another field is found by a walk over a cursor of its own.
    ASSERT_TRUE(main.Locate("CON_NAME", "second"));
    EXPECT_EQ(main.FieldNamed("CONST_NO").GetText(), "W2");
    EXPECT_EQ(sheet.RecordTotal(), 2u);
    EXPECT_FALSE(main.Locate("CON_NAME", "fourth"));
    EXPECT_EQ(main.FieldNamed("CONST_NO").GetText(), "W2");
}

// A table written again and again with modifications, deletions and
// insertions keeps a file the size of its live records, which read back.
TEST(TableFileSize, FollowsTheLiveRecordsThroughManyWrites) {
    testutil::TempDir dir;
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
    const size_t freshSize = testutil::ReadBytes(dir.File("fresh.cds")).size();
    const std::string bytes = testutil::ReadBytes(path);
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
    testutil::TempDir dir;
    const std::string path = dir.File("T.cds");
    // Written record by record: the file carries a change log.
    testutil::WriteTable(path, {{"KEY"}}, {{"A"}, {"B"}});
    const size_t logged = testutil::ReadBytes(path).size();

    TClientTable table;
    table.SetFileName(path);
    table.OpenTable();
    EXPECT_TRUE(table.Unwritten());
    table.CloseTable();
    const std::string merged = testutil::ReadBytes(path);
    EXPECT_LT(merged.size(), logged);
    EXPECT_EQ(testutil::ReadRows(path), (std::vector<Row>{{"A"}, {"B"}}));

    const ino_t inode = Inode(path);
    table.OpenTable();
    EXPECT_FALSE(table.Unwritten());
    EXPECT_FALSE(table.SaveChanges());
    table.CloseTable();
    EXPECT_EQ(Inode(path), inode) << "an unchanged table leaves its file alone";
    EXPECT_EQ(testutil::ReadBytes(path), merged);
}

}  // namespace
