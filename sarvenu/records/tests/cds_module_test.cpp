// The data store on real table files: start-up, work numbers, saving,
// cancelling and deleting a work across its sheets, the cost rule, the
// bureau/office rule, record copies and writing the tables at close.
#include <sys/stat.h>

#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "store_fixture.h"

namespace store_test {
namespace {

TClientTable* const kNone = nullptr;

class CdsModuleTest : public ::testing::Test {
  protected:
    Installation install;
    TestHost host;

    // A new work as the main window makes one: number, name, flags, save.
    static std::string NewWork(TdmCdsModule& dm, const std::string& name,
                               const std::string& type = {}) {
        const std::string number = dm.GetNextConstNo();
        dm.cdsEV_TBL_MAIN.FieldNamed("CONST_NO").SetText(number);
        dm.cdsEV_TBL_MAIN.FieldNamed("CON_NAME").SetText(name);
        dm.cdsEV_TBL_MAIN.FieldNamed("CON_TYPE").SetText(type);
        dm.InitCheckValue();
        dm.CdsPost();
        return number;
    }

    static size_t RowsOf(const fs::path& path, const std::string& number) {
        size_t n = 0;
        for (const Row& row : ReadTable(path)) n += row.at("CONST_NO") == number;
        return n;
    }
};

TEST_F(CdsModuleTest, StartUpOpensEveryTableAndResolvesDirectories) {
    TdmCdsModule dm(host, install.ExeDir());
    EXPECT_TRUE(dm.OpenFailures().empty());
    for (const TTableDef& def : SurveySchema()) {
        TClientTable* table = dm.TableNamed(def.name);
        ASSERT_NE(table, kNone) << def.name;
        EXPECT_TRUE(table->Active()) << def.name;
        EXPECT_EQ(table->Name(), def.dataset);
    }
    EXPECT_EQ(dm.Directories().table, install.ExeDir() + "cds/");
    EXPECT_EQ(dm.Directories().picture, install.ExeDir() + "img/");
    EXPECT_EQ(dm.LastIssuedNumber(), 0);

    EXPECT_EQ(dm.cdsEV_STBL_CON_TYPE.RecordTotal(), ShippedConTypes().size());
}

TEST_F(CdsModuleTest, WorkNumbersFollowTheHighestOnDiskAndStayUniqueInTheRun) {
    install.WriteRows(
        TTableId::Main,
        {{{"CONST_NO", "CYY-XX0007"}}, {{"CONST_NO", "IMP-9999"}}, {{"CONST_NO", "CYY-XX12AB"}}});
    install.WriteRows(TTableId::InvCon, {{{"CONST_NO", "cyy-xx0012"}}});
    TdmCdsModule dm(host, install.ExeDir());

    EXPECT_EQ(dm.GetNextConstNo(), "CYY-XX0013");
    EXPECT_EQ(dm.cdsEV_TBL_MAIN.State(), dsInsert);
    dm.CdsCancel();
    EXPECT_EQ(dm.GetNextConstNo(), "CYY-XX0014");
    EXPECT_EQ(dm.LastIssuedNumber(), 14);
}

TEST_F(CdsModuleTest, WorkNumbersPastFourDigitsKeepCounting) {
    install.WriteRows(TTableId::Main,
                      {{{"CONST_NO", "CYY-XX9999"}}, {{"CONST_NO", "CYY-XX10000"}}});
    const std::string before = ReadBytes(install.TablePath(TTableId::Main));
    TdmCdsModule dm(host, install.ExeDir());
    EXPECT_EQ(dm.GetNextConstNo(), "CYY-XX10001");
    // Looking for the highest number only reads the files.
    EXPECT_EQ(ReadBytes(install.TablePath(TTableId::Main)), before);
}

TEST_F(CdsModuleTest, NewWorkIsSavedAcrossItsSheetsAndWrittenAtClose) {
    std::string number;
    {
        TdmCdsModule dm(host, install.ExeDir());
        number = NewWork(dm, platform::Utf8ToCp932("橋梁補修工事"));
        EXPECT_GT(host.dataEdits, 0);
        EXPECT_FALSE(dm.cdsEV_TBL_MAIN.IsEditing());
        dm.CdsClose();
    }
    EXPECT_EQ(RowsOf(install.TablePath(TTableId::Main), number), 1u);
    for (TTableId id : {TTableId::Plan, TTableId::InvChief, TTableId::InvCon, TTableId::InvSection})
        EXPECT_EQ(RowsOf(install.TablePath(id), number), 1u) << TableDef(id).name;
    EXPECT_EQ(RowsOf(install.TablePath(TTableId::Report), number), 0u);

    const Row plan = ReadTable(install.TablePath(TTableId::Plan)).at(0);
    EXPECT_EQ(plan.at("CON_COST_YN"), "0");
    EXPECT_EQ(plan.at("CON_ENV_YN"), "0");
    const Row chief = ReadTable(install.TablePath(TTableId::InvChief)).at(0);
    EXPECT_EQ(chief.at("INV_CONSTRUCT_EVAL_YN2"), "0");
    EXPECT_EQ(chief.at("INV_PURSUIT_YN"), "0");
    EXPECT_EQ(chief.at("INV_QUALITY_EVAL_POINT1"), "");
    const Row con = ReadTable(install.TablePath(TTableId::InvCon)).at(0);
    EXPECT_EQ(con.at("INV_OTHER_YN3"), "0");
    EXPECT_EQ(ReadTable(install.TablePath(TTableId::Main)).at(0).at("CON_NAME"),
              platform::Utf8ToCp932("橋梁補修工事"));
}

TEST_F(CdsModuleTest, DatePostWritesTheWindowDatesIntoTheSheetsBeingEdited) {
    host.dates[TCdsModuleHost::deRegDatePlan] = "2006/04/01";
    host.dates[TCdsModuleHost::deTechConDatePlanE] = "2007/02/28";
    host.dates[TCdsModuleHost::deRegDateReport] = "2007/03/31";
    host.dates[TCdsModuleHost::deConDateChiefS] = "2006/05/15";
    TdmCdsModule dm(host, install.ExeDir());
    NewWork(dm, "A");
    dm.SetValue(dm.cdsEV_TBL_REPORT, "REG_DATE", "x");
    dm.SetValue(dm.cdsEV_TBL_PLAN, "CON_PLACE", "y");
    dm.SetValue(dm.cdsEV_TBL_INV_CHIEF, "INV_NAME", "z");
    dm.CdsPost();

    EXPECT_EQ(dm.cdsEV_TBL_PLAN.FieldNamed("REG_DATE").GetText(), "2006/04/01");
    EXPECT_EQ(dm.cdsEV_TBL_PLAN.FieldNamed("TECH_CON_DATE_E").GetText(), "2007/02/28");
    EXPECT_EQ(dm.cdsEV_TBL_PLAN.FieldNamed("CON_DATE_S").GetText(), "");
    EXPECT_EQ(dm.cdsEV_TBL_REPORT.FieldNamed("REG_DATE").GetText(), "2007/03/31");
    EXPECT_EQ(dm.cdsEV_TBL_INV_CHIEF.FieldNamed("INV_CON_DATE_S").GetText(), "2006/05/15");
    EXPECT_EQ(dm.cdsEV_TBL_INV_CHIEF.FieldNamed("INV_NAME").GetText(), "z");
}

// The economy figures survive only on the sheet that answers them for the type.
struct CostCase {
    const char* type;
    bool sectionKept;
    bool contractorKept;
};

class CostRuleTest : public CdsModuleTest, public ::testing::WithParamInterface<CostCase> {};

TEST_P(CostRuleTest, SavingKeepsTheCostFiguresOnlyOnTheAnsweringSheet) {
    const CostCase c = GetParam();
    TdmCdsModule dm(host, install.ExeDir());
    NewWork(dm, "A", c.type);
    for (TClientTable* sheet : {&dm.cdsEV_TBL_INV_SECTION, &dm.cdsEV_TBL_INV_CON}) {
        dm.SetValue(*sheet, "INV_COST_UNIT", "m2");
        dm.SetValue(*sheet, "INV_OLD_COST", "120.5");
        dm.SetValue(*sheet, "INV_NEW_COST", "99.9");
    }
    dm.CdsPost();
    auto kept = [](TClientTable& sheet) {
        const bool all = sheet.FieldNamed("INV_COST_UNIT").GetText() == "m2" &&
                         sheet.FieldNamed("INV_OLD_COST").GetText() == "120.5" &&
                         sheet.FieldNamed("INV_NEW_COST").GetText() == "99.9";
        const bool none = sheet.FieldNamed("INV_COST_UNIT").GetText().empty() &&
                          sheet.FieldNamed("INV_OLD_COST").GetText().empty() &&
                          sheet.FieldNamed("INV_NEW_COST").GetText().empty();
        EXPECT_TRUE(all || none);
        return all;
    };
    EXPECT_EQ(kept(dm.cdsEV_TBL_INV_SECTION), c.sectionKept);
    EXPECT_EQ(kept(dm.cdsEV_TBL_INV_CON), c.contractorKept);
}

INSTANTIATE_TEST_SUITE_P(Types, CostRuleTest,
                         ::testing::Values(CostCase{"5", false, true}, CostCase{"6", false, true},
                                           CostCase{"0", true, false}, CostCase{"3", true, false},
                                           CostCase{"", false, false}));

TEST_F(CdsModuleTest, CancelRestoresEverySheetOfTheWork) {
    TdmCdsModule dm(host, install.ExeDir());
    NewWork(dm, "before");
    dm.SetValue(dm.cdsEV_TBL_MAIN, "CON_NAME", "after");
    dm.SetValue(dm.cdsEV_TBL_PLAN, "CON_PLACE", "somewhere");
    dm.SetValue(dm.cdsEV_TBL_INV_CHIEF, "INV_NAME", "someone");
    dm.CdsCancel();
    for (TClientTable* t : {&dm.cdsEV_TBL_MAIN, &dm.cdsEV_TBL_PLAN, &dm.cdsEV_TBL_INV_CHIEF})
        EXPECT_FALSE(t->IsEditing()) << t->Name();
    EXPECT_EQ(dm.cdsEV_TBL_MAIN.FieldNamed("CON_NAME").GetText(), "before");
    EXPECT_EQ(dm.cdsEV_TBL_PLAN.FieldNamed("CON_PLACE").GetText(), "");
    EXPECT_EQ(dm.cdsEV_TBL_INV_CHIEF.FieldNamed("INV_NAME").GetText(), "");

    // An abandoned new work leaves no trace.
    dm.GetNextConstNo();
    dm.cdsEV_TBL_MAIN.FieldNamed("CONST_NO").SetText("CYY-XX0099");
    dm.CdsCancel();
    EXPECT_EQ(dm.cdsEV_TBL_MAIN.RecordTotal(), 1u);
}

TEST_F(CdsModuleTest, DeleteRemovesTheWorkEverywhereAndOnlyItsPictures) {
    install.WriteRows(TTableId::Main, {{{"CONST_NO", "CYY-XX1000"}, {"CON_NAME", "gone"}},
                                       {{"CONST_NO", "CYY-XX10001"}, {"CON_NAME", "kept"}}});
    for (TTableId id : {TTableId::Plan, TTableId::Report, TTableId::InvSection, TTableId::InvChief,
                        TTableId::InvCon})
        install.WriteRows(id, {{{"CONST_NO", "CYY-XX1000"}}, {{"CONST_NO", "CYY-XX10001"}}});
    for (const char* name :
         {"CYY-XX1000A.jpg", "_CYY-XX1000B.gif", "CYY-XX10001A.jpg", "_CYY-XX10001C.gif"})
        WriteBytes(install.PicturePath(name), "picture");
    {
        TdmCdsModule dm(host, install.ExeDir());
        ASSERT_TRUE(dm.cdsEV_TBL_MAIN.Locate("CONST_NO", "CYY-XX1000"));
        dm.CdsDelete();
        EXPECT_EQ(dm.cdsEV_TBL_MAIN.RecordTotal(), 1u);
        dm.CdsClose();
    }
    for (const TTableDef& def : SurveySchema()) {
        if (!def.survey) continue;
        const auto rows = ReadTable(install.TablePath(def.id));
        ASSERT_EQ(rows.size(), 1u) << def.name;
        EXPECT_EQ(rows[0].at("CONST_NO"), "CYY-XX10001") << def.name;
    }
    EXPECT_FALSE(fs::exists(install.PicturePath("CYY-XX1000A.jpg")));
    EXPECT_FALSE(fs::exists(install.PicturePath("_CYY-XX1000B.gif")));
    EXPECT_TRUE(fs::exists(install.PicturePath("CYY-XX10001A.jpg")));
    EXPECT_TRUE(fs::exists(install.PicturePath("_CYY-XX10001C.gif")));
}

TEST_F(CdsModuleTest, DataDeleteRemovesEveryMatchingRecordIncludingTheLast) {
    TdmCdsModule dm(host, install.ExeDir());
    ASSERT_TRUE(dm.SetCdsFile(install.TablePath(TTableId::Report).string(), dm.cdsTemp));
    for (const char* key : {"K1", "K2", "K1", "K3", "K1"}) {
        dm.cdsTemp.StartAppend();
        dm.cdsTemp.FieldNamed("CONST_NO").SetText(key);
        dm.cdsTemp.CommitRecord();
    }
    dm.DataDelete(dm.cdsTemp, "CONST_NO", "K1");
    std::vector<std::string> left;
    for (dm.cdsTemp.MoveFirst(); !dm.cdsTemp.AtEnd(); dm.cdsTemp.MoveNext())
        left.push_back(dm.cdsTemp.FieldNamed("CONST_NO").GetText());
    EXPECT_EQ(left, (std::vector<std::string>{"K2", "K3"}));
    CloseWithoutSaving(dm.cdsTemp);
    EXPECT_FALSE(dm.SetCdsFile(install.Root().string() + "/cds/none.cds", dm.cdsTemp));
}

TEST_F(CdsModuleTest, OfficeIsClearedWhenItIsNotAnOfficeOfTheChosenBureau) {
    TdmCdsModule dm(host, install.ExeDir());
    NewWork(dm, "A");
    struct Case {
        const char* bureau;
        const char* office;
        bool kept;
    };
    for (const Case& c : {Case{"1", "101", true}, Case{"1", "1101", true}, Case{"10", "2050", true},
                          Case{"01", "104", true}, Case{"2", "2050", false},
                          Case{"1", "201", false}, Case{"", "101", false}}) {
        dm.SetValue(dm.cdsEV_TBL_MAIN, "MOC_CD", c.bureau);
        dm.SetValue(dm.cdsEV_TBL_MAIN, "OFFICE_CD", c.office);
        dm.cdsMV_STBL_INFO_GATHER_MOC.MoveNext();
        EXPECT_EQ(dm.cdsEV_TBL_MAIN.FieldNamed("OFFICE_CD").GetText(), c.kept ? c.office : "")
            << c.bureau << " / " << c.office;
    }
    // Outside editing the handler leaves the work alone.
    dm.SetValue(dm.cdsEV_TBL_MAIN, "MOC_CD", "3");
    dm.SetValue(dm.cdsEV_TBL_MAIN, "OFFICE_CD", "101");
    dm.CdsPost();
    dm.cdsMV_STBL_INFO_GATHER_MOC.MoveFirst();
    EXPECT_EQ(dm.cdsEV_TBL_MAIN.FieldNamed("OFFICE_CD").GetText(), "101");
}

TEST_F(CdsModuleTest, RecordCopyGoesByPositionAndRefusesANarrowerTarget) {
    TdmCdsModule dm(host, install.ExeDir());
    NewWork(dm, platform::Utf8ToCp932("工事"));
    dm.SetValue(dm.cdsEV_TBL_MAIN, "TECH_TITLE", platform::Utf8ToCp932("技術"));
    dm.CdsPost();

    ASSERT_TRUE(dm.SetCdsFile(install.TablePath(TTableId::Main).string(), dm.cdsTemp));
    dm.CdsRecordCopy(dm.cdsEV_TBL_MAIN, dm.cdsTemp, "IMP-1", "CONST_NO");
    EXPECT_EQ(dm.cdsTemp.FieldNamed("CONST_NO").GetText(), "IMP-1");
    EXPECT_EQ(dm.cdsTemp.FieldNamed("CON_NAME").GetText(), platform::Utf8ToCp932("工事"));
    EXPECT_EQ(dm.cdsTemp.FieldNamed("TECH_TITLE").GetText(), platform::Utf8ToCp932("技術"));
    CloseWithoutSaving(dm.cdsTemp);

    // The report table has two columns; copying the main record into it
    // would drop values, so it is refused and nothing is appended.
    ASSERT_TRUE(dm.SetCdsFile(install.TablePath(TTableId::Report).string(), dm.cdsTemp));
    EXPECT_THROW(dm.CdsRecordCopy(dm.cdsEV_TBL_MAIN, dm.cdsTemp, "X", "CONST_NO"), ECdsError);
    EXPECT_EQ(dm.cdsTemp.RecordTotal(), 0u);
    EXPECT_FALSE(dm.cdsTemp.IsEditing());
    CloseWithoutSaving(dm.cdsTemp);
}

TEST_F(CdsModuleTest, TablesWrittenAtCloseReadBackUnchanged) {
    std::map<TTableId, Row> written;
    {
        TdmCdsModule dm(host, install.ExeDir());
        NewWork(dm, platform::Utf8ToCp932("河川改修"), "3");
        // Every column of every sheet gets a distinct text that fits its width.
        for (TTableId id : {TTableId::Main, TTableId::Plan, TTableId::Report, TTableId::InvSection,
                            TTableId::InvChief, TTableId::InvCon}) {
            const TTableDef& def = TableDef(id);
            TClientTable* table = dm.TableNamed(def.name);
            for (size_t i = 1; i < def.columns.size(); ++i) {
                const uint32_t width = def.columns[i].width;
                std::string text = width >= 6 ? platform::Utf8ToCp932("値") + std::to_string(i)
                                              : std::to_string(i);
                text = text.substr(0, width);
                if (def.columns[i].name == "CON_TYPE") text = "3";
                dm.SetValue(*table, def.columns[i].name, text);
                written[id][def.columns[i].name] = text;
            }
        }
        dm.cdsEV_TBL_MAIN.CommitRecord();
        dm.CdsClose();
    }
    for (const auto& [id, values] : written) {
        const auto rows = ReadTable(install.TablePath(id));
        ASSERT_EQ(rows.size(), 1u) << TableDef(id).name;
        for (const auto& [field, text] : values)
            EXPECT_EQ(rows[0].at(field), text) << TableDef(id).name << "." << field;
    }
}

TEST_F(CdsModuleTest, MissingOrCorruptTableLeavesTheOthersUsableAndItsFileUntouched) {
    const fs::path plan = install.TablePath(TTableId::Plan);
    const std::string corrupt = ReadBytes(plan).substr(0, 40) + "garbage";
    WriteBytes(plan, corrupt);
    fs::remove(install.TablePath(TTableId::Report));
    {
        TdmCdsModule dm(host, install.ExeDir());
        ASSERT_EQ(dm.OpenFailures().size(), 2u);
        EXPECT_EQ(dm.OpenFailures()[0].table, "EV_TBL_PLAN_R");
        EXPECT_EQ(
            dm.OpenFailures()[0].message.rfind(platform::Utf8ToCp932("ファイルが壊れているか"), 0),
            0u);
        EXPECT_EQ(dm.OpenFailures()[1].table, "EV_TBL_REPORT_R");
        EXPECT_EQ(dm.OpenFailures()[1].message,
                  platform::Utf8ToCp932(
                      "ファイルが見つかりません。（データプロバイダ/パケットがありません）"));
        EXPECT_FALSE(dm.cdsEV_TBL_PLAN.Active());
        EXPECT_TRUE(dm.cdsEV_TBL_INV_CON.Active());
        EXPECT_TRUE(dm.cdsMV_STBL_HAC_SAI.Active());
        EXPECT_THROW(dm.cdsEV_TBL_PLAN.StartEdit(), EDatabaseError);
        EXPECT_THROW(dm.cdsEV_TBL_REPORT.FieldNamed("REG_DATE"), EDatabaseError);
        dm.CdsClose();
    }
    EXPECT_EQ(ReadBytes(plan), corrupt);
    EXPECT_FALSE(fs::exists(install.TablePath(TTableId::Report)));
}

TEST_F(CdsModuleTest, FailedWriteAtCloseRaisesAndKeepsThePreviousFile) {
    const fs::path main = install.TablePath(TTableId::Main);
    const std::string before = ReadBytes(main);
    TdmCdsModule dm(host, install.ExeDir());
    const std::string number = NewWork(dm, "A");
    {
        fileops::FaultPlan plan;
        plan.failPath = main.string();
        fileops::ScopedFaultPlan faults(plan);
        EXPECT_THROW(dm.CdsClose(), EDatabaseError);
    }
    EXPECT_EQ(ReadBytes(main), before);
    // The other tables were written; the main table stays open to be retried.
    EXPECT_EQ(RowsOf(install.TablePath(TTableId::Plan), number), 1u);
    EXPECT_TRUE(dm.cdsEV_TBL_MAIN.Active());
    dm.CdsClose();
    EXPECT_EQ(RowsOf(main, number), 1u);
}

}  // namespace
}  // namespace store_test

namespace store_test {
namespace {

ino_t InodeOf(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// A save writes exactly the tables whose records changed, merged, and the
// next number is still taken from what is stored; writes and closes leave
// dated snapshots.
TEST_F(CdsModuleTest, WritingAfterASaveTouchesOnlyChangedTablesAndLeavesSnapshots) {
    std::map<TTableId, ino_t> before;
    for (const TTableDef& def : SurveySchema()) before[def.id] = InodeOf(install.TablePath(def.id));
    {
        TdmCdsModule dm(host, install.ExeDir());
        const std::string number = NewWork(dm, platform::Utf8ToCp932("橋梁補修"));
        dm.CdsWrite();
        EXPECT_EQ(RowsOf(install.TablePath(TTableId::Main), number), 1u);
        EXPECT_EQ(RowsOf(install.TablePath(TTableId::InvChief), number), 1u);
        // Only the survey tables the work changed were replaced.
        // (The cost rule gives a work without a type a section chief's record.)
        for (TTableId id : {TTableId::Main, TTableId::Plan, TTableId::InvSection,
                            TTableId::InvChief, TTableId::InvCon})
            EXPECT_NE(InodeOf(install.TablePath(id)), before[id]) << TableDef(id).name;
        for (TTableId id : {TTableId::Report, TTableId::HacSai, TTableId::ConType})
            EXPECT_EQ(InodeOf(install.TablePath(id)), before[id]) << TableDef(id).name;
        ASSERT_NE(dm.Backup(), nullptr);
        EXPECT_EQ(dm.Backup()->Snapshots().size(), 1u);

        // Read from the open tables, which hold what the files hold.
        EXPECT_EQ(dm.GetNextConstNo(), "CYY-XX0002");
        dm.CdsCancel();
        dm.cdsEV_TBL_MAIN.MoveFirst();
        dm.CdsDelete();
        dm.CdsWrite();
        EXPECT_EQ(RowsOf(install.TablePath(TTableId::Main), number), 0u);
        EXPECT_EQ(RowsOf(install.TablePath(TTableId::Plan), number), 0u);
        // The second write came within the minute: no new snapshot.
        EXPECT_EQ(dm.Backup()->Snapshots().size(), 1u);
        dm.CdsClose();
        EXPECT_EQ(dm.Backup()->Snapshots().size(), 2u);
    }
    EXPECT_TRUE(host.errorBoxes.empty());
    const fs::path newest =
        install.Root() / "backup" / ListSnapshots((install.Root() / "backup").string()).front();
    EXPECT_TRUE(ReadTable(newest / "cds" / "EV_TBL_MAIN.cds").empty());
    EXPECT_EQ(ReadTable(newest / "cds" / "MV_STBL_HAC_SAI.cds").size(), ShippedOffices().size());
}

// A scratch table left open by a step that failed takes the next file whole,
// and the file it held is not written.
TEST_F(CdsModuleTest, SetCdsFileOnAnOpenTableTakesTheNewFileWhole) {
    TdmCdsModule dm(host, install.ExeDir());
    const fs::path main = install.TablePath(TTableId::Main);
    const fs::path con = install.TablePath(TTableId::InvCon);
    const std::string mainBytes = ReadBytes(main);
    ASSERT_TRUE(dm.SetCdsFile(main.string(), dm.cdsTemp));
    dm.CdsRecordCopy(dm.cdsEV_TBL_MAIN, dm.cdsTemp, "CYY-XX0099", "CONST_NO");
    // The export failed here, before CdsOutput.
    ASSERT_TRUE(dm.SetCdsFile(con.string(), dm.cdsTemp));
    EXPECT_EQ(dm.cdsTemp.FieldTotal(), static_cast<int>(TableDef(TTableId::InvCon).columns.size()));
    EXPECT_NE(dm.cdsTemp.FindField("FILE_NAME_A"), nullptr);
    EXPECT_EQ(dm.cdsTemp.RecordTotal(), 0u);
    EXPECT_EQ(ReadBytes(main), mainBytes);
    CloseWithoutSaving(dm.cdsTemp);
}

// A file that loads but holds another table's columns stays closed and
// is named among the failures.
TEST_F(CdsModuleTest, TableFileOfAnotherLayoutStaysClosedAndUnwritten) {
    fs::copy_file(install.TablePath(TTableId::ConType), install.TablePath(TTableId::Report),
                  fs::copy_options::overwrite_existing);
    const std::string bytes = ReadBytes(install.TablePath(TTableId::Report));
    {
        TdmCdsModule dm(host, install.ExeDir());
        ASSERT_EQ(dm.OpenFailures().size(), 1u);
        EXPECT_EQ(dm.OpenFailures()[0].table, "EV_TBL_REPORT_R");
        EXPECT_EQ(dm.OpenFailures()[0].path, install.TablePath(TTableId::Report).string());
        EXPECT_NE(dm.OpenFailures()[0].message.find("CONST_NO"), std::string::npos);
        EXPECT_FALSE(dm.cdsEV_TBL_REPORT.Active());
        EXPECT_EQ(dm.ClosedSurveyTable(), install.TablePath(TTableId::Report).string());
        EXPECT_TRUE(dm.cdsEV_TBL_PLAN.Active());
        dm.CdsClose();
    }
    EXPECT_EQ(ReadBytes(install.TablePath(TTableId::Report)), bytes);
}

}  // namespace
}  // namespace store_test
