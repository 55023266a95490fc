// The main window's side of the summary page: it takes the menu page's place,
// goes back to it, and opens a work chosen on it through the same path as a
// double-click in the menu's list of works.
#include "platform/codepage.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/summary_page.h"

namespace sarvenu {

void TfrmMain::btnSummaryClick() {
    if (!SurveyTablesOpen()) return;
    try {
        pnlSummary->Open(*dm_, orderingOffice_);
    } catch (const std::exception& error) {
        ShowException(error);
        return;
    }
    pnlMenu->hide();
    pnlSummary->show();
    pnlSummary->raise();
}

void TfrmMain::SummaryClose() {
    pnlSummary->hide();
    ReturnMenu();
}

void TfrmMain::SummaryOpenWork(const std::string& workNumber) {
    SummaryClose();
    if (!dm_->cdsEV_TBL_MAIN.Locate("CONST_NO", workNumber)) {
        Ask("\"" + workNumber + "\"" + platform::Utf8ToCp932("の工事が見つかりません。"), miWarning,
            mbOK);
        return;
    }
    dgConstListDblClick();
}

}  // namespace sarvenu
