// The main window as the checks and the data store see it: the texts, ticks
// and answers of its entries by object name, and bringing a failing entry
// into view after its message.
#include "records/entry_names.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/system_info.h"

namespace sarvenu {

std::string TfrmMain::EntryText(const std::string& objectName) {
    const QString name = QString::fromStdString(objectName);
    if (auto* edit = FindControl<TDBEdit>(name)) return edit->TextCp932();
    if (auto* memo = FindControl<TDBMemo>(name)) return memo->TextCp932();
    if (auto* list = FindControl<TDBLookupComboBox>(name)) return list->TextCp932();
    return {};
}

bool TfrmMain::Ticked(const std::string& objectName) {
    auto* box = FindControl<TDBCheckBox>(QString::fromStdString(objectName));
    return box && box->isChecked();
}

bool TfrmMain::Answered(const std::string& objectName) {
    auto* group = FindControl<TDBRadioGroup>(QString::fromStdString(objectName));
    return group && group->HasValue();
}

bool TfrmMain::CostEntriesEnabled(TTableId sheet) {
    auto* entry = FindControl<TDBEdit>(QString::fromStdString(EntryName(sheet, "INV_OLD_COST")));
    return entry && entry->isEnabled();
}

void TfrmMain::ShowCheckFailure(const TCheckFailure& failure) {
    MessageBox(this, failure.message, GetAppTitle(), miError, mbOK);
    if (!failure.tab.empty()) {
        auto it = sheetTabs_.find(QString::fromStdString(failure.tab));
        if (it != sheetTabs_.end()) {
            pcSarvenu->setCurrentWidget(it->second.tab);
            it->second.scrollBar->setValue(failure.scroll);
        }
    }
    QWidget* target = findChild<QWidget*>(QString::fromStdString(failure.focus));
    if (auto* group = dynamic_cast<TDBRadioGroup*>(target))
        group->FocusGroup();
    else if (target)
        target->setFocus();
}

void TfrmMain::ShowErrorBox(const std::string& caption, const std::string& text) {
    MessageBox(this, text, caption, miError, mbOK);
}

}  // namespace sarvenu
