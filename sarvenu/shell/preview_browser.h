// The embedded browser control of the print-preview tab: a QTextBrowser
// behind the two operations the program uses, Navigate (show a page file of
// code page 932 HTML) and ExecWB with the print command. Printing goes through
// QPrinter: with the prompting option a print dialog, without it the default
// printer; when SARVENU_PRINT_DIR is set, every print becomes the next
// numbered PDF file in that directory instead (print-001.pdf, ...).
#pragma once

#include <QTextBrowser>
#include <string>

namespace sarvenu {

inline constexpr int OLECMDID_PRINT = 6;
inline constexpr int OLECMDEXECOPT_PROMPTUSER = 1;
inline constexpr int OLECMDEXECOPT_DONTPROMPTUSER = 2;

class TPreviewBrowser {
  public:
    explicit TPreviewBrowser(QTextBrowser* view) : view_(view) {}

    // Shows the page at path (a file-system path); pictures and the chart the
    // page refers to load from the file system. Throws std::runtime_error
    // when the file cannot be read.
    void Navigate(const std::string& path);
    const std::string& LocationPath() const { return location_; }

    // Runs a command on the page shown; only OLECMDID_PRINT is known. A
    // command that fails (unknown command, no page, printer refused) throws
    // std::runtime_error. A print dialog the user cancels prints nothing and
    // is not a failure.
    void ExecWB(int command, int option);

    // The file the last print went to when printing to PDF files; empty otherwise.
    const std::string& LastPrintFile() const { return lastPrintFile_; }

  private:
    QTextBrowser* view_;
    std::string location_;
    std::string lastPrintFile_;
};

}  // namespace sarvenu
