// Module Help: the help text file shown in the menu page's memo and in the
// help window TfrmHelp, which stays open beside the main window.
#pragma once

#include <QPlainTextEdit>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace sarvenu {

// The lines of a CP932 help file with every "%" replaced by "％", in CP932.
// ok is false when the file could not be opened or read; lines read before
// a failure are kept.
struct THelpText {
    std::vector<std::string> lines;
    bool ok = true;
};
THelpText ReadHelpText(const std::string& path);

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

    void FormCreate();

  protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace sarvenu
