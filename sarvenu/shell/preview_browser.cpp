#include "shell/preview_browser.h"

#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/codepage.h"

namespace sarvenu {

namespace {

// The next print-NNN.pdf that does not exist yet in the directory.
std::string NextPrintFile(const std::string& directory) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(directory, error);
    for (int number = 1;; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "print-%03d.pdf", number);
        const fs::path candidate = fs::path(directory) / name;
        if (!fs::exists(candidate, error)) return candidate.string();
    }
}

// Errors reach the general error handler, whose box shows code page 932 text.
[[noreturn]] void Fail(const std::string& utf8) {
    throw std::runtime_error(platform::Utf8ToCp932(utf8));
}

}  // namespace

void TPreviewBrowser::Navigate(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) Fail("ページを開けません: " + path);
    const QByteArray bytes = file.readAll();
    const std::string html = platform::Cp932ToUtf8(
        std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    // Relative and absolute picture paths resolve against the page's file.
    const QFileInfo page(file);
    view_->document()->setBaseUrl(QUrl::fromLocalFile(page.absoluteFilePath()));
    view_->setSearchPaths({page.absolutePath()});
    view_->document()->clear();
    view_->setHtml(QString::fromStdString(html));
    location_ = path;
}

void TPreviewBrowser::ExecWB(int command, int option) {
    if (command != OLECMDID_PRINT) Fail("未対応のコマンドです。");
    if (location_.empty()) Fail("印刷するページがありません。");
    lastPrintFile_.clear();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(QFileInfo(QString::fromStdString(location_)).fileName());
    if (const char* directory = std::getenv("SARVENU_PRINT_DIR"); directory && *directory) {
        lastPrintFile_ = NextPrintFile(directory);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(lastPrintFile_));
    } else if (option == OLECMDEXECOPT_PROMPTUSER) {
        QPrintDialog dialog(&printer, view_->window());
        if (dialog.exec() != QDialog::Accepted) return;
    }
    if (!printer.isValid()) Fail("プリンタが見つかりません。");
    view_->document()->print(&printer);
    if (printer.printerState() == QPrinter::Error) Fail("印刷に失敗しました。");
}

}  // namespace sarvenu
