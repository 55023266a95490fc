// The dialog TfrmExp: which sheets go into a submission file. Five tick
// boxes in the order plan, report, section chief, chief supervisor,
// contractor; "提出用ファイル作成" stores the ticks and closes with OK,
// "キャンセル" closes with Cancel. Tests install a handler that answers in
// place of a person (it may change the ticks and returns the dialog result).
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <array>
#include <functional>

namespace sarvenu {

inline constexpr int kExportSheetCount = 5;
using TExportChoices = std::array<bool, kExportSheetCount>;

class TfrmExp : public QDialog {
  public:
    TfrmExp(QWidget* owner, const TExportChoices& choices);
    std::array<QCheckBox*, kExportSheetCount> cbSheets;
    QPushButton* btnExp;
    QPushButton* btnCancel;
    TExportChoices Choices() const;
    // Shows the dialog modally (or asks the installed handler).
    int Run();
};

using TExportDialogHandler = std::function<int(TfrmExp&)>;
void SetExportDialogHandler(TExportDialogHandler handler);

}  // namespace sarvenu
