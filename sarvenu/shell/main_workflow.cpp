// The record workflow of the main window: new, open, delete, save, back to
// the menu and closing, the two pages, the unsaved-changes flag and the name
// displays that follow the header's code lists.
#include <QApplication>

#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "records/code_tables.h"
#include "records/table_health.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/system_info.h"
#include "shell/wait_cursor.h"

namespace sarvenu {

namespace {

const char* const kSaveQuestion = "編集データを保存しますか？";

const char* const kBureauDisplays[] = {"dbmmGatherMocPlan",  "dbmmGatherMocRep",
                                       "dbmmGatherMocAdd1",  "dbmmGatherMocAdd2",
                                       "dbmmGatherMoc2Add2", "dbmmGatherMocSec"};
const char* const kOfficeDisplays[] = {"dbmmHacSaiPlan", "dbmmHacSaiRep",   "dbmmHacSaiAdd1",
                                       "dbmmHacSaiAdd2", "dbmmHacSai2Add2", "dbmmHacSaiSec"};

}  // namespace

int TfrmMain::Ask(const std::string& text, int icon, int buttons) {
    return MessageBox(this, text, GetAppTitle(), static_cast<TMsgIcon>(icon),
                      static_cast<TMsgButtons>(buttons));
}

void TfrmMain::DataEdit() {
    bbtnSubmit->setEnabled(true);
}

void TfrmMain::DataNoEdit() {
    bbtnSubmit->setEnabled(false);
}

bool TfrmMain::SurveyTablesOpen() {
    const std::string closed = dm_->ClosedSurveyTable();
    if (closed.empty()) return true;
    Ask(ClosedTableRefusal(closed), miError, mbOK);
    return false;
}

void TfrmMain::ReportOpenFailures() {
    std::vector<TTableProblem> problems;
    for (const auto& failure : dm_->OpenFailures())
        problems.push_back({failure.path, failure.message});
    if (!problems.empty()) Ask(OpenFailureReport(problems), miError, mbOK);
}

void TfrmMain::btnNewClick() {
    if (!SurveyTablesOpen()) return;
    TClientTable& main = dm_->cdsEV_TBL_MAIN;
    if (main.State() != dsInsert) main.StartInsert();
    main.FieldNamed("CONST_NO").SetText(dm_->GetNextConstNo());
    SetDate();
    GoMain();
    dm_->InitCheckValue();
    SetConnectMocHac();
    SetConnectConType();
    SetPicture();
    AutoCalucation();
}

void TfrmMain::btnEditClick() {
    if (!SurveyTablesOpen()) return;
    if (dm_->cdsEV_TBL_MAIN.IsEmpty()) {
        btnNewClick();
        return;
    }
    SetDate();
    GoMain();
    SetConnectMocHac();
    SetConnectConType();
    SetPicture();
    AutoCalucation();
}

void TfrmMain::dgConstListDblClick() {
    if (!SurveyTablesOpen()) return;
    if (dm_->cdsEV_TBL_MAIN.IsEmpty()) {
        btnNewClick();
        return;
    }
    SetDate();
    GoMain();
    SetPicture();
    AutoCalucation();
}

void TfrmMain::btnDelClick() {
    if (!SurveyTablesOpen()) return;
    TClientTable& main = dm_->cdsEV_TBL_MAIN;
    if (main.IsEmpty()) {
        Ask(platform::Utf8ToCp932("削除するデータがありません。"), miWarning, mbOK);
        return;
    }
    const std::string text = "\"" + main.FieldNamed("CON_NAME").GetText() + "\"" +
                             platform::Utf8ToCp932("を削除します。");
    if (Ask(text, miWarning, mbYesNo) != idYes) return;
    dm_->CdsDelete();
    dgConstList->RefreshRows();
    // A deletion reaches the disk at once, as a save does.
    WriteTables();
}

void TfrmMain::SaveAndSettle() {
    dm_->CdsPost();
    dm_->DecideImg();
    // Saved means on disk: a failed write raises with the save button still
    // on, so that saving again (or closing) writes once more.
    WriteTables();
    dm_->DropUnusedImg();
    DataNoEdit();
}

void TfrmMain::WriteTables() {
    TWaitCursor wait;
    dm_->CdsWrite();
}

void TfrmMain::AbandonAndSettle() {
    const std::string number = dm_->cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText();
    dm_->CdsCancel();
    dm_->DecideImg();
    // Cancelling a new work leaves the cursor on another one, so the settling
    // above never sees the pictures chosen for it: remove them, or they would
    // stay behind in the picture directory for good.
    if (!number.empty() && dm_->cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText() != number)
        dm_->DeleteImg(number);
    // Settling the pictures may have renamed a file the record names: that
    // record reaches the disk with it. Nothing the user abandoned is written.
    WriteTables();
    DataNoEdit();
}

void TfrmMain::bbtnSubmitClick() {
    if (Ask(platform::Utf8ToCp932(kSaveQuestion), miQuestion, mbYesNo) != idYes) return;
    if (!CheckBeforeSave(*this)) return;
    SaveAndSettle();
}

void TfrmMain::btnReturnMenuClick() {
    TClientTable& offices = dm_->cdsMV_STBL_HAC_SAI;
    offices.SetFilter("");
    offices.SetFiltered(false);
    if (HasUnsavedChanges()) {
        const int answer = Ask(platform::Utf8ToCp932(kSaveQuestion), miQuestion, mbYesNo);
        if (answer == idYes) {
            if (!CheckBeforeSave(*this)) return;
            SaveAndSettle();
        } else if (answer == idNo) {
            AbandonAndSettle();
        } else {
            return;  // dismissed: the user stays on the sheets with the edits
        }
    }
    ReturnMenu();
}

bool TfrmMain::FormCloseQuery() {
    if (!dm_) return true;
    if (sheetPages_ && HasUnsavedChanges()) {
        const int answer = Ask(platform::Utf8ToCp932(kSaveQuestion), miQuestion, mbYesNo);
        if (answer == idYes) {
            if (!CheckBeforeSave(*this)) return false;
            SaveAndSettle();
        } else if (answer == idNo) {
            AbandonAndSettle();
        } else {
            return false;  // dismissed: the window stays open with the edits
        }
    }
    // A table that cannot be written keeps the window open, so that nothing
    // the user entered is lost; the error says which file failed.
    try {
        dm_->CdsClose();
    } catch (const std::exception& error) {
        ShowException(error);
        return false;
    }
    return true;
}

void TfrmMain::ShowException(const std::exception& error) {
    MessageBox(this, error.what(), GetAppTitle(), miError, mbOK);
}

void TfrmMain::GoMain() {
    sheetPages_ = true;
    pnlMenu->hide();
    pnlHeader->show();
    pcSarvenu->show();
    btnReturnMenu->show();
    btnHelp->show();
    bbtnSubmit->show();
    if (orderingOffice_) {
        if (pcSarvenu->currentIndex() != 0)
            pcSarvenu->setCurrentIndex(0);
        else
            TabShown(0);
    } else {
        const int index =
            pcSarvenu->indexOf(sheetTabs_.count("tsInvCon") ? sheetTabs_["tsInvCon"].tab : nullptr);
        if (index >= 0 && pcSarvenu->currentIndex() != index)
            pcSarvenu->setCurrentIndex(index);
        else
            TabShown(index);
    }
    SetDBMemoLabel();
}

void TfrmMain::ReturnMenu() {
    sheetPages_ = false;
    pnlHeader->hide();
    pcSarvenu->hide();
    btnReturnMenu->hide();
    btnHelp->hide();
    bbtnSubmit->hide();
    pnlMenu->show();
    if (dgConstList) dgConstList->RefreshRows();
}

void TfrmMain::SetDBMemoLabel() {
    auto shownText = [this](const char* list) {
        auto* combo = FindControl<TDBLookupComboBox>(list);
        return combo ? platform::Cp932ToQString(combo->TextCp932()) : QString();
    };
    const QString bureau = shownText("dblcmbGatherMoc");
    const QString office = shownText("dblcmbHacSai");
    const QString type = shownText("dblcmbConType");
    for (const char* name : kBureauDisplays)
        if (auto* memo = findChild<QPlainTextEdit*>(name)) memo->setPlainText(bureau);
    for (const char* name : kOfficeDisplays)
        if (auto* memo = findChild<QPlainTextEdit*>(name)) memo->setPlainText(office);
    if (auto* memo = findChild<QPlainTextEdit*>("dbmmConTypeRep")) memo->setPlainText(type);
}

void TfrmMain::SetConnectMocHac() {
    if (!orderingOffice_) return;
    TClientTable& main = dm_->cdsEV_TBL_MAIN;
    const bool bureau = !main.FieldNamed("MOC_CD").GetText().empty();
    const bool office = bureau && !main.FieldNamed("OFFICE_CD").GetText().empty();
    for (const char* name : kBureauDisplays)
        if (auto* memo = FindControl<TDBMemo>(name)) {
            memo->Bind(bureau ? &dm_->dsMV_STBL_INFO_GATHER_MOC : nullptr,
                       bureau ? "GATHER_MOC" : "");
            if (!bureau) memo->setPlainText({});
        }
    for (const char* name : kOfficeDisplays)
        if (auto* memo = FindControl<TDBMemo>(name)) {
            memo->Bind(office ? &dm_->dsMV_STBL_HAC_SAI : nullptr, office ? "HAC_SAI" : "");
            if (!office) memo->setPlainText({});
        }
}

void TfrmMain::SetConnectConType() {
    if (!orderingOffice_) return;
    const bool type = !dm_->cdsEV_TBL_MAIN.FieldNamed("CON_TYPE").GetText().empty();
    if (auto* memo = FindControl<TDBMemo>("dbmmConTypeRep")) {
        memo->Bind(type ? &dm_->dsEV_STBL_CON_TYPE : nullptr, type ? "CON_TYPE" : "");
        if (!type) memo->setPlainText({});
    }
}

void TfrmMain::dblcmbHacSaiDropDown() {
    TClientTable& offices = dm_->cdsMV_STBL_HAC_SAI;
    offices.SetIndexFieldNames("sort_id");
    offices.SetFilter(OfficeFilterText(dm_->cdsEV_TBL_MAIN.FieldNamed("MOC_CD").GetText()));
    offices.SetFiltered(true);
}

void TfrmMain::RnmFile(const std::string& source, const std::string& target) {
    if (fileops::FileExists(target)) {
        fileops::SetReadOnly(target, false);
        fileops::DeleteFile(target);
    }
    fileops::MoveFile(source, target);
}

}  // namespace sarvenu
