// One-line data-aware entries (plain and right-aligned): showing the field,
// writing every change the user makes, the byte limit on typing and the key
// hooks the window attaches; and the one-line read-only display.
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QValidator>

#include "platform/codepage.h"
#include "shell/db_controls.h"

namespace sarvenu {

namespace {

// Refuses any edit that would make the text longer than the entry's limit in
// CP932 bytes; the line edit then keeps the text it had.
class TByteLimit : public QValidator {
  public:
    explicit TByteLimit(TDBEdit* edit) : QValidator(edit), edit_(edit) {}
    State validate(QString& input, int&) const override {
        const int limit = edit_->MaxBytes();
        if (limit > 0 && platform::QStringToCp932(input).size() > static_cast<size_t>(limit))
            return Invalid;
        return Acceptable;
    }

  private:
    TDBEdit* edit_;
};

}  // namespace

TDBEdit::TDBEdit(QWidget* parent, const QString& objectName)
    : QLineEdit(parent), link_([this] { Refresh(); }) {
    setObjectName(objectName);
    setValidator(new TByteLimit(this));
    // Every change of the text that the program did not make itself is the
    // user's: typing, pasting, and texts set through the accessibility
    // interface by assistive technology or outside automation.
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { UserEdited(text); });
}

std::string TDBEdit::TextCp932() const {
    return platform::QStringToCp932(text());
}

void TDBEdit::SetTextCp932(const std::string& cp932) {
    const std::string value = maxBytes_ > 0 ? CutCp932(cp932, maxBytes_) : cp932;
    {
        QScopedValueRollback<bool> refreshing(refreshing_, true);
        setText(platform::Cp932ToQString(value));
    }
    accepted_ = text();
    if (isReadOnly()) return;
    link_.Write(value);
    if (OnChange) OnChange();
}

void TDBEdit::SetImeOff(bool off) {
    setAttribute(Qt::WA_InputMethodEnabled, !off);
    setInputMethodHints(off ? Qt::ImhPreferLatin | Qt::ImhNoPredictiveText : Qt::ImhNone);
}

void TDBEdit::Refresh() {
    const QString shown = platform::Cp932ToQString(link_.Read());
    accepted_ = shown;
    if (shown == text()) return;
    QScopedValueRollback<bool> refreshing(refreshing_, true);
    setText(shown);
}

void TDBEdit::UserEdited(const QString& text) {
    if (refreshing_) return;
    if (isReadOnly()) {
        // A locked entry shows its field: a text set from outside goes again.
        if (link_.Source()) Restore();
        return;
    }
    const std::string cp932 = platform::QStringToCp932(text);
    if (maxBytes_ > 0 && cp932.size() > static_cast<size_t>(maxBytes_)) {
        // Only a text set from outside gets here (typing and pasting meet the
        // validator): refused as a typed one would be, nothing of it cut.
        Restore();
        return;
    }
    accepted_ = text;
    link_.Write(cp932);
    if (OnChange) OnChange();
}

void TDBEdit::Restore() {
    QScopedValueRollback<bool> refreshing(refreshing_, true);
    setText(link_.Source() ? platform::Cp932ToQString(link_.Read()) : accepted_);
}

void TDBEdit::keyPressEvent(QKeyEvent* event) {
    if (OnKeyDown && OnKeyDown(event->key())) {
        event->accept();
        return;
    }
    if (OnKeyPress) {
        // Only character keys reach the hook (and backspace as 8, as typed);
        // editing and shortcut keys are not characters.
        const QString typed = event->text();
        char16_t key = 0;
        if (event->key() == Qt::Key_Backspace)
            key = 8;
        else if (typed.size() == 1 && typed[0].unicode() >= 0x20 && typed[0].unicode() != 0x7F)
            key = typed[0].unicode();
        if (key != 0) {
            const char16_t original = key;
            OnKeyPress(key);
            if (key == 0) {
                event->accept();
                return;
            }
            if (key != original) {
                QKeyEvent replaced(event->type(), 0, event->modifiers(), QString(QChar(key)));
                QLineEdit::keyPressEvent(&replaced);
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TDBEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Leaving the entry for another control, not the window losing the focus.
    if (OnExit && event->reason() != Qt::ActiveWindowFocusReason &&
        event->reason() != Qt::PopupFocusReason)
        OnExit();
}

TRightDBEdit::TRightDBEdit(QWidget* parent, const QString& objectName)
    : TDBEdit(parent, objectName) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

TDBText::TDBText(QWidget* parent, const QString& objectName)
    : QLabel(parent), link_([this] { Refresh(); }) {
    setObjectName(objectName);
    setTextFormat(Qt::PlainText);
}

void TDBText::Refresh() {
    setText(platform::Cp932ToQString(link_.Read()));
}

}  // namespace sarvenu
