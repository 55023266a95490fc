// Settling the pending picture files of a work with its record after a save
// or a cancel, and removing a deleted work's pictures.
#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "records/picture_names.h"

namespace sarvenu {

namespace {

// Moves source over target; the target is replaced in one step, and the
// source goes only once the target is in place.
bool ReplaceFile(const std::string& source, const std::string& target) {
    if (fileops::FileExists(target)) fileops::SetReadOnly(target, false);
    if (!fileops::CopyFile(source, target, false)) return false;
    return fileops::DeleteFile(source);
}

}  // namespace

void TdmCdsModule::DecideImg() {
    const std::string workNumber =
        platform::Cp932ToUtf8(cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText());
    if (!workNumber.empty()) {
        const std::string& dir = dirs_.picture;
        for (const std::string& name : fileops::ListFiles(dir, "_*.*")) {
            TPictureName picture;
            if (!MatchPictureName(name, workNumber, &picture) || !picture.pending) continue;
            const std::string field = std::string("FILE_NAME_") + picture.slot;
            const std::string finalName = name.substr(1);
            const std::string stored =
                FileNamePart(platform::Cp932ToUtf8(cdsEV_TBL_INV_CON.FieldNamed(field).GetText()));
            if (stored.empty()) {
                // The picture was cleared and the clearing stands.
                fileops::DeleteFile(dir + name);
            } else if (SameFileName(stored, name) || SameFileName(stored, finalName)) {
                // A newly chosen picture becomes the saved one; a cleared one
                // whose clearing was cancelled comes back.
                // The record names the saved file only once it is in place;
                // until then it keeps naming the pending one.
                if (ReplaceFile(dir + name, dir + finalName) && SameFileName(stored, name))
                    SetValue(cdsEV_TBL_INV_CON, field, platform::Utf8ToCp932(finalName));
            } else {
                // The slot now holds another picture; this one is left over.
                fileops::DeleteFile(dir + name);
            }
        }
    }
    CdsPost();
}

void TdmCdsModule::DeleteImg(const std::string& workNumber) {
    const std::string number = platform::Cp932ToUtf8(workNumber);
    if (number.empty()) return;
    for (const std::string& name : fileops::ListFiles(dirs_.picture, "*.*"))
        if (MatchPictureName(name, number)) fileops::DeleteFile(dirs_.picture + name);
}

}  // namespace sarvenu
