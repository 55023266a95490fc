// The help text: read line by line from the file the settings name, every
// "%" shown as the full-width "％", into a memo of the menu page or of the
// help window.
#include "shell/help.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>

#include "platform/codepage.h"
#include "records/sjis.h"
#include "shell/GetSystemInfo.h"
#include "shell/db_controls.h"
#include "shell/message_box.h"

namespace sarvenu {

namespace {

// Full-width percent sign in CP932.
const char kFullWidthPercent[] = "\x81\x93";

std::string WithFullWidthPercent(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(line[i]);
        if (platform::IsDBCSLeadByte(byte) && i + 1 < line.size()) {
            out += line.substr(i, 2);
            ++i;
        } else if (byte == '%') {
            out += kFullWidthPercent;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

THelpText ReadHelpText(const std::string& path) {
    THelpText help;
    std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        help.ok = false;
        return help;
    }
    std::string line;
    bool pending = false;  // a line has begun and not yet been added
    char buffer[4096];
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        for (size_t i = 0; i < got; ++i) {
            if (buffer[i] == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                help.lines.push_back(WithFullWidthPercent(line));
                line.clear();
                pending = false;
            } else {
                line += buffer[i];
                pending = true;
            }
        }
        if (got < sizeof buffer) break;
    }
    if (std::ferror(file.get())) {
        help.ok = false;
        return help;
    }
    if (pending) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        help.lines.push_back(WithFullWidthPercent(line));
    }
    return help;
}

bool SetHelpFile(TfrmHelp* helpWindow, QPlainTextEdit* memo) {
    const THelpText help = ReadHelpText(HelpFilePath());
    if (memo && !help.lines.empty()) {
        QStringList lines;
        for (const std::string& line : help.lines) lines << FromCp932(line);
        memo->appendPlainText(lines.join(QChar('\n')));
    }
    if (help.ok) return true;
    QWidget* owner = helpWindow ? static_cast<QWidget*>(helpWindow)
                     : memo     ? memo->window()
                                : nullptr;
    MessageBox(owner, Sj("ヘルプファイルを開けません。"), GetAppTitle(), miWarning, mbOK);
    return false;
}

TfrmHelp::TfrmHelp(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QString::fromUtf8("ヘルプ"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(694, 480);
    mmHelp = new QPlainTextEdit(this);
    mmHelp->setObjectName(QStringLiteral("mmHelp"));
    mmHelp->setAccessibleName(QString::fromUtf8("ヘルプ"));
    mmHelp->setReadOnly(true);
    mmHelp->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmHelp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmHelp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mmHelp);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmHelp::FormCreate() {
    SetHelpFile(this, mmHelp);
}

void TfrmHelp::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    event->accept();
    if (OnClosed) OnClosed();
}

}  // namespace sarvenu
