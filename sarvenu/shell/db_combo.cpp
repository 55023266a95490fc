// Cutting CP932 texts to a byte limit, and the editable drop-down lists of
// the date entries.
#include <QScopedValueRollback>
#include <algorithm>

#include "platform/codepage.h"
#include "shell/db_controls.h"

namespace sarvenu {

std::string CutCp932(const std::string& cp932, size_t maxBytes) {
    size_t end = 0;
    while (end < cp932.size()) {
        const size_t step =
            platform::IsDBCSLeadByte(static_cast<unsigned char>(cp932[end])) ? 2 : 1;
        if (end + step > maxBytes) break;
        end += step;
    }
    return cp932.substr(0, std::min(end, cp932.size()));
}

TComboBox::TComboBox(QWidget* parent, const QString& objectName) : QComboBox(parent) {
    setObjectName(objectName);
    setEditable(true);
    // Typed texts are values, not new list items.
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::editTextChanged, this, [this](const QString&) {
        if (!silent_ && OnChange) OnChange();
    });
}

std::string TComboBox::TextCp932() const {
    return platform::QStringToCp932(currentText());
}

void TComboBox::SetTextSilently(const QString& text) {
    QScopedValueRollback<bool> silent(silent_, true);
    setCurrentIndex(findText(text));
    setEditText(text);
}

void TComboBox::SetItemsSilently(const QStringList& items) {
    QScopedValueRollback<bool> silent(silent_, true);
    const QString text = currentText();
    clear();
    addItems(items);
    setCurrentIndex(findText(text));
    setEditText(text);
}

void TComboBox::showPopup() {
    if (OnDropDown) OnDropDown();
    QComboBox::showPopup();
}

TDateCombos MakeDateCombos(QWidget* parent, const QString& baseName, const QString& label) {
    auto make = [&](const char* suffix, const char* part, int width) {
        auto* combo = new TComboBox(parent, baseName + suffix);
        combo->setAccessibleName(label + QString::fromUtf8(part));
        combo->resize(width, combo->sizeHint().height());
        return combo;
    };
    TDateCombos combos;
    combos.year = make("_Year", "-年", 64);
    combos.month = make("_Month", "-月", 48);
    combos.day = make("_Day", "-日", 64);
    return combos;
}

}  // namespace sarvenu
