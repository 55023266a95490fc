// Submission files end to end through the window: a contractor-mode export
// imported by the ordering office as a new work and over the open work, the
// sheet choice, the data versions, damaged and unrecognised archives.
#include <map>
#include <set>

#include "exchange/archive_file.h"
#include "exchange/exp_imp.h"
#include "platform/codepage.h"
#include "records/manage_version.h"
#include "shell/export_dialog.h"
#include "shell/tests/sample_work.h"
#include "shell/tests/window_fixture.h"

namespace window_test {
namespace {

class ExchangeTest : public WindowTest {
  protected:
    void TearDown() override {
        SetExportDialogHandler({});
        WindowTest::TearDown();
    }
    // Exports the open work to path; the texts of the boxes shown meanwhile.
    std::vector<std::string> Export(const fs::path& path) {
        boxes.shown.clear();
        boxes.files.push_back(path.string());
        window->btnExpClick();
        return boxes.Texts();
    }
    void Reopen(int userId) {
        ASSERT_TRUE(CloseWindow());
        window.reset();
        WriteSettings(userId);
        Open(userId);
    }
    // Extracts an archive into a fresh directory below the installation, as
    // the import does; true when the archiver succeeded.
    bool ExtractTo(const fs::path& archive, const fs::path& out) {
        fs::remove_all(out);
        fs::create_directories(out);
        TArchiveFile file;
        file.SetFileName(archive.string());
        file.Options().x = 1;
        file.Options().n = 1;
        return file.Extract(nullptr, out.string(), nullptr) == 0;
    }
    // The entries of an archive and their contents, through the archiver
    // library (the stored times follow the clock and are left out).
    std::map<std::string, std::string> Contents(const fs::path& archive) {
        const fs::path out = installation->Root() / "listing";
        EXPECT_TRUE(ExtractTo(archive, out));
        std::map<std::string, std::string> contents;
        for (const auto& entry : fs::directory_iterator(out))
            contents[entry.path().filename().string()] = ReadBytes(entry.path());
        return contents;
    }
    // The names in an archive.
    std::set<std::string> Entries(const fs::path& archive) {
        std::set<std::string> names;
        for (const auto& [name, bytes] : Contents(archive)) names.insert(name);
        return names;
    }
    std::vector<Row> Rows(TTableId id) { return ReadTable(installation->TablePath(id)); }
};

TEST_F(ExchangeTest, ContractorExportBecomesANewWorkTwiceWithRenamedPictures) {
    SavedSampleWork(102);
    EXPECT_EQ(window->GetDocInfo(), platform::Utf8ToCp932("_様式Ⅳ-8-3"));
    const fs::path archive = installation->Root() / "submission.lzh";
    const std::vector<std::string> texts = Export(archive);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].find("\"" + installation->Root().string() + "/\"にファイル\"" +
                            archive.string() + "\"をエクスポートしました。"),
              0u)
        << texts[0];
    EXPECT_EQ(boxes.dialogs.back().fileName,
              "一般国道４号　千代田橋梁補修工事_高耐久性床版防水システム_様式Ⅳ-8-3");
    EXPECT_EQ(Entries(archive),
              (std::set<std::string>{"EV_TBL_MAIN.cds", "EV_TBL_INV_CON_R.cds", "CYY-XX0001A.gif",
                                     "CYY-XX0001B.gif", "CYY-XX0001C.gif"}));
    EXPECT_TRUE(fs::is_empty(installation->Root() / "tmp")) << "the work directory is cleared";

    // The ordering office imports it twice: two new works with main record
    // and contractor's sheet only, pictures under the new numbers.
    Reopen(101);
    for (int round = 0; round < 2; ++round) {
        boxes.files.push_back(archive.string());
        window->btnImp->click();
    }
    ASSERT_TRUE(CloseWindow());
    const std::vector<Row> works = Rows(TTableId::Main);
    ASSERT_EQ(works.size(), 3u);
    EXPECT_EQ(works[1].at("CONST_NO"), "CYY-XX0002");
    EXPECT_EQ(works[2].at("CONST_NO"), "CYY-XX0003");
    EXPECT_EQ(works[2].at("REG_VERSION"), "2010") << "the stamp of the exporting program";
    EXPECT_EQ(Rows(TTableId::Plan).size(), 1u) << "only the original work has a plan";
    const std::vector<Row> sheets = Rows(TTableId::InvCon);
    ASSERT_EQ(sheets.size(), 3u);
    EXPECT_EQ(sheets[2].at("FILE_NAME_A"), "CYY-XX0003A.gif");
    EXPECT_TRUE(fs::exists(installation->PicturePath("CYY-XX0003C.gif")));
    EXPECT_TRUE(fs::exists(installation->PicturePath("CYY-XX0002B.gif")));
}

TEST_F(ExchangeTest, ContractorSheetImportReplacesTheOpenWorksSheetAndRecomputes) {
    SavedSampleWork(102);
    const fs::path archive = installation->Root() / "submission.lzh";
    Export(archive);
    Reopen(101);
    window->btnNew->click();
    Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("別の工事"));
    Find<TDBLookupComboBox>("dblcmbConType")->SelectCode("5");
    boxes.answers = {idYes};
    window->bbtnSubmit->click();

    // Unsaved edits are refused first.
    Edit(TTableId::Main, "TECH_TITLE")->SetTextCp932(platform::Utf8ToCp932("工法"));
    boxes.shown.clear();
    window->btnImpClick("btnImpCon");
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "編集内容を保存してください。");
    boxes.answers = {idYes};
    window->bbtnSubmit->click();

    for (int round = 0; round < 2; ++round) {
        boxes.shown.clear();
        boxes.files.push_back(archive.string());
        boxes.answers = {idYes};
        window->btnImpClick("btnImpCon");
        ASSERT_EQ(boxes.Texts().size(), 2u);
        EXPECT_EQ(boxes.Texts()[1],
                  "［活用効果調査表(3)/請負者・技術開発者提出用］を取り込みました。");
    }
    EXPECT_FALSE(window->DisplayText("lblQualityPointCon").empty()) << "points recomputed";
    EXPECT_FALSE(window->DisplayText("lblCostPointCon").empty());
    EXPECT_FALSE(Find<QWidget>("btnPctClear1")->isHidden() ||
                 !Find<QWidget>("btnPctClear1")->isEnabled());
    const std::string number = window->dm().cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText();
    ASSERT_TRUE(CloseWindow());
    int records = 0;
    for (const Row& row : Rows(TTableId::InvCon))
        if (row.at("CONST_NO") == number) {
            ++records;
            EXPECT_EQ(row.at("FILE_NAME_B"), number + "B.gif");
        }
    EXPECT_EQ(records, 1);
    EXPECT_TRUE(fs::exists(installation->PicturePath(number + "A.gif")));
}

TEST_F(ExchangeTest, SheetChoiceIsKeptAndExportingTwiceGivesTheSameContent) {
    SavedSampleWork(101);
    int shownDialogs = 0;
    SetExportDialogHandler([&](TfrmExp& dialog) {
        ++shownDialogs;
        for (int i = 0; i < kExportSheetCount; ++i) {
            EXPECT_EQ(dialog.cbSheets[i]->isChecked(), shownDialogs == 1 || i == 3) << i;
            dialog.cbSheets[i]->setChecked(i == 3);
        }
        return static_cast<int>(QDialog::Accepted);
    });
    const fs::path first = installation->Root() / "a.lzh";
    const fs::path second = installation->Root() / "b.lzh";
    Export(first);
    Export(second);
    EXPECT_EQ(shownDialogs, 2);
    EXPECT_EQ(Entries(first), (std::set<std::string>{"EV_TBL_MAIN.cds", "EV_TBL_INV_CHIEF_R.cds"}));
    EXPECT_EQ(Contents(first), Contents(second));

    // Cancel and an empty choice export nothing and say nothing.
    SetExportDialogHandler([](TfrmExp&) { return static_cast<int>(QDialog::Rejected); });
    EXPECT_TRUE(Export(installation->Root() / "c.lzh").empty());
    SetExportDialogHandler([](TfrmExp& dialog) {
        for (QCheckBox* box : dialog.cbSheets) box->setChecked(false);
        return static_cast<int>(QDialog::Accepted);
    });
    EXPECT_TRUE(Export(installation->Root() / "c.lzh").empty());
    EXPECT_FALSE(fs::exists(installation->Root() / "c.lzh"));
}

TEST_F(ExchangeTest, FailedPackIsReportedAndKeepsTheEarlierFile) {
    SavedSampleWork(102);
    const std::vector<std::string> texts = Export(installation->Root() / "missing" / "x.lzh");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "エクスポートに失敗しました。");
    EXPECT_EQ(boxes.shown[0].icon, miError);
    EXPECT_TRUE(fs::is_empty(installation->Root() / "tmp"));
}

TEST_F(ExchangeTest, VersionsAndUnrecognisedArchives) {
    SavedSampleWork(102);
    const fs::path archive = installation->Root() / "submission.lzh";
    Export(archive);
    Reopen(101);

    // Rewrites the archive with the main table stamped as given (or only it).
    auto Restamp = [&](const std::string& stamp, bool onlyMain) {
        const fs::path out = installation->Root() / "restamp";
        ASSERT_TRUE(ExtractTo(archive, out));
        TClientTable table;
        SetRegVersion(table, (out / "EV_TBL_MAIN.cds").string(), stamp);
        if (onlyMain)
            for (const auto& entry : fs::directory_iterator(out))
                if (entry.path().filename() != "EV_TBL_MAIN.cds") fs::remove(entry.path());
        const fs::path result = installation->Root() / "restamped.lzh";
        fs::remove(result);
        TArchiveFile pack;
        pack.SetFileName(result.string());
        pack.Options().x = 0;
        pack.Options().n = 1;
        const TStringList files = {out.string() + "/*.*"};
        ASSERT_EQ(pack.Pack(nullptr, "", &files), 0);
    };
    auto Import = [&] {
        boxes.shown.clear();
        boxes.files.push_back((installation->Root() / "restamped.lzh").string());
        window->btnImp->click();
        return boxes.Texts();
    };
    const size_t works = window->dm().cdsEV_TBL_MAIN.RecordTotal();

    Restamp("2100", false);
    EXPECT_EQ(Import(),
              (std::vector<std::string>{
                  "このデータを取り込めません。\r\nSarvenuのバージョンアップを行って下さい。"}));
    Restamp("1000", false);
    EXPECT_EQ(Import(),
              (std::vector<std::string>{
                  "Ver 2.000以前のデータは様式が異なるため\r\nデータの取り込みができません。"}));
    EXPECT_EQ(window->dm().cdsEV_TBL_MAIN.RecordTotal(), works);
    Restamp("2000", false);
    EXPECT_EQ(
        Import(),
        (std::vector<std::string>{
            "このデータは古いバージョンのデータです。\r\nデータのバージョンアップを行います。\r\n"
            "バージョンアップの内容はヘルプを参照して下さい。"}));
    EXPECT_EQ(window->dm().cdsEV_TBL_MAIN.RecordTotal(), works + 1);

    // Only the main table: not recognised, the versions agree, nothing shown.
    Restamp("2010", true);
    EXPECT_TRUE(Import().empty());
    EXPECT_EQ(window->dm().cdsEV_TBL_MAIN.RecordTotal(), works + 1);
}

TEST_F(ExchangeTest, DamagedArchiveTakesNothingAndTickingWorksAfterwards) {
    SavedSampleWork(102);
    const fs::path archive = installation->Root() / "submission.lzh";
    Export(archive);
    Reopen(101);
    std::string bytes = ReadBytes(archive);
    bytes[bytes.size() / 2] ^= 0x5A;
    const fs::path damaged = installation->Root() / "damaged.lzh";
    WriteBytes(damaged, bytes);
    const size_t works = window->dm().cdsEV_TBL_MAIN.RecordTotal();
    boxes.shown.clear();
    boxes.files.push_back(damaged.string());
    window->btnImp->click();
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "活用効果調査データとして認識できません。");
    EXPECT_EQ(window->dm().cdsEV_TBL_MAIN.RecordTotal(), works);
    EXPECT_TRUE(fs::is_empty(installation->Root() / "tmp"));

    // A file that is not an archive at all.
    WriteBytes(damaged, "plain text");
    boxes.shown.clear();
    boxes.files.push_back(damaged.string());
    window->btnImp->click();
    EXPECT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(window->dm().cdsEV_TBL_MAIN.RecordTotal(), works);

    // No at the overwrite question ends the import; ticking works at once.
    window->btnEdit->click();
    boxes.files.push_back(archive.string());
    boxes.answers = {idNo};
    window->btnImpClick("btnImpCon");
    EXPECT_FALSE(window->ImportRunning());
}

}  // namespace
}  // namespace window_test
