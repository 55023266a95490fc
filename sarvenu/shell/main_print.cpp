// Printing the form shown on the print-preview tab, and printing the forms
// one after another without asking.
#include "platform/codepage.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/system_info.h"
#include "shell/wait_cursor.h"

namespace sarvenu {

void TfrmMain::PrintPreview() {
    TWaitCursor wait;
    TPreviewRequest request;
    request.caption =
        platform::QStringToCp932(tcPrintPreview->tabText(tcPrintPreview->currentIndex()));
    request.orderingMode = orderingOffice_;
    request.points = ComputePreviewPoints(dm(), orderingOffice_);
    request.dates = PreviewDates();
    browser_->Navigate(sarvenu::PrintPreview(dm(), request));
}

void TfrmMain::btnPrintClick() {
    browser_->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER);
}

void TfrmMain::btnPrintAllClick() {
    const int start = tcPrintPreview->currentIndex();
    if (start != 0) {
        MessageBox(
            this,
            platform::Utf8ToCp932(
                "一括印刷を利用する場合は、【印刷プレビュー】の「計画書」タブを選択してから\r\n"
                "一括印刷ボタンをクリックしてください"),
            GetAppTitle(), miWarning, mbOK);
        return;
    }
    if (MessageBox(this, platform::Utf8ToCp932("現在設定されているプリンタで一括印刷を実行します"),
                   GetAppTitle(), miWarning, mbOKCancel) != idOK)
        return;
    TWaitCursor wait;
    SelectPreviewForm(0);
    for (int index = 0; index < tcPrintPreview->count(); ++index) {
        if (index == start) continue;
        SelectPreviewForm(index);
        browser_->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_DONTPROMPTUSER);
    }
    SelectPreviewForm(start);
}

void TfrmMain::SelectPreviewForm(int index) {
    if (tcPrintPreview->currentIndex() == index) {
        PrintPreview();
        return;
    }
    // Changing the tab builds the preview through its change handler.
    tcPrintPreview->setCurrentIndex(index);
}

void TfrmMain::tsPrintPreviewShow() {
    SelectPreviewForm(0);
}

void TfrmMain::tcPrintPreviewChange() {
    if (!sheetPages_) return;
    PrintPreview();
}

}  // namespace sarvenu
