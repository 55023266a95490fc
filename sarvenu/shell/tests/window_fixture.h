// Shared set-up of the main-window tests: a throw-away installation (settings
// with the mode, help file, the ten tables), the real window over it, and
// scripted answers to message boxes and file dialogs that record what the
// window showed.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <deque>
#include <memory>

#include "platform/codepage.h"
#include "records/entry_names.h"
#include "records/tests/store_fixture.h"
#include "shell/db_controls.h"
#include "shell/file_dialog.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/tests/qt_app.h"
#include "shell/tests/sample_work.h"

namespace window_test {

using namespace store_test;
using namespace sarvenu;

// Message boxes answered from a queue (OK, or No for Yes/No boxes, when the
// queue is empty); every box shown is kept.
class ScriptedBoxes {
  public:
    ScriptedBoxes() {
        SetMessageBoxHandler([this](const TMessageBoxCall& call) {
            shown.push_back(call);
            if (!answers.empty()) {
                int answer = answers.front();
                answers.pop_front();
                return answer;
            }
            return call.buttons == mbYesNo ? static_cast<int>(idNo) : static_cast<int>(idOK);
        });
        SetFileDialogHandler([this](const TFileDialogCall& call) -> std::optional<std::string> {
            dialogs.push_back(call);
            if (files.empty()) return std::nullopt;
            std::optional<std::string> file = files.front();
            files.pop_front();
            return file;
        });
    }
    ~ScriptedBoxes() {
        SetMessageBoxHandler({});
        SetFileDialogHandler({});
    }
    std::deque<int> answers;
    std::vector<TMessageBoxCall> shown;
    std::deque<std::optional<std::string>> files;
    std::vector<TFileDialogCall> dialogs;

    // The texts of the boxes shown, in UTF-8.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& call : shown) texts.push_back(platform::Cp932ToUtf8(call.text));
        return texts;
    }
};

// Types text character by character as key presses that carry the text (the
// test library's key clicks know only ASCII keys).
inline void TypeText(QWidget* widget, const QString& text) {
    for (QChar character : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(character));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(character));
        QApplication::sendEvent(widget, &release);
    }
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override { EnsureQtApp(); }
    void TearDown() override {
        window.reset();
        installation.reset();
    }

    // Writes the settings (mode 101 = ordering office) and a help file, then
    // creates the window and the data store.
    void Open(int userId = 101, bool withHelp = true) {
        if (!installation) {
            installation = std::make_unique<Installation>();
            WriteSettings(userId);
            fs::create_directories(installation->Root() / "help");
            // The empty tables submission files are made from.
            for (const TTableDef& def : SurveySchema())
                if (def.survey)
                    WriteTableFile((installation->Root() / "org" / def.FileName()).string(), def,
                                   {});
            // Small templates: each form shows its number and the work's name.
            fs::create_directories(installation->Root() / "html");
            for (int form = 1; form <= 8; ++form)
                WriteBytes(
                    installation->Root() / "html" / ("Template" + std::to_string(form) + ".htm"),
                    "<html><body><h1>" + platform::Utf8ToCp932("様式") + std::to_string(form) +
                        "</h1>\r\n<p><%=CON_NAME%></p></body></html>\r\n");
            if (withHelp)
                WriteBytes(installation->Root() / "help" / "help.txt",
                           platform::Utf8ToCp932("操作の手引き\r\n達成率100%\r\n"));
        }
        window = std::make_unique<TfrmMain>(installation->ExeDir());
        window->CreateDataModule();
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        QApplication::processEvents();
    }

    void WriteSettings(int userId) {
        WriteBytes(installation->Root() / "ini" / "SystemInfo.ini",
                   "[MAIN]\r\nAPP_TITLE=" + platform::Utf8ToCp932("調査システム") +
                       "\r\nAPP_VERSION=2.010\r\nUSR_ID=" + std::to_string(userId) +
                       "\r\nCDS_DIR=cds\r\nCDS_TMP_DIR=tmp\r\nCDS_ORG_DIR=org\r\n"
                       "HTML_DIR=html\r\nIMG_DIR=img\r\nHELP_DIR=help\r\nHELP_FILE=help.txt\r\n");
    }

    // Closes the window as the user would; true when it closed.
    bool CloseWindow() {
        const bool closed = window->close();
        QApplication::processEvents();
        return closed;
    }

    template <class T>
    T* Find(const std::string& name) {
        T* widget = window->FindControl<T>(name);
        EXPECT_NE(widget, nullptr) << "no control named " << name;
        return widget;
    }
    TDBEdit* Edit(TTableId table, const std::string& field) {
        return Find<TDBEdit>(EntryName(table, field));
    }
    TDBMemo* Memo(TTableId table, const std::string& field) {
        return Find<TDBMemo>(EntryName(table, field));
    }
    TDateCombos Date(const std::string& base) { return window->DateEntry(base); }
    // Chooses a date as the user would: year, month, then day.
    void ChooseDate(const std::string& base, const QString& year, const QString& month,
                    const QString& day) {
        TDateCombos entry = Date(base);
        ASSERT_NE(entry.year, nullptr) << base;
        entry.year->setEditText(year);
        entry.month->setEditText(month);
        entry.day->setEditText(day);
    }
    void ShowTab(const char* name) {
        QWidget* tab = window->findChild<QWidget*>(name);
        ASSERT_NE(tab, nullptr) << name;
        window->pcSarvenu->setCurrentWidget(tab);
    }
    QString CurrentTab() const { return window->pcSarvenu->currentWidget()->objectName(); }
    std::string Cell(int row, int column) {
        return platform::Cp932ToUtf8(window->dgConstList->CellText(row, column));
    }
    // Opens the installation in the given mode and saves the sample work
    // (CYY-XX0001) with a small GIF of its own bytes in each picture slot.
    void SavedSampleWork(int userId = 101) {
        Open(userId);
        window->btnNew->click();
        sample_work::FillSampleWork(*window);
        for (int slot = 1; slot <= 3; ++slot) {
            const fs::path picture =
                installation->Root() / ("site" + std::to_string(slot) + ".gif");
            WriteBytes(picture, std::string("GIF89a\x2c\x01\xc8\x00", 10) +
                                    std::string(40, static_cast<char>('0' + slot)));
            boxes.files.push_back(picture.string());
            window->btnPictSelectClick(slot);
        }
        boxes.answers = {idYes};
        window->bbtnSubmit->click();
        ASSERT_FALSE(window->HasUnsavedChanges());
    }

    std::unique_ptr<Installation> installation;
    std::unique_ptr<TfrmMain> window;
    ScriptedBoxes boxes;
};

}  // namespace window_test
