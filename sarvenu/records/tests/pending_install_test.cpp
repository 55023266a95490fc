// Table files an update leaves in the table directory ("_" + name) are
// installed at start-up: survey tables keep their records in the new layout,
// code tables are replaced, and a file that cannot be installed is reported
// while the current file stays in use unchanged.
#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "store_fixture.h"

namespace store_test {
namespace {

const char kInstallMessage[] =
    "ファイルのインストールが不完全です。\r\n入力システムを再インストールして下さい。";

class PendingInstallTest : public ::testing::Test {
  protected:
    Installation install;
    TestHost host;

    fs::path Pending(TTableId id) const {
        return install.Root() / "cds" / ("_" + TableDef(id).FileName());
    }

    // The contractor's table with two columns appended, as a newer release has it.
    static TTableDef WiderContractorTable() {
        TTableDef def = TableDef(TTableId::InvCon);
        def.columns.push_back({"INV_NEW_ITEM1", TColumnKind::Text, 255});
        def.columns.push_back({"INV_NEW_ITEM2", TColumnKind::Text, 20});
        return def;
    }

    void WriteContractorRecords() {
        install.WriteRows(TTableId::InvCon,
                          {{{"CONST_NO", "CYY-XX0001"},
                            {"INV_NAME", platform::Utf8ToCp932("山田")},
                            {"PICTURE_A", "p"}},
                           {{"CONST_NO", "CYY-XX0002"}, {"INV_COST_UNIT", "m3"}}});
    }
};

TEST_F(PendingInstallTest, SurveyTableGainingColumnsKeepsEveryRecord) {
    WriteContractorRecords();
    const auto before = ReadTable(install.TablePath(TTableId::InvCon));
    const TTableDef wider = WiderContractorTable();
    WriteTableFile(Pending(TTableId::InvCon).string(), wider);
    {
        TdmCdsModule dm(host, install.ExeDir());
        EXPECT_TRUE(host.errorBoxes.empty());
        EXPECT_EQ(dm.cdsEV_TBL_INV_CON.FieldTotal(), static_cast<int>(wider.columns.size()));
    }
    EXPECT_FALSE(fs::exists(Pending(TTableId::InvCon)));
    const auto after = ReadTable(install.TablePath(TTableId::InvCon));
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        for (const auto& [field, text] : before[i]) EXPECT_EQ(after[i].at(field), text) << field;
        EXPECT_EQ(after[i].at("INV_NEW_ITEM1"), "");
        EXPECT_EQ(after[i].at("INV_NEW_ITEM2"), "");
    }
    std::vector<std::string> names = FieldNames(install.TablePath(TTableId::InvCon));
    EXPECT_EQ(names.back(), "INV_NEW_ITEM2");
}

TEST_F(PendingInstallTest, CodeTableIsReplacedAsItComes) {
    const TTableDef& def = TableDef(TTableId::HacSai);
    WriteTableFile(Pending(TTableId::HacSai).string(), def,
                   {{"101", platform::Utf8ToCp932("新事務所"), "1"},
                    {"2099", platform::Utf8ToCp932("別事務所"), "2"}});
    TdmCdsModule dm(host, install.ExeDir());
    EXPECT_TRUE(host.errorBoxes.empty());
    EXPECT_FALSE(fs::exists(Pending(TTableId::HacSai)));
    EXPECT_EQ(dm.cdsMV_STBL_HAC_SAI.RecordTotal(), 2u);
    dm.cdsMV_STBL_HAC_SAI.MoveFirst();
    EXPECT_EQ(dm.cdsMV_STBL_HAC_SAI.FieldNamed("HAC_SAI").GetText(),
              platform::Utf8ToCp932("新事務所"));
}

TEST_F(PendingInstallTest, PendingFileWithoutCurrentFileIsReportedAndKept) {
    install.WriteSettings(platform::Utf8ToCp932("見出し"));
    fs::remove(install.TablePath(TTableId::Report));
    WriteTableFile(Pending(TTableId::Report).string(), TableDef(TTableId::Report));
    TdmCdsModule dm(host, install.ExeDir());
    ASSERT_EQ(host.errorBoxes.size(), 1u);
    EXPECT_EQ(host.errorBoxes[0].first, platform::Utf8ToCp932("見出し"));
    EXPECT_EQ(host.errorBoxes[0].second, platform::Utf8ToCp932(kInstallMessage));
    EXPECT_TRUE(fs::exists(Pending(TTableId::Report)));
    EXPECT_FALSE(fs::exists(install.TablePath(TTableId::Report)));
}

TEST_F(PendingInstallTest, PendingLayoutWithFewerColumnsIsRefusedWithoutTouchingTheData) {
    WriteContractorRecords();
    const std::string current = ReadBytes(install.TablePath(TTableId::InvCon));
    TTableDef narrower = TableDef(TTableId::InvCon);
    narrower.columns.resize(5);
    WriteTableFile(Pending(TTableId::InvCon).string(), narrower);
    const std::string pending = ReadBytes(Pending(TTableId::InvCon));
    {
        TdmCdsModule dm(host, install.ExeDir());
        EXPECT_EQ(host.errorBoxes.size(), 1u);
        EXPECT_EQ(dm.cdsEV_TBL_INV_CON.FieldTotal(),
                  static_cast<int>(TableDef(TTableId::InvCon).columns.size()));
    }
    EXPECT_EQ(ReadBytes(install.TablePath(TTableId::InvCon)), current);
    EXPECT_EQ(ReadBytes(Pending(TTableId::InvCon)), pending);
}

TEST_F(PendingInstallTest, FailedReplacementIsRetriedAtTheNextStartWithoutDuplicates) {
    WriteContractorRecords();
    const std::string current = ReadBytes(install.TablePath(TTableId::InvCon));
    WriteTableFile(Pending(TTableId::InvCon).string(), WiderContractorTable());
    const std::string pending = ReadBytes(Pending(TTableId::InvCon));
    {
        fileops::FaultPlan plan;
        plan.failPath = install.TablePath(TTableId::InvCon).string();
        fileops::ScopedFaultPlan faults(plan);
        TdmCdsModule dm(host, install.ExeDir());
        EXPECT_EQ(host.errorBoxes.size(), 1u);
    }
    EXPECT_EQ(ReadBytes(install.TablePath(TTableId::InvCon)), current);
    EXPECT_EQ(ReadBytes(Pending(TTableId::InvCon)), pending);

    host.errorBoxes.clear();
    { TdmCdsModule dm(host, install.ExeDir()); }
    EXPECT_TRUE(host.errorBoxes.empty());
    EXPECT_EQ(ReadTable(install.TablePath(TTableId::InvCon)).size(), 2u);
    EXPECT_FALSE(fs::exists(Pending(TTableId::InvCon)));
}

}  // namespace
}  // namespace store_test
