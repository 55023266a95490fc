// Master and detail tables linked by a work number, as the survey sheets are
// linked to the main record.
#include <gtest/gtest.h>

#include "dataset/client_table.h"
#include "table_files.h"
#include "test_support/test_support.h"

using namespace sarvenu;
using testutil::Row;

namespace {

class MasterDetail : public ::testing::Test {
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
    std::vector<std::string> Notes() {
        std::vector<std::string> out;
        for (sheet.MoveFirst(); !sheet.AtEnd(); sheet.MoveNext())
            out.push_back(sheet.FieldNamed("NOTE").GetText());
        return out;
    }
    // The view read through ScanView, one field's texts.
    std::vector<std::string> Scan(TClientTable& table, const char* field) {
        std::vector<std::string> texts;
        const TField& f = table.FieldNamed(field);
        table.ScanView([&](const TRecordView& record) { texts.push_back(record.Text(f)); });
        return texts;
    }
    sarvenu_test::TempDir dir;
    TClientTable main, sheet;
    TTableSource mainSource{&main};
};

TEST_F(MasterDetail, DetailShowsTheMastersRecordsAsTheMasterMoves) {
    EXPECT_EQ(main.FieldNamed("CONST_NO").GetText(), "W1");
    EXPECT_EQ(Notes(), (std::vector<std::string>{"a1"}));
    main.MoveNext();
    EXPECT_EQ(sheet.RecordTotal(), 2u);
    EXPECT_EQ(Notes(), (std::vector<std::string>{"b1", "b2"}));
    main.MoveNext();
    EXPECT_EQ(sheet.RecordTotal(), 0u);
    EXPECT_TRUE(sheet.AtEnd());
    // Clearing the link shows everything again.
    sheet.SetMasterSource(nullptr);
    EXPECT_EQ(sheet.RecordTotal(), 3u);
}

TEST_F(MasterDetail, EditingAnEmptyDetailInsertsWithTheMastersKey) {
    main.MoveLast();  // W3 has no sheet
    int mainEdits = 0;
    sheet.BeforeEdit = sheet.BeforeInsert = [&](TClientTable&) {
        main.StartEdit();
        ++mainEdits;
    };
    sheet.StartEdit();
    EXPECT_EQ(sheet.State(), dsInsert);
    EXPECT_EQ(main.State(), dsEdit);
    EXPECT_EQ(mainEdits, 1);
    EXPECT_EQ(sheet.FieldNamed("CONST_NO").GetText(), "W3");
    sheet.FieldNamed("NOTE").SetText("c1");
    // Posting the master posts the changed detail first.
    main.CommitRecord();
    EXPECT_EQ(sheet.State(), dsBrowse);
    EXPECT_EQ(Notes(), (std::vector<std::string>{"c1"}));

    main.CloseTable();
    sheet.CloseTable();
    auto rows = testutil::ReadRows(dir.File("SHEET.cds"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3], (Row{"W3", "c1"}));
}

TEST_F(MasterDetail, MasterScrollSettlesDetailEdits) {
    sheet.StartEdit();
    sheet.FieldNamed("NOTE").SetText("a1-changed");
    main.MoveNext();  // changed: posted
    main.MoveFirst();
    EXPECT_EQ(Notes(), (std::vector<std::string>{"a1-changed"}));

    main.MoveLast();
    sheet.StartEdit();  // empty view: an insert nobody writes to
    main.MoveFirst();   // unchanged: dropped
    main.MoveLast();
    EXPECT_EQ(sheet.RecordTotal(), 0u);
}

TEST_F(MasterDetail, NewMasterKeyFollowsIntoTheDetail) {
    main.StartInsert();
    EXPECT_EQ(sheet.RecordTotal(), 0u);  // a new work has no sheets yet
    main.FieldNamed("CONST_NO").SetText("W9");
    sheet.StartEdit();
    EXPECT_EQ(sheet.FieldNamed("CONST_NO").GetText(), "W9");
    sheet.FieldNamed("NOTE").SetText("n9");
    main.CommitRecord();
    EXPECT_EQ(main.FieldNamed("CONST_NO").GetText(), "W9");
    EXPECT_EQ(Notes(), (std::vector<std::string>{"n9"}));
    // Deleting the work's sheet and then the work.
    sheet.MoveFirst();
    sheet.RemoveRecord();
    main.RemoveRecord();
    EXPECT_EQ(main.RecordTotal(), 3u);
    EXPECT_EQ(main.FieldNamed("CONST_NO").GetText(), "W3");  // the new last work
    EXPECT_EQ(sheet.RecordTotal(), 0u);
}

TEST_F(MasterDetail, ReadsTheViewInOrderWithoutMovingTheTableOrItsDetails) {
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

TEST_F(MasterDetail, FollowsTheFilterAndLeavesAnEditAlone) {
    main.SetFilter("CON_NAME <> 'second'");
    main.SetFiltered(true);
    EXPECT_EQ(Scan(main, "CONST_NO"), (std::vector<std::string>{"W1", "W3"}));

    main.StartEdit();
    main.FieldNamed("CON_NAME").SetText("changed");
    EXPECT_EQ(Scan(main, "CON_NAME"), (std::vector<std::string>{"first", "third"}));
    EXPECT_EQ(main.State(), dsEdit);
    EXPECT_EQ(main.FieldNamed("CON_NAME").GetText(), "changed");
}

TEST_F(MasterDetail, LocateByTheOrderingFieldUsesTheKeyAndAMissStaysPut) {
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

}  // namespace
