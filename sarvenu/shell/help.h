// Module Help: the help text file shown in the menu page's memo and in the
// help window TfrmHelp, which stays open beside the main window.
#pragma once

#include <QPlainTextEdit>
#include <QWidget>
#include <functional>

#include "shell/help_text.h"

namespace sarvenu {

class TfrmHelp;

// Loads the help file (HelpFilePath) into the memo. On failure: the lines read
// so far stay, a warning box "ヘルプファイルを開けません。" is shown (owned by the
// help window when given, else by the memo's window) and false is returned.
bool SetHelpFile(TfrmHelp* helpWindow, QPlainTextEdit* memo);

// The help window: caption "ヘルプ", 694 x 480, centred, resizable, one
// read-only memo mmHelp with both scroll bars. It deletes itself when closed
// and then runs OnClosed (the main window clears its reference there).
class TfrmHelp : public QWidget {
  public:
    explicit TfrmHelp(QWidget* owner);
    QPlainTextEdit* mmHelp;
    std::function<void()> OnClosed;

    // Loads the help text; false (after the warning) when it cannot be read.
    bool FormCreate();

  protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace sarvenu
