// Reading a submission file: as a new work from the menu page, or as the
// contractor's sheet of the open work. Whatever happens after extraction, the
// work directory is cleared and the import-running state ends.
#include <optional>

#include "exchange/exp_imp.h"
#include "platform/codepage.h"
#include "records/manage_version.h"
#include "shell/GetSystemInfo.h"
#include "shell/file_dialog.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/wait_cursor.h"

namespace sarvenu {

namespace {

std::string Sj(const char* utf8) {
    return platform::Utf8ToCp932(utf8);
}

// Ends an import however it ends.
class TImportEnd {
  public:
    TImportEnd(TExpImp& files, bool& running) : files_(files), running_(running) {
        running_ = true;
    }
    ~TImportEnd() {
        files_.ClearWorkDirectory();
        running_ = false;
    }
    TImportEnd(const TImportEnd&) = delete;
    TImportEnd& operator=(const TImportEnd&) = delete;

  private:
    TExpImp& files_;
    bool& running_;
};

}  // namespace

void TfrmMain::btnImpClick(const std::string& senderName) {
    const bool newWork = senderName == "btnImp";
    if (!SurveyTablesOpen()) return;
    if (!newWork && HasUnsavedChanges()) {
        MessageBox(this, Sj("編集内容を保存してください。"), GetAppTitle(), miWarning, mbOK);
        return;
    }
    // Refused before a file is asked for when clearing the work directory
    // would delete the program's or the data's files.
    TExpImp(*dm_).CheckWorkDirectory();
    TFileDialogCall call{fdOpen, Sj("データ取り込み"), Sj("活用効果調査データ|*.lzh"), "lzh", {}};
    const std::optional<std::string> path = FileDialog(this, call);
    if (!path) return;

    TExpImp files(*dm_);
    TImportEnd end(files, importRunning_);
    files.ClearWorkDirectory();
    const TVersionMessages messages{
        [this](const std::string& text) { MessageBox(this, text, GetAppTitle(), miError, mbOK); },
        [this](const std::string& text) {
            MessageBox(this, text, GetAppTitle(), miWarning, mbOK);
        }};
    // The hourglass shows while files are moved, not over the questions.
    std::optional<TWaitCursor> wait(std::in_place);
    const bool extracted = files.Extract(*path);
    wait.reset();
    // A failed extraction takes nothing, even when some files came out.
    if (!extracted) {
        MessageBox(this,
                   files.Recognise(orderingOffice_).empty()
                       ? Sj("活用効果調査データとして認識できません。")
                       : files.Recognise(orderingOffice_),
                   GetAppTitle(), miError, mbOK);
        return;
    }
    const std::string mainFile = files.WorkDirectory() + kMainTableFile;
    const std::string refusal = files.Recognise(orderingOffice_);
    if (!refusal.empty()) {
        if (files.HasFile(kMainTableFile))
            CheckImportVersion(mainFile, GetAppVersionNumber(exeDir_), messages);
        else
            MessageBox(this, refusal, GetAppTitle(), miError, mbOK);
        return;
    }
    if (!CheckImportVersion(mainFile, GetAppVersionNumber(exeDir_), messages)) return;

    std::string number;
    if (newWork) {
        number = dm_->GetNextConstNo();
    } else {
        const std::string question =
            Sj("［活用効果調査表(3)/"
               "請負者・技術開発者提出用］を既に作成している場合は上書きされます。\r\n\r\n"
               "この工事情報の［活用効果調査表(3)/請負者・技術開発者提出用］を取り込みますか？");
        if (MessageBox(this, question, GetAppTitle(), miWarning, mbYesNo) != idYes) return;
        number = dm_->cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText();
    }

    wait.emplace();
    if (newWork) {
        const std::pair<const char*, TClientTable*> tables[] = {
            {kMainTableFile, &dm_->cdsEV_TBL_MAIN},
            {"EV_TBL_PLAN_R.cds", &dm_->cdsEV_TBL_PLAN},
            {"EV_TBL_REPORT_R.cds", &dm_->cdsEV_TBL_REPORT},
            {"EV_TBL_INV_SECTION_R.cds", &dm_->cdsEV_TBL_INV_SECTION},
            {"EV_TBL_INV_CHIEF_R.cds", &dm_->cdsEV_TBL_INV_CHIEF}};
        for (const auto& [file, table] : tables)
            if (files.HasFile(file)) files.CopyTableForImport(file, *table, number);
    }
    if (files.HasFile(kConTableFile)) {
        if (!newWork) {
            dm_->DataDelete(dm_->cdsEV_TBL_INV_CON, "CONST_NO", number);
            dm_->DeleteImg(number);
        }
        TClientTable& temp = dm_->cdsTemp;
        dm_->SetCdsFile(files.WorkDirectory() + kConTableFile, temp);
        temp.MoveFirst();
        files.ImportPictures(temp, number);
        dm_->CdsRecordCopy(temp, dm_->cdsEV_TBL_INV_CON, number, "CONST_NO");
        SetPicture();
        AutoCalucation();
        dm_->CdsOutput(temp);
    }
    if (dm_->cdsEV_TBL_MAIN.IsEditing()) dm_->CdsPost();
    // An imported work is saved at once, on disk.
    dm_->CdsWrite();
    DataNoEdit();
    dgConstList->RefreshRows();
    wait.reset();
    if (!newWork)
        MessageBox(this, Sj("［活用効果調査表(3)/請負者・技術開発者提出用］を取り込みました。"),
                   GetAppTitle(), miInformation, mbOK);
}

}  // namespace sarvenu
