// The table layer on real files: opening, closing and saving, navigation,
// editing with its events, field conversions and sorting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/client_table.h"
#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "table_files.h"
#include "test_support/test_support.h"

using namespace sarvenu;
using testutil::Column;
using testutil::Row;

namespace {

const std::vector<Column> kCodeColumns = {{"CD", FLD_STRING, 10}, {"NAME", FLD_STRING, 20}};

std::vector<Row> CodeRows(const std::vector<std::string>& codes) {
    std::vector<Row> rows;
    for (const std::string& cd : codes) rows.push_back({cd, "name" + cd});
    return rows;
}

std::vector<std::string> Column0(TClientTable& t) {
    std::vector<std::string> out;
    for (t.MoveFirst(); !t.AtEnd(); t.MoveNext()) out.push_back(t.FieldAt(0).GetText());
    return out;
}

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EDatabaseError& e) {
        return e.what();
    }
    return "(no error)";
}

class TableTest : public ::testing::Test {
  protected:
    std::string Make(const std::vector<std::string>& codes, const std::string& name = "T.cds") {
        std::string path = dir.File(name);
        testutil::WriteTable(path, kCodeColumns, CodeRows(codes));
        return path;
    }
    sarvenu_test::TempDir dir;
};

TEST_F(TableTest, FilesThatCannotBeOpenedLeaveTheTableClosedAndUntouched) {
    TClientTable t;
    t.SetFileName(dir.File("missing.cds"));
    EXPECT_EQ(MessageOf([&] { t.OpenTable(); }),
              platform::Utf8ToCp932("データプロバイダ/パケットがありません"));
    EXPECT_FALSE(t.Active());

    sarvenu_test::WriteBytes(dir.File("empty.cds"), "");
    t.SetFileName(dir.File("empty.cds"));
    EXPECT_EQ(MessageOf([&] { t.OpenTable(); }),
              platform::Utf8ToCp932("データプロバイダ/パケットがありません"));
    EXPECT_FALSE(t.Active());

    const std::string corrupt = "not a datapacket at all";
    sarvenu_test::WriteBytes(dir.File("bad.cds"), corrupt);
    t.SetFileName(dir.File("bad.cds"));
    try {
        t.OpenTable();
        FAIL() << "a corrupt file opened";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Code(), 0);
        EXPECT_STRNE(e.what(), "");
    }
    EXPECT_FALSE(t.Active());
    EXPECT_EQ(sarvenu_test::ReadBytes(dir.File("bad.cds")), corrupt);
}

TEST_F(TableTest, ClosingKeepsTheSameRecordsInTheirOrder) {
    std::string path = Make({"3", "1", "2"});
    const std::vector<Row> before = testutil::ReadRows(path);
    TClientTable t;
    t.SetFileName(path);
    t.OpenTable();
    EXPECT_EQ(t.RecordTotal(), 3u);
    t.CloseTable();
    EXPECT_FALSE(t.Active());
    EXPECT_EQ(testutil::ReadRows(path), before);
}

TEST_F(TableTest, NavigationVisitsEveryRecordAndFiresAfterScroll) {
    TClientTable t;
    t.SetFileName(Make({"b", "a", "c"}));
    int scrolls = 0;
    t.AfterScroll = [&](TClientTable&) { ++scrolls; };
    t.OpenTable();
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(Column0(t), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_TRUE(t.AtEnd());
    // Past the end the last record stays current.
    EXPECT_EQ(t.FieldNamed("CD").GetText(), "c");
    EXPECT_GE(scrolls, 5);

    EXPECT_TRUE(t.Locate("NAME", "namea"));
    EXPECT_EQ(t.FieldAt(0).GetText(), "a");
    EXPECT_EQ(t.Position(), 2u);
    EXPECT_FALSE(t.Locate("CD", "zz"));
    EXPECT_EQ(t.FieldAt(0).GetText(), "a");
}

TEST_F(TableTest, SortingByFieldNames) {
    TClientTable t;
    t.SetFileName(Make({"b", "a", "c"}));
    t.SetIndexFieldNames("CD");
    t.OpenTable();
    EXPECT_EQ(Column0(t), (std::vector<std::string>{"a", "b", "c"}));

    EXPECT_EQ(MessageOf([&] { t.SetIndexFieldNames("NOPE"); }),
              platform::Utf8ToCp932("項目 'NOPE' が見つかりません"));
    EXPECT_EQ(t.IndexFieldNames(), "CD");
    EXPECT_EQ(Column0(t), (std::vector<std::string>{"a", "b", "c"}));

    t.SetIndexFieldNames("");
    EXPECT_EQ(Column0(t), (std::vector<std::string>{"b", "a", "c"}));
}

TEST_F(TableTest, DuplicateFieldNamesAreMadeUnique) {
    std::string path = dir.File("dup.cds");
    testutil::WriteTable(path, {{"A"}, {"A"}, {"A_1"}}, {{"x", "y", "z"}});
    TClientTable t;
    t.SetFileName(path);
    t.OpenTable();
    ASSERT_EQ(t.FieldTotal(), 3);
    EXPECT_EQ(t.FieldAt(0).FieldName(), "A");
    EXPECT_EQ(t.FieldAt(1).FieldName(), "A_1");
    EXPECT_EQ(t.FieldAt(2).FieldName(), "A_1_1");
    EXPECT_EQ(t.FieldAt(1).GetText(), "y");
    EXPECT_EQ(t.FieldAt(0).Kind(), ftString);
    EXPECT_EQ(t.FieldAt(0).Size(), 20u);
}

TEST_F(TableTest, EditingFiresEventsInOrderAndPostsToTheFile) {
    std::string path = Make({"1"});
    TClientTable t;
    t.SetFileName(path);
    std::vector<std::string> log;
    t.BeforeInsert = [&](TClientTable&) { log.push_back("BeforeInsert"); };
    t.OnNewRecord = [&](TClientTable& table) {
        log.push_back("OnNewRecord");
        table.FieldNamed("NAME").SetText("default");
    };
    t.AfterInsert = [&](TClientTable&) { log.push_back("AfterInsert"); };
    t.BeforeEdit = [&](TClientTable&) { log.push_back("BeforeEdit"); };
    t.AfterEdit = [&](TClientTable&) { log.push_back("AfterEdit"); };
    t.OpenTable();

    t.StartInsert();
    EXPECT_EQ(t.State(), dsInsert);
    EXPECT_FALSE(t.Modified());  // defaults from OnNewRecord do not count
    EXPECT_EQ(t.FieldNamed("NAME").GetText(), "default");
    t.FieldNamed("CD").SetText("2");
    t.CommitRecord();
    EXPECT_EQ(t.State(), dsBrowse);
    EXPECT_EQ(t.FieldNamed("CD").GetText(), "2");  // stays on the new record

    t.StartEdit();
    t.StartEdit();  // already editing: nothing happens
    t.FieldNamed("NAME").SetText("changed");
    t.CommitRecord();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeInsert", "OnNewRecord", "AfterInsert",
                                             "BeforeEdit", "AfterEdit"}));

    t.StartEdit();
    t.FieldNamed("NAME").SetText("dropped");
    t.DiscardRecord();
    EXPECT_EQ(t.FieldNamed("NAME").GetText(), "changed");

    t.CloseTable();
    auto rows = testutil::ReadRows(path);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][0], "2");
    EXPECT_EQ(rows[1][1], "changed");
}

TEST_F(TableTest, MovingAwaySettlesTheEdit) {
    TClientTable t;
    t.SetFileName(Make({"1", "2"}));
    t.OpenTable();
    // A new record nobody wrote to is dropped by the next StartInsert.
    t.StartInsert();
    t.StartInsert();
    t.DiscardRecord();
    EXPECT_EQ(t.RecordTotal(), 2u);
    // A changed record is saved by moving on.
    t.StartInsert();
    t.FieldNamed("CD").SetText("3");
    t.MoveFirst();
    EXPECT_EQ(t.State(), dsBrowse);
    EXPECT_EQ(t.RecordTotal(), 3u);
    t.StartEdit();
    t.FieldNamed("NAME").SetText("edited");
    t.MoveNext();
    t.MoveFirst();
    EXPECT_EQ(t.FieldNamed("NAME").GetText(), "edited");
}

TEST_F(TableTest, RemovingRecords) {
    TClientTable t;
    t.SetFileName(Make({"1", "2", "3"}));
    t.OpenTable();
    t.MoveNext();
    t.RemoveRecord();
    EXPECT_EQ(t.FieldAt(0).GetText(), "3");  // the follower
    t.RemoveRecord();
    EXPECT_EQ(t.FieldAt(0).GetText(), "1");  // the new last one
    EXPECT_FALSE(t.AtEnd());
    t.RemoveRecord();
    EXPECT_EQ(t.RecordTotal(), 0u);
    EXPECT_TRUE(t.AtEnd());
    EXPECT_EQ(t.FieldAt(0).GetText(), "");
    EXPECT_THROW(t.RemoveRecord(), EDatabaseError);
    // On an empty view StartEdit inserts.
    t.StartEdit();
    EXPECT_EQ(t.State(), dsInsert);
}

TEST_F(TableTest, FieldTextConversions) {
    std::string path = dir.File("types.cds");
    testutil::WriteTable(path,
                         {{"S", FLD_STRING, 4},
                          {"I", FLD_INT32},
                          {"W", FLD_INT16},
                          {"F", FLD_FLOAT},
                          {"D", FLD_DATE},
                          {"B", FLD_BOOL16}},
                         {});
    TClientTable t;
    t.SetFileName(path);
    t.OpenTable();
    EXPECT_EQ(MessageOf([&] { t.FieldNamed("S").SetText("x"); }),
              platform::Utf8ToCp932("データセットが編集または挿入モードではありません"));
    t.StartInsert();
    TField& s = t.FieldNamed("S");
    s.SetText("abcdefg");
    EXPECT_EQ(s.GetText(), "abcd");
    // A double-byte character that does not fit is dropped whole.
    s.SetText("ab" + platform::Utf8ToCp932("日本"));
    EXPECT_EQ(s.GetText(), "ab" + platform::Utf8ToCp932("日"));
    s.SetText("abc" + platform::Utf8ToCp932("日"));
    EXPECT_EQ(s.GetText(), "abc");
    s.SetText("");
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(s.GetText(), "");

    t.FieldNamed("I").SetText("-42");
    EXPECT_EQ(t.FieldNamed("I").GetText(), "-42");
    EXPECT_EQ(MessageOf([&] { t.FieldNamed("I").SetText("4x"); }),
              platform::Utf8ToCp932("'4x' は項目 'I' に適した整数値ではありません"));
    EXPECT_EQ(MessageOf([&] { t.FieldNamed("W").SetText("40000"); }),
              platform::Utf8ToCp932("'40000' は項目 'W' に適した整数値ではありません"));
    EXPECT_EQ(MessageOf([&] { t.FieldNamed("F").SetText("1.2.3"); }),
              platform::Utf8ToCp932("'1.2.3' は項目 'F' に適した浮動小数点数値ではありません"));
    EXPECT_EQ(t.FieldNamed("I").GetText(), "-42");  // a refused text changes nothing
    t.FieldNamed("F").SetText("2.5");
    EXPECT_EQ(t.FieldNamed("F").GetText(), "2.5");
    t.FieldNamed("D").SetText("2006/04/01");
    EXPECT_EQ(t.FieldNamed("D").GetText(), "2006/04/01");
    t.FieldNamed("B").SetText("True");
    EXPECT_EQ(t.FieldNamed("B").GetText(), "True");
    t.FieldNamed("W").CopyValueFrom(t.FieldNamed("I"));
    EXPECT_EQ(t.FieldNamed("W").GetText(), "-42");
    t.CommitRecord();
    EXPECT_EQ(t.FieldNamed("D").GetText(), "2006/04/01");
    EXPECT_EQ(MessageOf([&] { t.FieldNamed("nope"); }),
              platform::Utf8ToCp932("項目 'nope' が見つかりません"));
}

TEST_F(TableTest, SavingInXmlFormByExtension) {
    TClientTable t;
    t.SetFileName(Make({"1", "2"}));
    t.OpenTable();
    std::string xml = dir.File("OUT.XML");
    t.SaveToPath(xml);
    EXPECT_EQ(sarvenu_test::ReadBytes(xml).rfind("<?xml", 0), 0u);
    std::string bin = dir.File("out.cds");
    t.SaveToPath(bin);
    EXPECT_NE(sarvenu_test::ReadBytes(bin).rfind("<?xml", 0), 0u);

    TClientTable back;
    back.SetFileName(xml);
    back.OpenTable();
    EXPECT_EQ(Column0(back), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(testutil::ReadRows(xml), testutil::ReadRows(bin));
}

TEST_F(TableTest, AFailedWriteRaisesAndKeepsThePreviousFile) {
    std::string path = Make({"1"});
    const std::string before = sarvenu_test::ReadBytes(path);
    TClientTable t;
    t.SetFileName(path);
    t.OpenTable();
    t.StartInsert();
    t.FieldNamed("CD").SetText("2");
    t.CommitRecord();
    for (int64_t allowed = 0; allowed < 4; ++allowed) {
        fileops::ScopedFaultPlan faults({allowed, ""});
        EXPECT_THROW(t.CloseTable(), EDatabaseError) << allowed;
        EXPECT_TRUE(t.Active());
        EXPECT_EQ(sarvenu_test::ReadBytes(path), before);
    }
    {
        fileops::ScopedFaultPlan faults({-1, path});
        EXPECT_THROW(t.SaveToPath(), EDatabaseError);
        EXPECT_EQ(sarvenu_test::ReadBytes(path), before);
    }
    // The records are still there and the next close writes them.
    t.CloseTable();
    EXPECT_EQ(testutil::ReadRows(path).size(), 2u);
}

TEST_F(TableTest, DataSourceListenersHearChanges) {
    TClientTable t;
    TTableSource ds(&t);
    int heard = 0;
    int id = ds.Subscribe([&] { ++heard; });
    t.SetFileName(Make({"1", "2"}));
    t.OpenTable();
    int afterOpen = heard;
    EXPECT_GT(afterOpen, 0);
    t.MoveNext();
    EXPECT_GT(heard, afterOpen);
    ds.Unsubscribe(id);
    int before = heard;
    t.MoveFirst();
    EXPECT_EQ(heard, before);
}

}  // namespace
