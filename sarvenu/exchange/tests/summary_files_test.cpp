// The summary's sources: a folder of submission files packed by the LZH
// library from table files of the program's schema, with good files, damaged
// ones, one of a newer and one of an older program version, each read or
// listed with the import's message; an installation's stored tables with a
// damaged sheet or main table; and the sarvenu-summary program run over such
// a folder, for its exit status and its CSV file.
#include <sys/wait.h>

#include <cstdlib>
#include <map>

#include "exchange/archive_file.h"
#include "exchange/exp_imp.h"
#include "exchange/summary_files.h"
#include "platform/library.h"
#include "records/tests/store_fixture.h"
#include "report/points.h"

namespace store_test {
namespace {

// One work as its submission file holds it (UTF-8 where it is text).
struct Submission {
    std::string number;
    std::string regNo;
    std::string title;
    std::string processOld, processNew;
    std::string version = "2010";
    bool withSheet = true;
};

std::string U(const char* utf8) {
    return platform::Utf8ToCp932(utf8);
}

class SummaryFiles : public ::testing::Test {
  protected:
    std::string Folder() {
        fs::create_directories(root_ / "in");
        return (root_ / "in").string();
    }
    std::string InFolder(const std::string& name) { return (root_ / "in" / name).string(); }

    // Writes the work's tables as an export leaves them and packs them as
    // an export does.
    void Write(const std::string& name, const Submission& work) {
        const fs::path stage = root_ / "stage";
        fs::remove_all(stage);
        fs::create_directories(stage);
        const TTableDef& main = TableDef(TTableId::Main);
        WriteTableFile((stage / kMainTableFile).string(), main,
                       {RowFor(main, {{"CONST_NO", work.number},
                                      {"CON_NAME", U("市道改良工事")},
                                      {"REG_NO", work.regNo},
                                      {"TECH_TITLE", platform::Utf8ToCp932(work.title)},
                                      {"CON_TYPE", "1"},
                                      {"REG_VERSION", work.version}})});
        if (work.withSheet) {
            const TTableDef& con = TableDef(TTableId::InvCon);
            WriteTableFile((stage / kConTableFile).string(), con,
                           {RowFor(con, {{"CONST_NO", work.number},
                                         {"INV_PROCESS_OLD", work.processOld},
                                         {"INV_PROCESS_NEW", work.processNew}})});
        }
        Pack(stage, name);
    }
    void Pack(const fs::path& stage, const std::string& name) {
        TArchiveFile archive;
        archive.SetFileName(InFolder(name));
        archive.Options().x = 0;
        archive.Options().n = 1;
        const TStringList files = {stage.string() + "/*.*"};
        ASSERT_EQ(archive.Pack(nullptr, "", &files), 0) << name;
    }

    // Reasons by file name, in UTF-8.
    static std::map<std::string, std::string> ByName(const std::vector<TSummaryFileNote>& notes) {
        std::map<std::string, std::string> reasons;
        for (const TSummaryFileNote& note : notes)
            reasons[fs::path(note.file).filename().string()] = platform::Cp932ToUtf8(note.reason);
        return reasons;
    }

    // A folder with three good files of two technologies and one that fails.
    std::string SmallFolder() {
        const std::string folder = Folder();
        Write("a.lzh", {"C-1", "KT-1", "床版防水", "100", "80"});
        Write("b.LZH", {"C-1", "KT-1", "床版防水", "100", "50"});
        Write("c.Lzh", {"C-2", "KT-2", "低騒音舗装", "100", "100"});
        WriteBytes(InFolder("garbage.lzh"), "this is not an archive");
        return folder;
    }

    Installation installation_;
    sarvenu_test::TempDir temp_{"summary-files"};
    const fs::path root_{temp_.path()};
};

TEST_F(SummaryFiles, GoodFilesAreSummarisedAndTheOthersListedWithTheImportsMessage) {
    const std::string folder = SmallFolder();
    Write("newer.lzh", {"C-3", "KT-1", "床版防水", "100", "90", "9000"});
    Write("older.lzh", {"C-4", "KT-3", "旧工法", "100", "75", "2005"});
    Write("main-only.lzh", {"C-5", "KT-1", "床版防水", "", "", "2010", false});
    const std::string good = sarvenu_test::ReadBytes(InFolder("a.lzh"));
    WriteBytes(InFolder("cut.lzh"), good.substr(0, good.size() / 2));
    // A sheet file that is not a table file.
    fs::create_directories(root_ / "damaged");
    WriteTableFile(
        (root_ / "damaged" / kMainTableFile).string(), TableDef(TTableId::Main),
        {RowFor(TableDef(TTableId::Main), {{"CONST_NO", "C-6"}, {"REG_VERSION", "2010"}})});
    WriteBytes(root_ / "damaged" / kConTableFile, "no table here");
    Pack(root_ / "damaged", "damaged-sheet.lzh");
    WriteBytes(InFolder("notes.txt"), "ignored");
    fs::create_directories(InFolder("folder.lzh"));

    EXPECT_EQ(SubmissionFilesIn(folder).size(), 9u);
    std::vector<size_t> positions;
    const TSummaryFiles read =
        SummariseFolder(folder, "2010", [&](size_t position, size_t total, const std::string&) {
            EXPECT_EQ(total, 9u);
            positions.push_back(position);
        });
    EXPECT_EQ(positions, (std::vector<size_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));

    const std::map<std::string, std::string> failures = ByName(read.failures);
    const std::string unrecognised = "活用効果調査データとして認識できません。";
    EXPECT_EQ(failures.at("garbage.lzh"), unrecognised);
    EXPECT_EQ(failures.at("cut.lzh"), unrecognised);
    EXPECT_EQ(failures.at("main-only.lzh"), unrecognised);
    EXPECT_EQ(failures.at("newer.lzh"),
              "このデータを取り込めません。\r\nSarvenuのバージョンアップを行って下さい。");
    // Named by its name in the archive, not by the scratch directory.
    EXPECT_EQ(failures.at("damaged-sheet.lzh")
                  .rfind(std::string("テーブルファイルを開けません。\r\n") + kConTableFile, 0),
              0u)
        << failures.at("damaged-sheet.lzh");
    EXPECT_EQ(failures.size(), 5u);
    EXPECT_EQ(ByName(read.notices),
              (std::map<std::string, std::string>{
                  {"older.lzh", "このデータは古いバージョンのデータです。"}}));

    ASSERT_EQ(read.works.size(), 4u);
    const std::vector<TSummaryRow> rows = BuildSummary(read.works, {});
    ASSERT_EQ(rows.size(), 3u);
    const TSummaryRow& first = rows[0];
    EXPECT_EQ(first.regNo, "KT-1");
    EXPECT_EQ(first.techTitle, U("床版防水"));
    EXPECT_EQ(first.works, 2);
    // Process points 100 + 100 * (100 - 80) / 100 and 100 + 100 * (100 - 50) / 100.
    const size_t process = static_cast<size_t>(TEvalAspect::Process);
    for (const TSummaryFigure& figure :
         {first.office[process], first.contractor[process], first.average[process]}) {
        EXPECT_EQ(figure.count, 2);
        EXPECT_EQ(figure.mean, "135");
    }
    EXPECT_EQ(first.overall.mean, "135");
    EXPECT_EQ(first.overall.lowest, "120");
    EXPECT_EQ(first.overall.highest, "150");
    EXPECT_EQ(first.office[static_cast<size_t>(TEvalAspect::Quality)].count, 0);
    EXPECT_EQ(rows[1].regNo, "KT-2");
    EXPECT_EQ(rows[1].overall.highest, "100");
    EXPECT_EQ(rows[2].regNo, "KT-3");
    EXPECT_EQ(rows[2].overall.lowest, "125");
}

TEST_F(SummaryFiles, AFolderWithoutSubmissionFilesOrUnreadableIsNoSource) {
    EXPECT_TRUE(SummariseFolder(Folder(), "2010").works.empty());
    EXPECT_THROW(SubmissionFilesIn((root_ / "missing").string()), ESummarySource);
    EXPECT_FALSE(IsInstallation(Folder()));
    EXPECT_TRUE(IsInstallation(installation_.ExeDir()));
}

TEST_F(SummaryFiles, InstallationTablesAreReadAsStoredAndADamagedSheetIsListed) {
    WriteBytes(installation_.Root() / "ini" / "SystemInfo.ini",
               "[MAIN]\r\nUSR_ID=101\r\nCDS_DIR=cds\r\nCDS_TMP_DIR=tmp\r\n");
    installation_.WriteRows(TTableId::Main, {{{"CONST_NO", "C-1"}, {"REG_NO", "KT-9"}},
                                             {{"CONST_NO", "C-2"}, {"REG_NO", "KT-9"}}});
    installation_.WriteRows(
        TTableId::InvCon,
        {{{"CONST_NO", "C-1"}, {"INV_PROCESS_OLD", "200"}, {"INV_PROCESS_NEW", "100"}},
         {{"CONST_NO", "C-2"}, {"INV_PROCESS_OLD", "200"}, {"INV_PROCESS_NEW", "200"}}});
    const fs::path plan = installation_.TablePath(TTableId::Plan);
    WriteBytes(plan, "damaged");
    const std::string before = sarvenu_test::ReadBytes(installation_.TablePath(TTableId::Main));

    const TSummaryFiles read = SummariseInstallation(installation_.ExeDir());
    ASSERT_EQ(read.failures.size(), 1u);
    EXPECT_EQ(read.failures[0].file, plan.string());
    const std::vector<TSummaryRow> rows = BuildSummary(read.works, {});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].works, 2);
    // 150 and 100; the ordering office's column is filled in its mode.
    const size_t process = static_cast<size_t>(TEvalAspect::Process);
    EXPECT_EQ(rows[0].office[process].mean, "125");
    // Nothing is written back.
    EXPECT_EQ(sarvenu_test::ReadBytes(installation_.TablePath(TTableId::Main)), before);
    EXPECT_EQ(sarvenu_test::ReadBytes(plan), "damaged");

    WriteBytes(installation_.TablePath(TTableId::Main), "");
    EXPECT_THROW(SummariseInstallation(installation_.ExeDir()), ESummarySource);
}

// Runs the program built beside this test; its exit status.
int RunSummary(const std::string& arguments, const fs::path& log) {
    const std::string command = "'" + platform::ExecutableDirectory() + "sarvenu-summary' " +
                                arguments + " >'" + log.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(SummaryFiles, TheProgramWritesTheCsvAndTellsByItsExitStatus) {
    const std::string folder = SmallFolder();
    fs::create_directories(root_ / "settings" / "ini");
    WriteBytes(root_ / "settings" / "ini" / "SystemInfo.ini", "[MAIN]\r\nAPP_VERSION=2.010\r\n");
    const std::string settings = " --settings '" + (root_ / "settings").string() + "'";
    const fs::path csv = root_ / "out.csv";
    const fs::path log = root_ / "log.txt";

    EXPECT_EQ(RunSummary("'" + folder + "' --csv '" + csv.string() + "'" + settings, log), 2)
        << sarvenu_test::ReadBytes(log);
    EXPECT_TRUE(fs::exists(csv));
    const std::string told = sarvenu_test::ReadBytes(log);
    EXPECT_NE(told.find("garbage.lzh"), std::string::npos) << told;
    EXPECT_NE(told.find("活用効果調査データとして認識できません。"), std::string::npos) << told;
    EXPECT_NE(told.find("3 works, 2 technologies"), std::string::npos) << told;

    fs::remove(InFolder("garbage.lzh"));
    fs::remove(csv);
    EXPECT_EQ(RunSummary("'" + folder + "' --csv '" + csv.string() + "'" + settings, log), 0)
        << sarvenu_test::ReadBytes(log);
    EXPECT_TRUE(fs::exists(csv));

    // An installation needs no version; an output that cannot be written, a
    // missing output and an unknown option are refused.
    EXPECT_EQ(RunSummary("'" + installation_.ExeDir() + "' --csv '" + csv.string() + "'", log), 0)
        << sarvenu_test::ReadBytes(log);
    EXPECT_EQ(
        RunSummary(
            "'" + folder + "' --csv '" + (root_ / "no" / "out.csv").string() + "'" + settings, log),
        1);
    EXPECT_EQ(RunSummary("'" + folder + "'", log), 1);
    EXPECT_EQ(RunSummary("'" + folder + "' --csv x.csv --frobnicate", log), 1);
    EXPECT_EQ(RunSummary("--help", log), 0);
    EXPECT_NE(sarvenu_test::ReadBytes(log).find("Usage"), std::string::npos);
}

}  // namespace
}  // namespace store_test
