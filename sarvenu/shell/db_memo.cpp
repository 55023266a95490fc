// Multi-line data-aware entries: the field keeps CR LF line breaks, the memo
// shows plain lines; typing beyond the byte limit is refused.
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QTextCursor>

#include "platform/codepage.h"
#include "shell/db_controls.h"

namespace sarvenu {

namespace {

// Field text (CR LF, or a lone CR or LF) to the memo's lines.
QString ToLines(const std::string& cp932) {
    QString text = platform::Cp932ToQString(cp932);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar('\r'), QChar('\n'));
    return text;
}

std::string ToField(QString lines) {
    lines.replace(QChar(QChar::ParagraphSeparator), QChar('\n'));
    lines.replace(QChar('\n'), QStringLiteral("\r\n"));
    return platform::QStringToCp932(lines);
}

// The head of a field text within the limit, never ending inside a line break.
std::string CutField(const std::string& cp932, int maxBytes) {
    if (maxBytes <= 0) return cp932;
    std::string cut = CutCp932(cp932, static_cast<size_t>(maxBytes));
    if (cut.size() < cp932.size() && !cut.empty() && cut.back() == '\r') cut.pop_back();
    return cut;
}

}  // namespace

TDBMemo::TDBMemo(QWidget* parent, const QString& objectName)
    : QPlainTextEdit(parent), link_([this] { Refresh(); }) {
    setObjectName(objectName);
    // Tab moves on to the next control, as in every other entry.
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] { UserEdited(); });
}

std::string TDBMemo::TextCp932() const {
    return ToField(toPlainText());
}

void TDBMemo::SetTextCp932(const std::string& cp932) {
    {
        QScopedValueRollback<bool> refreshing(refreshing_, true);
        setPlainText(ToLines(CutField(cp932, maxBytes_)));
    }
    if (isReadOnly()) return;
    link_.Write(TextCp932());
    if (OnChange) OnChange();
}

void TDBMemo::Refresh() {
    const QString shown = ToLines(link_.Read());
    if (shown == toPlainText()) return;
    QScopedValueRollback<bool> refreshing(refreshing_, true);
    setPlainText(shown);
}

void TDBMemo::UserEdited() {
    // A read-only memo is a display: what the program puts there is never
    // written back to the table it shows.
    if (refreshing_ || isReadOnly()) return;
    std::string text = TextCp932();
    if (maxBytes_ > 0 && text.size() > static_cast<size_t>(maxBytes_)) {
        // Pasted or composed text beyond the limit: keep what fits.
        text = CutField(text, maxBytes_);
        const int caret = textCursor().position();
        {
            QScopedValueRollback<bool> refreshing(refreshing_, true);
            setPlainText(ToLines(text));
        }
        QTextCursor cursor = textCursor();
        cursor.setPosition(std::min(caret, static_cast<int>(toPlainText().size())));
        setTextCursor(cursor);
    }
    link_.Write(text);
    if (OnChange) OnChange();
}

void TDBMemo::keyPressEvent(QKeyEvent* event) {
    if (OnKeyDown && OnKeyDown(event->key())) {
        event->accept();
        return;
    }
    if (maxBytes_ > 0 && !isReadOnly()) {
        std::string typed;
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            typed = "\r\n";
        else if (!event->text().isEmpty() && event->text()[0].unicode() >= 0x20 &&
                 event->text()[0].unicode() != 0x7F)
            typed = platform::QStringToCp932(event->text());
        if (!typed.empty()) {
            const size_t replaced = ToField(textCursor().selectedText()).size();
            if (TextCp932().size() - replaced + typed.size() > static_cast<size_t>(maxBytes_)) {
                event->accept();
                return;
            }
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TDBMemo::focusOutEvent(QFocusEvent* event) {
    QPlainTextEdit::focusOutEvent(event);
    if (OnExit && event->reason() != Qt::ActiveWindowFocusReason &&
        event->reason() != Qt::PopupFocusReason)
        OnExit();
}

}  // namespace sarvenu
