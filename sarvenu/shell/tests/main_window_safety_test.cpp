// What a saved work survives, through the window: the program killed right
// after 保存, and table files that are missing, empty, cut short, damaged or
// of another table's layout (named at start-up, never written over, and the
// actions that need them refused).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "shell/tests/sample_work.h"
#include "shell/tests/window_fixture.h"
#include "test_support/test_support.h"

namespace window_test {
namespace {

const char* const kChildVariable = "SARVENU_KILL_TEST_INSTALLATION";

std::string JpegBytes(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    const sarvenu_test::TempDir dir("sarvenu_kill");
    const std::string path = dir.File("picture.jpg");
    EXPECT_TRUE(image.save(QString::fromStdString(path), "JPG"));
    return ReadBytes(path);
}

// Run in a child process: enters the sample work with a picture, saves it,
// says so through a marker file and waits to be killed.
TEST(KillAfterSaveChild, SavesAndWaits) {
    const char* root = std::getenv(kChildVariable);
    if (!root) GTEST_SKIP() << "only run as the child of the kill test";
    EnsureQtApp();
    ScriptedBoxes boxes;
    TfrmMain window(std::string(root) + "/");
    window.CreateDataModule();
    window.show();
    window.btnNew->click();
    sample_work::FillSampleWork(window);
    const fs::path picture = fs::path(root) / "site.jpg";
    WriteBytes(picture, JpegBytes(300, 200));
    boxes.files.push_back(picture.string());
    window.FindControl<QPushButton>("btnPictSelect2")->click();
    boxes.answers = {idYes};
    window.bbtnSubmit->click();
    ASSERT_FALSE(window.HasUnsavedChanges());
    WriteBytes(fs::path(root) / "saved", "1");
    for (;;) {
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

class SafetyTest : public WindowTest {};

TEST_F(SafetyTest, WorkSavedBeforeTheProgramIsKilledIsThereAtTheNextStart) {
    Open();
    window.reset();
    const std::string root = installation->Root().string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv(kChildVariable, root.c_str(), 1);
        ::execl("/proc/self/exe", "child", "--gtest_filter=KillAfterSaveChild.SavesAndWaits",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!fs::exists(installation->Root() / "saved") &&
           std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) FAIL() << "the child ended by itself";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ASSERT_TRUE(fs::exists(installation->Root() / "saved")) << "the child never saved";

    Open();
    ASSERT_EQ(window->dgConstList->RowTotal(), 1);
    EXPECT_EQ(Cell(0, 0), "一般国道４号　千代田橋梁補修工事");
    window->btnEdit->click();
    EXPECT_EQ(Edit(TTableId::InvCon, "INV_OLD_COST")->TextCp932(), "1250.5");
    EXPECT_EQ(Date("cmbTechConDatePlanS").day->currentText().toStdString(), "上旬");
    const auto con = ReadTable(installation->TablePath(TTableId::InvCon));
    ASSERT_EQ(con.size(), 1u);
    EXPECT_EQ(con[0].at("FILE_NAME_B"), "CYY-XX0001B.jpg");
    EXPECT_EQ(platform::Cp932ToUtf8(con[0].at("PICTURE_B")), "防水層の施工状況");
    EXPECT_TRUE(fs::exists(installation->PicturePath("CYY-XX0001B.jpg")));
    EXPECT_FALSE(fs::exists(installation->PicturePath("_CYY-XX0001B.jpg")));
    const auto chief = ReadTable(installation->TablePath(TTableId::InvChief));
    ASSERT_EQ(chief.size(), 1u);
    EXPECT_EQ(chief[0].at("INV_TECH_CON_DATE_E"), "2006/11/28");
}

TEST_F(SafetyTest, DeletingReachesTheDiskAtOnce) {
    Open();
    window->btnNew->click();
    Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
    boxes.answers = {idYes};
    window->bbtnSubmit->click();
    EXPECT_EQ(ReadTable(installation->TablePath(TTableId::Main)).size(), 1u);
    EXPECT_EQ(ReadTable(installation->TablePath(TTableId::Plan)).size(), 1u);
    window->btnReturnMenu->click();
    boxes.answers = {idYes};
    window->btnDel->click();
    // Before any close: the files already lost the work.
    EXPECT_TRUE(ReadTable(installation->TablePath(TTableId::Main)).empty());
    EXPECT_TRUE(ReadTable(installation->TablePath(TTableId::Plan)).empty());
    EXPECT_TRUE(ReadTable(installation->TablePath(TTableId::InvChief)).empty());
    EXPECT_EQ(
        ReadBytes(installation->TablePath(TTableId::Main)).find(platform::Utf8ToCp932("橋梁補修")),
        std::string::npos)
        << "the deleted work's data left the file";
}

// Esc or the box's close button on "編集データを保存しますか？" answers neither
// Yes nor No: the user stays where they were, nothing saved or discarded.
TEST_F(SafetyTest, DismissingTheSaveQuestionKeepsTheEditsAndTheWindow) {
    Open();
    window->btnNew->click();
    Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
    boxes.answers = {idCancel};
    window->btnReturnMenu->click();
    EXPECT_TRUE(window->pcSarvenu->isVisible());
    EXPECT_TRUE(window->HasUnsavedChanges());
    EXPECT_EQ(window->dm().cdsEV_TBL_MAIN.State(), dsInsert);

    boxes.answers = {idCancel};
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->HasUnsavedChanges());
    EXPECT_EQ(platform::Cp932ToUtf8(Edit(TTableId::Main, "CON_NAME")->TextCp932()), "橋梁補修");
    EXPECT_TRUE(ReadTable(installation->TablePath(TTableId::Main)).empty()) << "nothing saved";

    boxes.answers = {idYes};
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(ReadTable(installation->TablePath(TTableId::Main)).size(), 1u);
}

// A work directory that resolves to the program's own directory (an empty
// CDS_TMP_DIR) or to the tables' is never cleared: export and import say why.
TEST_F(SafetyTest, WorkDirectoryOverTheProgramOrTheTablesIsRefused) {
    Open();
    window.reset();
    const fs::path settings = installation->Root() / "ini" / "SystemInfo.ini";
    const std::string original = ReadBytes(settings);
    for (const std::string& value : {std::string(""), std::string("cds"), std::string(".")}) {
        std::string text = original;
        text.replace(text.find("CDS_TMP_DIR=tmp"), 15, "CDS_TMP_DIR=" + value);
        WriteBytes(settings, text);
        WriteBytes(installation->Root() / "program.bin", "the program");
        Open();
        // The refusal is raised to the application's error handler, which shows it.
        auto refusal = [](QPushButton* button) {
            try {
                button->click();
            } catch (const std::exception& error) {
                return platform::Cp932ToUtf8(error.what());
            }
            return std::string();
        };
        EXPECT_NE(refusal(window->btnImp).find("CDS_TMP_DIR"), std::string::npos) << value;
        window->btnNew->click();
        Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
        boxes.answers = {idYes};
        window->bbtnSubmit->click();
        EXPECT_NE(refusal(Find<QPushButton>("btnExp")).find("CDS_TMP_DIR"), std::string::npos)
            << value;
        EXPECT_TRUE(fs::exists(installation->Root() / "program.bin")) << value;
        EXPECT_TRUE(fs::exists(installation->TablePath(TTableId::HacSai))) << value;
        EXPECT_TRUE(fs::exists(installation->Root() / "ini" / "SystemInfo.ini")) << value;
        boxes.answers = {idYes};
        ASSERT_TRUE(CloseWindow());
        window.reset();
    }
}

// Saving on the way out fails (the table directory cannot be written): the
// error is shown and the window stays open with the work; once the disk
// works again, closing saves it.
TEST_F(SafetyTest, AnErrorWhileClosingKeepsTheWindowOpen) {
    Open();
    window->btnNew->click();
    Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
    {
        sarvenu::fileops::ScopedFaultPlan fail({-1, (installation->Root() / "cds").string()});
        boxes.answers = {idYes};
        EXPECT_FALSE(window->close());
    }
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].icon, miError);
    EXPECT_NE(boxes.Texts()[1].find("EV_TBL"), std::string::npos) << boxes.Texts()[1];
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->HasUnsavedChanges());

    boxes.answers = {idYes};
    ASSERT_TRUE(CloseWindow());
    const auto main = ReadTable(installation->TablePath(TTableId::Main));
    ASSERT_EQ(main.size(), 1u);
    EXPECT_EQ(platform::Cp932ToUtf8(main[0].at("CON_NAME")), "橋梁補修");
}

// The real question box: Esc gives Cancel, which the workflow treats as
// neither answer.
TEST(QuestionBox, EscapeIsNeitherYesNorNo) {
    EnsureQtApp();
    SetMessageBoxHandler({});
    bool fellBack = false;
    QTimer::singleShot(50, [] {
        if (QWidget* box = QApplication::activeModalWidget()) QTest::keyClick(box, Qt::Key_Escape);
    });
    // Should Esc not end the box, the test ends it rather than hang.
    QTimer::singleShot(3000, [&fellBack] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            fellBack = true;
            box->done(0);
        }
    });
    const int answer = MessageBox(nullptr, platform::Utf8ToCp932("編集データを保存しますか？"), "T",
                                  miQuestion, mbYesNo);
    EXPECT_FALSE(fellBack) << "Esc did not close the question";
    EXPECT_EQ(answer, idCancel);
}

// Each way a table file can be unusable, applied to one table.
struct Damage {
    const char* name;
    TTableId table;
    void (*apply)(Installation& installation, const fs::path& path);
    // What the start-up box says of the file (UTF-8), or null when either
    // "damaged" or "another layout" may be found.
    const char* reason;
};

void Remove(Installation&, const fs::path& path) {
    fs::remove(path);
}
void Empty(Installation&, const fs::path& path) {
    WriteBytes(path, "");
}
void Truncate(Installation&, const fs::path& path) {
    const std::string bytes = ReadBytes(path);
    WriteBytes(path, bytes.substr(0, bytes.size() / 2));
}
void FlipBit(Installation&, const fs::path& path) {
    // A bit of the column descriptions, past the packet's signature.
    std::string bytes = ReadBytes(path);
    bytes.at(13) = static_cast<char>(bytes.at(13) ^ 0x40);
    WriteBytes(path, bytes);
}
void OtherLayout(Installation& installation, const fs::path& path) {
    fs::copy_file(installation.TablePath(TTableId::HacSai), path,
                  fs::copy_options::overwrite_existing);
}

class DamagedTableTest : public WindowTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedTableTest, IsNamedAtStartRefusedByEveryWorkActionAndNeverWritten) {
    const Damage& damage = GetParam();
    // A saved work in the other tables, to see that nothing is added to them.
    Open();
    window.reset();
    boxes.shown.clear();
    installation->WriteRows(TTableId::Main, {{{"CONST_NO", "CYY-XX0001"}, {"CON_NAME", "A"}}});
    for (TTableId sheet : {TTableId::Plan, TTableId::Report, TTableId::InvSection,
                           TTableId::InvChief, TTableId::InvCon})
        installation->WriteRows(sheet, {{{"CONST_NO", "CYY-XX0001"}}});
    const fs::path path = installation->TablePath(damage.table);
    damage.apply(*installation, path);
    const bool existed = fs::exists(path);
    const std::string before = existed ? ReadBytes(path) : std::string();
    std::map<TTableId, std::string> others;
    for (TTableId id : {TTableId::Main, TTableId::Plan, TTableId::InvCon})
        if (id != damage.table) others[id] = ReadBytes(installation->TablePath(id));

    Open();
    ASSERT_EQ(boxes.shown.size(), 1u) << damage.name;
    const std::string report = boxes.Texts()[0];
    EXPECT_NE(report.find("次のテーブルファイルを開けませんでした。"), std::string::npos);
    EXPECT_NE(report.find(path.string()), std::string::npos) << report;
    EXPECT_NE(report.find("バックアップから戻すとき"), std::string::npos) << report;
    if (damage.reason) {
        EXPECT_NE(report.find(damage.reason), std::string::npos) << report;
    }
    EXPECT_EQ(boxes.shown[0].icon, miError);

    // Every action on a work is refused with a box naming the file.
    boxes.shown.clear();
    boxes.answers = {idOK, idOK, idOK, idOK, idOK};
    window->btnNew->click();
    window->btnEdit->click();
    window->dgConstListDblClick();
    window->btnDel->click();
    window->btnImp->click();
    ASSERT_EQ(boxes.shown.size(), 5u);
    for (const std::string& text : boxes.Texts()) {
        EXPECT_NE(text.find("この操作はできません"), std::string::npos) << text;
        EXPECT_NE(text.find(path.string()), std::string::npos) << text;
    }
    EXPECT_TRUE(window->pnlMenu->isVisible());
    EXPECT_TRUE(boxes.dialogs.empty()) << "the import asked for no file";

    ASSERT_TRUE(CloseWindow());
    window.reset();
    EXPECT_EQ(fs::exists(path), existed);
    if (existed) {
        EXPECT_EQ(ReadBytes(path), before) << "the damaged file was written over";
    }
    for (const auto& [id, bytes] : others)
        EXPECT_EQ(ReadTable(installation->TablePath(id)).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DamagedTableTest,
    ::testing::Values(Damage{"MissingMain", TTableId::Main, Remove, "ファイルが見つかりません。"},
                      Damage{"EmptyMain", TTableId::Main, Empty, "ファイルが空です。"},
                      Damage{"TruncatedMain", TTableId::Main, Truncate, "ファイルが壊れているか"},
                      Damage{"BitFlippedMain", TTableId::Main, FlipBit, nullptr},
                      Damage{"TruncatedChief", TTableId::InvChief, Truncate,
                             "ファイルが壊れているか"},
                      Damage{"OtherLayoutPlan", TTableId::Plan, OtherLayout, "テーブルの項目"},
                      Damage{"EmptyContractor", TTableId::InvCon, Empty, "ファイルが空です。"}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace window_test
