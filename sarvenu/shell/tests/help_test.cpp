// The help text: reading the file line by line with "%" shown full-width,
// files that cannot be read, loading into a memo with the warning box, and
// the help window's own life.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QScrollBar>
#include <filesystem>

#include "platform/codepage.h"
#include "shell/help.h"
#include "shell/message_box.h"
#include "shell/system_info.h"
#include "shell/tests/qt_app.h"
#include "test_support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace sarvenu;

std::vector<std::string> Utf8(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines) out.push_back(platform::Cp932ToUtf8(line));
    return out;
}

// A program directory with settings that name help/help.txt, and scripted
// message boxes.
class HelpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_test::EnsureQtApp();
        fs::create_directories(dir / "ini");
        fs::create_directories(dir / "help");
        Write(dir / "ini" / "SystemInfo.ini",
              "[MAIN]\r\nAPP_TITLE=" + platform::Utf8ToCp932("調査システム") +
                  "\r\nHELP_DIR=help\r\nHELP_FILE=help.txt\r\n");
        SetProgramDirectory(dir.string() + "/");
        SetMessageBoxHandler([this](const TMessageBoxCall& call) {
            shown.push_back(call);
            return static_cast<int>(idOK);
        });
    }
    void TearDown() override {
        SetMessageBoxHandler({});
        SetProgramDirectory("");
    }
    static void Write(const fs::path& path, const std::string& bytes) {
        sarvenu_test::WriteBytes(path, bytes);
    }
    std::string HelpFile() const { return (dir / "help" / "help.txt").string(); }

    sarvenu_test::TempDir temp{"sarvenu_help"};
    const fs::path dir{temp.path()};
    std::vector<TMessageBoxCall> shown;
};

TEST_F(HelpTest, LinesAreReadWithEveryPercentShownFullWidthOrTheFailureReported) {
    Write(HelpFile(),
          platform::Utf8ToCp932("操作の手引き\r\n100%達成\r\n\r\n%d%%\nソフト表示\r\n最後の行"));
    THelpText help = ReadHelpText(HelpFile());
    EXPECT_TRUE(help.ok);
    EXPECT_EQ(Utf8(help.lines), (std::vector<std::string>{"操作の手引き", "100％達成", "",
                                                          "％d％％", "ソフト表示", "最後の行"}));
    Write(HelpFile(), platform::Utf8ToCp932("一行\r\n"));
    EXPECT_EQ(ReadHelpText(HelpFile()).lines.size(), 1u) << "no empty line after the last break";

    help = ReadHelpText((dir / "help" / "none.txt").string());
    EXPECT_FALSE(help.ok);
    EXPECT_TRUE(help.lines.empty());
    EXPECT_FALSE(ReadHelpText((dir / "help").string()).ok) << "a directory cannot be read";
}

TEST_F(HelpTest, LoadingFillsTheMemoOrWarnsOnce) {
    Write(HelpFile(), platform::Utf8ToCp932("はじめに\r\n達成率100%\r\n"));
    QPlainTextEdit memo;
    EXPECT_TRUE(SetHelpFile(nullptr, &memo));
    EXPECT_EQ(memo.toPlainText().toStdString(), "はじめに\n達成率100％");
    EXPECT_TRUE(shown.empty());

    // A text longer than the memo opens at its first line.
    std::string longText;
    for (int i = 0; i < 200; ++i)
        longText += platform::Utf8ToCp932("行") + std::to_string(i) + "\r\n";
    Write(HelpFile(), longText);
    QPlainTextEdit longMemo;
    longMemo.resize(300, 200);
    longMemo.show();
    EXPECT_TRUE(SetHelpFile(nullptr, &longMemo));
    QApplication::processEvents();
    EXPECT_EQ(longMemo.textCursor().blockNumber(), 0);
    EXPECT_EQ(longMemo.verticalScrollBar()->value(), 0);

    fs::remove(HelpFile());
    EXPECT_FALSE(SetHelpFile(nullptr, &memo));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(platform::Cp932ToUtf8(shown[0].text), "ヘルプファイルを開けません。");
    EXPECT_EQ(platform::Cp932ToUtf8(shown[0].caption), "調査システム");
    EXPECT_EQ(shown[0].icon, miWarning);
}

TEST_F(HelpTest, TheHelpWindowLoadsItselfAndGoesWhenClosed) {
    Write(HelpFile(), platform::Utf8ToCp932("目次\r\n"));
    QWidget owner;
    QPointer<TfrmHelp> help = new TfrmHelp(&owner);
    EXPECT_EQ(help->windowTitle().toStdString(), "ヘルプ");
    EXPECT_TRUE(help->mmHelp->toPlainText().isEmpty()) << "loading is FormCreate's work";
    help->FormCreate();
    EXPECT_EQ(help->mmHelp->toPlainText().toStdString(), "目次");
    int closed = 0;
    help->OnClosed = [&] { ++closed; };
    help->show();
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(help.isNull()) << "the window deleted itself";
}

}  // namespace
