// Installing table files that an update left in the table directory under
// the table's name with a leading "_". Code tables are replaced as they come;
// survey tables keep their records, copied by column position into the new
// layout. The current file is only ever replaced as a whole, so an
// interrupted or failed installation leaves it in use as it was, and the
// pending file stays untouched for the next start.
#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "records/cds_module.h"

namespace sarvenu {

void TdmCdsModule::InstallPendingFiles(const std::string& directory) {
    for (const std::string& name : fileops::ListFiles(directory, "_*.*"))
        InstallPendingFile(directory, name);
}

void TdmCdsModule::InstallPendingFile(const std::string& directory,
                                      const std::string& pendingName) {
    const std::string pendingPath = directory + pendingName;
    if (!fileops::FileExists(pendingPath) || pendingName.size() < 2) return;
    const std::string targetName = pendingName.substr(1);

    std::string targetPath;
    for (const std::string& found : fileops::ListFiles(directory, targetName)) {
        targetPath = directory + found;
        break;
    }
    if (targetPath.empty()) {
        InstallFailed();
        return;
    }
    fileops::SetReadOnly(targetPath, false);

    bool installed;
    if (targetName.find("_TBL_") != std::string::npos)
        installed = MergeSurveyTable(targetPath, pendingPath);
    else
        installed = fileops::CopyFile(pendingPath, targetPath, false);
    if (!installed) {
        InstallFailed();
        return;
    }
    // Should the pending file stay behind, the next start installs it again
    // from the already installed file, with the same result.
    fileops::DeleteFile(pendingPath);
}

bool TdmCdsModule::MergeSurveyTable(const std::string& targetPath, const std::string& pendingPath) {
    bool merged = false;
    try {
        SetCdsFile(targetPath, cdsTemp);
        SetCdsFile(pendingPath, cdsTemp2);
        cdsTemp.MoveFirst();
        const uint32_t total = cdsTemp.RecordTotal();
        for (uint32_t i = 0; i < total; ++i) {
            CdsRecordCopy(cdsTemp, cdsTemp2, cdsTemp.FieldNamed("CONST_NO").GetText(), "CONST_NO");
            cdsTemp.MoveNext();
        }
        // The merged table replaces the current file in one step.
        cdsTemp2.SaveToPath(targetPath);
        merged = true;
    } catch (const std::exception&) {
        merged = false;
    }
    CloseWithoutSaving(cdsTemp);
    CloseWithoutSaving(cdsTemp2);
    cdsTemp.SetFileName({});
    cdsTemp2.SetFileName({});
    return merged;
}

void TdmCdsModule::InstallFailed() {
    host_.ShowErrorBox(
        ReadSetting(exeDir_, "MAIN", "APP_TITLE"),
        platform::Utf8ToCp932(
            "ファイルのインストールが不完全です。\r\n入力システムを再インストールして下さい。"));
}

}  // namespace sarvenu
