// Settling the pending picture files of a work with its record after a save
// or a cancel, and removing a deleted work's pictures. Clearing or replacing
// a saved picture leaves its file alone until the save that makes it
// unnamed has reached the disk, so abandoning always finds it unchanged.
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

// True when the directory holds a file of this name, letter case ignored as
// the record's names are compared.
bool HasFileNamed(const std::string& dir, const std::string& name) {
    for (const std::string& present : fileops::ListFiles(dir, "*.*"))
        if (SameFileName(present, name)) return true;
    return false;
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
            if (!stored.empty() && SameFileName(stored, name)) {
                // The record names the newly chosen picture: it becomes the
                // saved one. The record names the saved file only once it is
                // in place; until then it keeps naming the pending one.
                if (ReplaceFile(dir + name, dir + finalName))
                    SetValue(cdsEV_TBL_INV_CON, field, platform::Utf8ToCp932(finalName));
            } else if (!stored.empty() && SameFileName(stored, finalName) &&
                       !HasFileNamed(dir, finalName)) {
                // A saved picture set aside by an earlier release's clearing,
                // whose record still names it: it comes back.
                ReplaceFile(dir + name, dir + finalName);
            } else {
                // A choice that was abandoned or replaced: the saved picture,
                // if any, was never touched.
                fileops::DeleteFile(dir + name);
            }
        }
    }
    CdsPost();
}

void TdmCdsModule::DropUnusedImg() {
    const std::string workNumber =
        platform::Cp932ToUtf8(cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText());
    // Only with the work's own contractor record at hand: an empty slot of
    // some other record must not drop this work's pictures.
    if (workNumber.empty() || !cdsEV_TBL_INV_CON.Active() || cdsEV_TBL_INV_CON.IsEmpty() ||
        platform::Cp932ToUtf8(cdsEV_TBL_INV_CON.FieldNamed("CONST_NO").GetText()) != workNumber)
        return;
    const std::string& dir = dirs_.picture;
    for (const std::string& name : fileops::ListFiles(dir, "*.*")) {
        TPictureName picture;
        if (!MatchPictureName(name, workNumber, &picture) || picture.pending) continue;
        const std::string field = std::string("FILE_NAME_") + picture.slot;
        const std::string stored =
            FileNamePart(platform::Cp932ToUtf8(cdsEV_TBL_INV_CON.FieldNamed(field).GetText()));
        // Cleared, or replaced by a picture of another extension.
        if (!SameFileName(stored, name)) {
            fileops::SetReadOnly(dir + name, false);
            fileops::DeleteFile(dir + name);
        }
    }
}

void TdmCdsModule::DeleteImg(const std::string& workNumber) {
    const std::string number = platform::Cp932ToUtf8(workNumber);
    if (number.empty()) return;
    for (const std::string& name : fileops::ListFiles(dirs_.picture, "*.*"))
        if (MatchPictureName(name, number)) fileops::DeleteFile(dirs_.picture + name);
}

}  // namespace sarvenu
