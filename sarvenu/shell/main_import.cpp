// Reading a submission file: as a new work from the menu page, or as the
// contractor's sheet of the open work. Every table file and picture the import
// reads is checked before the work is changed, and a step that fails after
// that puts the work, its pictures and the list of works back as they were.
// Whatever happens after extraction, the work directory is cleared and the
// import-running state ends.
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <vector>

#include "dataset/client_table.h"
#include "exchange/exp_imp.h"
#include "exchange/work_snapshot.h"
#include "platform/codepage.h"
#include "records/manage_version.h"
#include "shell/file_dialog.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/system_info.h"
#include "shell/wait_cursor.h"

namespace sarvenu {

namespace {

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
        MessageBox(this, platform::Utf8ToCp932("編集内容を保存してください。"), GetAppTitle(),
                   miWarning, mbOK);
        return;
    }
    // Refused before a file is asked for when clearing the work directory
    // would delete the program's or the data's files.
    TExpImp(*dm_).CheckWorkDirectory();
    TFileDialogCall call{fdOpen,
                         platform::Utf8ToCp932("データ取り込み"),
                         platform::Utf8ToCp932("活用効果調査データ|*.lzh"),
                         "lzh",
                         {}};
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
        MessageBox(this, TExpImp::RecognitionMessage(orderingOffice_), GetAppTitle(), miError,
                   mbOK);
        return;
    }
    // Said when the contractor's sheet is to be taken and the archive has none.
    const auto noSheet = [this] {
        MessageBox(this,
                   platform::Utf8ToCp932("取り込むデータ（［活用効果調査表(3)/"
                                         "請負者・技術開発者提出用］）がありません。"),
                   GetAppTitle(), miError, mbOK);
    };
    const std::string mainFile = files.PathOf(kMainTableFile);
    const std::string refusal = files.Recognise(orderingOffice_);
    if (!refusal.empty()) {
        if (!files.HasFile(kMainTableFile))
            MessageBox(this, refusal, GetAppTitle(), miError, mbOK);
        else if (CheckImportVersion(mainFile, GetAppVersionNumber(exeDir_), messages) && !newWork)
            noSheet();
        return;
    }
    if (!CheckImportVersion(mainFile, GetAppVersionNumber(exeDir_), messages)) return;
    if (!newWork && !files.HasFile(kConTableFile)) {
        noSheet();
        return;
    }

    // The archived tables the import takes, each with its live table.
    std::vector<std::pair<std::string, TClientTable*>> tables;
    if (newWork)
        for (const auto& [file, table] :
             std::initializer_list<std::pair<const char*, TClientTable*>>{
                 {kMainTableFile, &dm_->cdsEV_TBL_MAIN},
                 {"EV_TBL_PLAN_R.cds", &dm_->cdsEV_TBL_PLAN},
                 {"EV_TBL_REPORT_R.cds", &dm_->cdsEV_TBL_REPORT},
                 {"EV_TBL_INV_SECTION_R.cds", &dm_->cdsEV_TBL_INV_SECTION},
                 {"EV_TBL_INV_CHIEF_R.cds", &dm_->cdsEV_TBL_INV_CHIEF}})
            if (files.HasFile(file)) tables.emplace_back(file, table);
    const bool withSheet = files.HasFile(kConTableFile);
    // Everything the import reads is checked before the work is touched or
    // the user asked.
    std::vector<std::string> checked;
    for (const auto& [file, table] : tables) checked.push_back(file);
    if (withSheet) checked.push_back(kConTableFile);
    files.CheckForImport(checked);

    TWorkSnapshot snapshot(*dm_);
    const bool unsavedBefore = HasUnsavedChanges();
    std::string number;
    if (newWork) {
        number = dm_->GetNextConstNo();
    } else {
        const std::string question = platform::Utf8ToCp932(
            "［活用効果調査表(3)/"
            "請負者・技術開発者提出用］を既に作成している場合は上書きされます。\r\n\r\n"
            "この工事情報の［活用効果調査表(3)/請負者・技術開発者提出用］を取り込みますか？");
        if (MessageBox(this, question, GetAppTitle(), miWarning, mbYesNo) != idYes) return;
        number = dm_->cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText();
    }

    wait.emplace();
    snapshot.Keep(number);
    bool writing = false;
    try {
        for (const auto& [file, table] : tables) files.CopyTableForImport(file, *table, number);
        if (withSheet) {
            if (!newWork) {
                dm_->DataDelete(dm_->cdsEV_TBL_INV_CON, "CONST_NO", number);
                dm_->DeleteImg(number);
            }
            TClientTable& temp = dm_->cdsTemp;
            dm_->SetCdsFile(files.PathOf(kConTableFile), temp);
            temp.MoveFirst();
            files.ImportPictures(temp, number);
            dm_->CdsRecordCopy(temp, dm_->cdsEV_TBL_INV_CON, number, "CONST_NO");
            SetPicture();
            AutoCalucation();
            dm_->CdsOutput(temp);
        }
        if (dm_->cdsEV_TBL_MAIN.IsEditing()) dm_->CdsPost();
        // An imported work is saved at once, on disk.
        writing = true;
        dm_->CdsWrite();
    } catch (const std::exception& failure) {
        // The work, its pictures and the list go back to what they were
        // before the failure is reported; a failure to put them back is
        // reported with it.
        std::string notRestored;
        try {
            snapshot.Restore();
        } catch (const std::exception& e) {
            notRestored = e.what();
        }
        if (writing) {
            // Tables the failed write reached get their restored records back
            // on disk. A table that still cannot be written keeps them for the
            // next save; its failure is told unless it is the one reported.
            try {
                dm_->CdsWrite();
            } catch (const EDatabaseError& e) {
                if (std::string(e.what()) != failure.what())
                    notRestored += (notRestored.empty() ? "" : "\r\n") + std::string(e.what());
            }
        }
        SetPicture();
        AutoCalucation();
        if (!unsavedBefore) DataNoEdit();
        dgConstList->RefreshRows();
        if (!notRestored.empty())
            throw std::runtime_error(std::string(failure.what()) + "\r\n\r\n" + notRestored);
        throw;
    }
    DataNoEdit();
    dgConstList->RefreshRows();
    wait.reset();
    if (!newWork)
        MessageBox(this,
                   platform::Utf8ToCp932(
                       "［活用効果調査表(3)/請負者・技術開発者提出用］を取り込みました。"),
                   GetAppTitle(), miInformation, mbOK);
}

}  // namespace sarvenu
