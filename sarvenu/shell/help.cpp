// The help text of the file the settings name, loaded into a memo of the
// menu page or of the help window.
#include "shell/help.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/codepage.h"
#include "shell/db_controls.h"
#include "shell/message_box.h"
#include "shell/system_info.h"

namespace sarvenu {

bool SetHelpFile(TfrmHelp* helpWindow, QPlainTextEdit* memo) {
    const THelpText help = ReadHelpText(HelpFilePath());
    if (memo && !help.lines.empty()) {
        QStringList lines;
        for (const std::string& line : help.lines) lines << platform::Cp932ToQString(line);
        memo->appendPlainText(lines.join(QChar('\n')));
        // The reader starts at the top of the text, not where appending left off.
        memo->moveCursor(QTextCursor::Start);
        memo->ensureCursorVisible();
    }
    if (help.ok) return true;
    QWidget* owner = helpWindow ? static_cast<QWidget*>(helpWindow)
                     : memo     ? memo->window()
                                : nullptr;
    MessageBox(owner, platform::Utf8ToCp932("ヘルプファイルを開けません。"), GetAppTitle(),
               miWarning, mbOK);
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

bool TfrmHelp::FormCreate() {
    return SetHelpFile(this, mmHelp);
}

void TfrmHelp::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    event->accept();
    if (OnClosed) OnClosed();
}

}  // namespace sarvenu
