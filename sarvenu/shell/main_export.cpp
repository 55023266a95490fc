// Writing a submission file of the open work: the sheet choice, the checks
// of every sheet that goes in, the one-record tables and pictures in the work
// directory, and the LZH archive the user names.
#include <filesystem>

#include "exchange/exp_imp.h"
#include "platform/codepage.h"
#include "records/manage_version.h"
#include "shell/export_dialog.h"
#include "shell/file_dialog.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/system_info.h"
#include "shell/wait_cursor.h"

namespace sarvenu {

namespace {

struct TExportSheet {
    TTableId table;
    const char* file;
    bool (*check)(TCheckHost&);
};
const TExportSheet kExportSheets[kExportSheetCount] = {
    {TTableId::Plan, "EV_TBL_PLAN_R.cds", CheckPlanSheet},
    {TTableId::Report, "EV_TBL_REPORT_R.cds", CheckReportSheet},
    {TTableId::InvSection, "EV_TBL_INV_SECTION_R.cds", CheckSectionSheet},
    {TTableId::InvChief, "EV_TBL_INV_CHIEF_R.cds", CheckChiefSheet},
    {TTableId::InvCon, "EV_TBL_INV_CON_R.cds", CheckConSheet}};
constexpr int kContractorSheet = 4;

}  // namespace

bool TfrmMain::ManageExport() {
    TfrmExp dialog(this, exportChoices_);
    if (dialog.Run() != QDialog::Accepted) return false;
    exportChoices_ = dialog.Choices();
    return true;
}

std::string TfrmMain::GetDocInfo() const {
    return orderingOffice_ ? std::string() : platform::Utf8ToCp932("_様式Ⅳ-8-3");
}

void TfrmMain::btnExpClick() {
    if (HasUnsavedChanges()) {
        MessageBox(this, platform::Utf8ToCp932("編集内容を保存してください。"), GetAppTitle(),
                   miWarning, mbOK);
        return;
    }
    TClientTable& main = dm_->cdsEV_TBL_MAIN;
    const std::string stem =
        main.FieldNamed("CON_NAME").GetText() + "_" + main.FieldNamed("TECH_TITLE").GetText();
    const std::string number = main.FieldNamed("CONST_NO").GetText();
    TExpImp files(*dm_);
    files.CheckWorkDirectory();
    files.ClearWorkDirectory();

    TExportChoices chosen{};
    if (orderingOffice_) {
        if (!ManageExport()) return;
        chosen = exportChoices_;
        bool any = false;
        for (bool choice : chosen) any = any || choice;
        if (!any) return;
    } else {
        chosen[kContractorSheet] = true;
    }
    if (!CheckMainItems(*this)) return;

    files.CopyTableForExport(main, kMainTableFile, number);
    SetRegVersion(dm_->cdsTemp, files.WorkDirectory() + kMainTableFile,
                  GetAppVersionNumber(exeDir_));
    for (int i = 0; i < kExportSheetCount; ++i) {
        if (!chosen[i]) continue;
        const TExportSheet& sheet = kExportSheets[i];
        if (!sheet.check(*this)) return;
        files.CopyTableForExport(SheetTable(sheet.table), sheet.file, number);
        if (i == kContractorSheet) files.CopyPicturesForExport();
    }

    TFileDialogCall call{fdSave, platform::Utf8ToCp932("提出用ファイル作成"),
                         platform::Utf8ToCp932("活用効果調査データ|*.lzh"), "lzh",
                         platform::Cp932ToUtf8(stem + GetDocInfo())};
    if (const std::optional<std::string> path = FileDialog(this, call)) {
        bool packed = false;
        std::string message;
        try {
            TWaitCursor wait;
            packed = files.Pack(*path);
            const std::string directory = std::filesystem::path(*path).parent_path().string() + "/";
            message = "\"" + platform::Utf8ToCp932(directory) + "\"" +
                      platform::Utf8ToCp932("にファイル") + "\"" + platform::Utf8ToCp932(*path) +
                      "\"" + platform::Utf8ToCp932("をエクスポートしました。");
        } catch (const std::exception&) {
            packed = false;
        }
        if (packed)
            MessageBox(this, message, GetAppTitle(), miInformation, mbOK);
        else
            MessageBox(this, platform::Utf8ToCp932("エクスポートに失敗しました。"), GetAppTitle(),
                       miError, mbOK);
    }
    files.ClearWorkDirectory();
}

}  // namespace sarvenu
