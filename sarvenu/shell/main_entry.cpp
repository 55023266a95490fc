// The entry aids every sheet shares: key filters, Enter moving to the next
// entry, the input method switched off for number and code entries, and the
// normalisation of spaces while typing and of widths when an entry is left.
#include <QKeyEvent>
#include <QScopedValueRollback>

#include "platform/codepage.h"
#include "records/entry_names.h"
#include "records/format_data.h"
#include "records/jstrm_k.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/system_info.h"

namespace sarvenu {

namespace {

bool IsDigit(char16_t key) {
    return key >= u'0' && key <= u'9';
}

// REG_NO: backspace, "-", digits and ASCII letters.
void ChkRegKey(char16_t& key) {
    const bool letter = (key >= u'A' && key <= u'Z') || (key >= u'a' && key <= u'z');
    if (!(key == 8 || key == u'-' || IsDigit(key) || letter)) key = 0;
}

// CON_CHARGE_MIC: backspace, "-" and digits.
void ChkKey(char16_t& key) {
    if (!(key == 8 || key == u'-' || IsDigit(key))) key = 0;
}

// Amounts and days: backspace, "." and digits.
void ChkNumKey(char16_t& key) {
    if (!(key == 8 || key == u'.' || IsDigit(key))) key = 0;
}

// Enter moves to the next control in tab order that can take the focus.
void MoveFocusOn(QWidget* from) {
    for (QWidget* next = from->nextInFocusChain(); next && next != from;
         next = next->nextInFocusChain())
        if ((next->focusPolicy() & Qt::TabFocus) && next->isVisible() && next->isEnabled()) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
}

}  // namespace

void TfrmMain::WireEntries() {
    for (TDBEdit* edit : Controls<TDBEdit>()) {
        edit->OnChange = [this, edit] { EditSpeceChk(edit); };
        edit->OnExit = [this, edit] { EditChk(edit); };
        edit->OnKeyDown = [edit](int key) {
            if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
            MoveFocusOn(edit);
            return true;
        };
    }
    for (TDBMemo* memo : Controls<TDBMemo>()) {
        if (memo->isReadOnly()) continue;
        memo->OnChange = [this, memo] { MemoSpaceChk(memo); };
        memo->OnExit = [this, memo] { MemoChk(memo); };
    }
    auto filter = [this](const std::string& name, void (*check)(char16_t&)) {
        if (auto* edit = FindControl<TDBEdit>(QString::fromStdString(name))) {
            edit->OnKeyPress = check;
            edit->SetImeOff(true);
        }
    };
    filter(EntryName(TTableId::Main, "REG_NO"), ChkRegKey);
    filter(EntryName(TTableId::Plan, "CON_CHARGE_MIC"), ChkKey);
    for (TTableId sheet : {TTableId::InvSection, TTableId::InvCon})
        for (const char* field : {"INV_OLD_COST", "INV_NEW_COST"})
            filter(EntryName(sheet, field), ChkNumKey);
    for (const char* field : {"INV_PROCESS_OLD", "INV_PROCESS_NEW"})
        filter(EntryName(TTableId::InvCon, field), ChkNumKey);

    if (auto* bureau = FindControl<TDBLookupComboBox>("dblcmbGatherMoc")) {
        bureau->OnClick = [this] { SetConnectMocHac(); };
        bureau->OnKeyDown = [this](int key) {
            // Clearing the bureau clears the office: an office belongs to
            // the bureau it was chosen under.
            TClientTable& main = dm_->cdsEV_TBL_MAIN;
            if (key == Qt::Key_Delete && main.Active() &&
                main.FieldNamed("MOC_CD").GetText().empty() &&
                !main.FieldNamed("OFFICE_CD").GetText().empty())
                dm_->SetValue(main, "OFFICE_CD", "");
            SetConnectMocHac();
            return false;
        };
    }
    if (auto* office = FindControl<TDBLookupComboBox>("dblcmbHacSai")) {
        office->OnDropDown = [this] { dblcmbHacSaiDropDown(); };
        office->OnClick = [this] { SetConnectMocHac(); };
        office->OnKeyDown = [this](int) {
            SetConnectMocHac();
            return false;
        };
    }
    if (auto* type = FindControl<TDBLookupComboBox>("dblcmbConType")) {
        type->OnClick = [this] { SetConnectConType(); };
        type->OnKeyDown = [this](int) {
            SetConnectConType();
            return false;
        };
    }
}

void TfrmMain::EditSpeceChk(TDBEdit* edit) {
    if (collapsing_) return;
    const int limit = edit->MaxBytes() > 0 ? edit->MaxBytes() : 255;
    auto collapsed = CollapseSpacesFully(edit->TextCp932(), static_cast<size_t>(limit));
    if (!collapsed) return;
    collapsing_ = true;
    edit->SetTextCp932(collapsed->text);
    edit->setCursorPosition(
        platform::Cp932ToQString(collapsed->text.substr(0, collapsed->caret)).size());
    collapsing_ = false;
}

void TfrmMain::MemoSpaceChk(TDBMemo* memo) {
    if (collapsing_) return;
    auto collapsed = CollapseSpacesFully(memo->TextCp932(), 2000);
    if (!collapsed) return;
    collapsing_ = true;
    memo->SetTextCp932(collapsed->text);
    // The caret offset counts CR LF as two bytes; the memo shows one character.
    QString before = platform::Cp932ToQString(collapsed->text.substr(0, collapsed->caret));
    before.remove(QChar('\r'));
    QTextCursor cursor = memo->textCursor();
    cursor.setPosition(static_cast<int>(before.size()));
    memo->setTextCursor(cursor);
    collapsing_ = false;
}

bool TfrmMain::FitsWidened(QWidget* entry, size_t widenedBytes, int maxBytes) {
    if (maxBytes <= 0 || widenedBytes <= static_cast<size_t>(maxBytes)) return true;
    // Half-width katakana take two bytes each once widened. Cutting the text
    // to the entry's width would lose what was typed: the text stays as it
    // is, the user is told the entry's width and is brought back to it.
    // Another such entry left while one takes the focus back keeps its text
    // without a second message, so the two cannot hand the focus to and fro.
    if (widthRefusal_) return false;
    QScopedValueRollback<bool> refusing(widthRefusal_, true);
    const std::string label = platform::QStringToCp932(entry->accessibleName());
    const std::string width = entry->testAttribute(Qt::WA_InputMethodEnabled)
                                  ? platform::Utf8ToCp932("（全角") + std::to_string(maxBytes / 2) +
                                        platform::Utf8ToCp932("文字まで）")
                                  : platform::Utf8ToCp932("（半角") + std::to_string(maxBytes) +
                                        platform::Utf8ToCp932("文字まで）");
    MessageBox(this,
               (label.empty() ? std::string() : label + platform::Utf8ToCp932("が")) +
                   platform::Utf8ToCp932("入力できる文字数を超えます。") + width +
                   platform::Utf8ToCp932(
                       "\r\n半角カナは全角に直して登録します。文字数を減らしてください。"),
               GetAppTitle(), miError, mbOK);
    entry->setFocus(Qt::OtherFocusReason);
    return false;
}

void TfrmMain::EditChk(TDBEdit* edit) {
    if (edit->isReadOnly()) return;
    const std::string text = edit->TextCp932();
    const std::string normal = NormalizeWidth(text);
    if (normal == text || !FitsWidened(edit, normal.size(), edit->MaxBytes())) return;
    edit->SetTextCp932(normal);
}

void TfrmMain::MemoChk(TDBMemo* memo) {
    const std::string text = memo->TextCp932();
    const std::string normal = NormalizeWidth(TrimLineBreaks(text));
    if (normal == text || !FitsWidened(memo, normal.size(), memo->MaxBytes())) return;
    memo->SetTextCp932(normal);
}

}  // namespace sarvenu
