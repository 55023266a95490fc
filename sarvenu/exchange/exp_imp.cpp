#include "exchange/exp_imp.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>

#include "dataset/client_table.h"
#include "dataset/file_ops.h"
#include "exchange/archive_file.h"
#include "exchange/file_error.h"
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "records/picture_names.h"

namespace sarvenu {

namespace {

// The extension of a file name including its dot, or empty.
std::string Extension(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

}  // namespace

TExpImp::TExpImp(TdmCdsModule& dm) : dm_(dm), work_(dm.Directories().work) {}

namespace {

// True when dir is other or one of its parents.
bool IsSameOrParent(const std::filesystem::path& dir, const std::filesystem::path& other) {
    auto d = dir.begin();
    auto o = other.begin();
    for (; d != dir.end(); ++d, ++o) {
        if (d->empty()) continue;  // the empty element after a closing separator
        if (o == other.end() || *d != *o) return false;
    }
    return true;
}

std::filesystem::path Normal(const std::string& directory) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::weakly_canonical(
        std::filesystem::absolute(directory.empty() ? "." : directory, error), error);
    return path.lexically_normal();
}

}  // namespace

bool TExpImp::WorkDirectoryIsSafe() const {
    if (work_.empty()) return false;
    const std::filesystem::path work = Normal(work_);
    if (work == work.root_path()) return false;
    const TDirectories& dirs = dm_.Directories();
    for (const std::string* kept :
         {&dirs.exe, &dirs.table, &dirs.emptyTable, &dirs.templates, &dirs.picture})
        if (!kept->empty() && IsSameOrParent(work, Normal(*kept))) return false;
    return true;
}

void TExpImp::CheckWorkDirectory() const {
    if (WorkDirectoryIsSafe()) return;
    throw std::runtime_error(
        platform::Utf8ToCp932("作業用フォルダ（CDS_TMP_DIR）の設定が正しくありません。\r\n") +
        platform::Utf8ToCp932(work_) +
        platform::Utf8ToCp932("\r\n\r\n作業用フォルダの中のファイルはすべて削除されるため、"
                              "プログラム、データ、写真などのフォルダやその上のフォルダは"
                              "使えません。設定ファイルの CDS_TMP_DIR に専用のフォルダを指定して"
                              "下さい。"));
}

void TExpImp::ClearWorkDirectory() {
    if (!WorkDirectoryIsSafe()) return;
    for (const std::string& name : fileops::ListFiles(work_, "*")) {
        fileops::SetReadOnly(work_ + name, false);
        fileops::DeleteFile(work_ + name);
    }
}

void TExpImp::CopyTableForExport(TClientTable& live, const std::string& fileName,
                                 const std::string& workNumber) {
    const std::string empty = dm_.Directories().emptyTable + fileName;
    const std::string target = work_ + fileName;
    if (fileops::FileExists(empty)) fileops::CopyFile(empty, target, false);
    TClientTable& temp = dm_.cdsTemp;
    if (!dm_.SetCdsFile(target, temp))
        throw std::runtime_error(platform::Utf8ToCp932("テーブルファイルを開けません。\r\n") +
                                 platform::Utf8ToCp932(target));
    dm_.CdsRecordCopy(live, temp, workNumber, "CONST_NO");
    dm_.CdsOutput(temp);
}

void TExpImp::CopyPicturesForExport() {
    const std::string& pictures = dm_.Directories().picture;
    for (const char* slot : {"A", "B", "C"}) {
        const std::string value = platform::Cp932ToUtf8(
            dm_.cdsEV_TBL_INV_CON.FieldNamed(std::string("FILE_NAME_") + slot).GetText());
        if (value.empty()) continue;
        const std::string name = FileNamePart(value);
        if (fileops::FileExists(pictures + name))
            fileops::CopyFile(pictures + name, work_ + name, false);
    }
}

bool TExpImp::Pack(const std::string& archivePath) {
    static std::atomic<int> serial{0};
    const std::string temporary =
        archivePath + "." + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".tmp.lzh";
    fileops::DeleteFile(temporary);
    TArchiveFile archive;
    archive.SetFileName(temporary);
    archive.Options().x = 0;
    archive.Options().n = 1;
    const TStringList files = {work_ + "*.*"};
    int result = -1;
    try {
        result = archive.Pack(nullptr, "", &files);
    } catch (...) {
        fileops::DeleteFile(temporary);
        throw;
    }
    if (result != 0 || !fileops::FileExists(temporary)) {
        fileops::DeleteFile(temporary);
        return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, archivePath, error);
    if (error) {
        fileops::DeleteFile(temporary);
        return false;
    }
    return true;
}

bool TExpImp::Extract(const std::string& archivePath) {
    TArchiveFile archive;
    archive.SetFileName(archivePath);
    archive.SetArchiverType(atLha);
    archive.Options().x = 1;
    archive.Options().n = 1;
    // The archiver is given the directory without its closing separator.
    const std::string directory =
        work_.size() > 1 && work_.back() == '/' ? work_.substr(0, work_.size() - 1) : work_;
    return archive.Extract(nullptr, directory, nullptr) == 0;
}

std::string TExpImp::FindFile(const std::string& fileName) const {
    if (fileName.empty()) return {};
    if (fileops::FileExists(work_ + fileName)) return fileName;
    for (const std::string& name : fileops::ListFiles(work_, "*"))
        if (SameFileName(name, fileName)) return name;
    return {};
}

bool TExpImp::HasFile(const std::string& fileName) const {
    return !FindFile(fileName).empty();
}

std::string TExpImp::PathOf(const std::string& fileName) const {
    const std::string found = FindFile(fileName);
    return work_ + (found.empty() ? fileName : found);
}

std::string TExpImp::RecognitionMessage(bool orderingMode) {
    return platform::Utf8ToCp932(
        orderingMode ? "活用効果調査データとして認識できません。"
                     : "請負者・技術開発者用の活用効果調査データとして認識できません。");
}

std::string TExpImp::Recognise(bool orderingMode) const {
    bool accepted = HasFile(kMainTableFile);
    if (orderingMode) {
        bool sheet = false;
        for (const char* name : kSheetTableFiles) sheet = sheet || HasFile(name);
        accepted = accepted && sheet;
    } else {
        accepted = accepted && HasFile(kConTableFile);
    }
    return accepted ? std::string() : RecognitionMessage(orderingMode);
}

namespace {

// Closes the scratch table unwritten when a check ends, however it ends.
class TCloseUnwritten {
  public:
    explicit TCloseUnwritten(TClientTable& table) : table_(table) {}
    ~TCloseUnwritten() { CloseWithoutSaving(table_); }
    TCloseUnwritten(const TCloseUnwritten&) = delete;
    TCloseUnwritten& operator=(const TCloseUnwritten&) = delete;

  private:
    TClientTable& table_;
};

const char* const kPictureSlots[] = {"A", "B", "C"};

}  // namespace

void TExpImp::CheckForImport(const std::vector<std::string>& tableFiles) {
    TClientTable& temp = dm_.cdsTemp;
    for (const std::string& fileName : tableFiles) {
        const std::string path = PathOf(fileName);
        TCloseUnwritten close(temp);
        try {
            if (!dm_.SetCdsFile(path, temp))
                throw FileError("テーブルファイルを開けません。", path, {});
        } catch (const EDatabaseError& e) {
            throw FileError("テーブルファイルを開けません。", path, e.what());
        }
        if (temp.IsEmpty()) throw FileError("テーブルファイルにレコードがありません。", path, {});
        if (!SameFileName(fileName, kConTableFile)) continue;
        temp.MoveFirst();
        for (const char* slot : kPictureSlots) {
            const std::string value =
                platform::Cp932ToUtf8(temp.FieldNamed(std::string("FILE_NAME_") + slot).GetText());
            const std::string found = FindFile(FileNamePart(value));
            if (value.empty() || found.empty()) continue;
            std::string bytes, error;
            if (!fileops::ReadFile(work_ + found, &bytes, &error))
                throw FileError("画像ファイルを読み込めません。", work_ + found,
                                platform::Utf8ToCp932(error));
        }
    }
}

void TExpImp::CopyTableForImport(const std::string& fileName, TClientTable& live,
                                 const std::string& workNumber) {
    TClientTable& temp = dm_.cdsTemp;
    const std::string path = PathOf(fileName);
    if (!dm_.SetCdsFile(path, temp)) throw FileError("テーブルファイルを開けません。", path, {});
    temp.MoveFirst();
    dm_.CdsRecordCopy(temp, live, workNumber, "CONST_NO");
    dm_.CdsOutput(temp);
}

void TExpImp::ImportPictures(TClientTable& temp, const std::string& workNumber) {
    const std::string& pictures = dm_.Directories().picture;
    const std::string number = platform::Cp932ToUtf8(workNumber);
    for (const char* slot : kPictureSlots) {
        TField& field = temp.FieldNamed(std::string("FILE_NAME_") + slot);
        const std::string value = platform::Cp932ToUtf8(field.GetText());
        if (value.empty()) continue;
        const std::string found = FindFile(FileNamePart(value));
        if (!temp.IsEditing()) temp.StartEdit();
        if (found.empty()) {
            field.SetText("");
            continue;
        }
        const std::string name = number + slot + Extension(FileNamePart(value));
        field.SetText(platform::Utf8ToCp932(name));
        fileops::DeleteFile(pictures + name);
        std::string error;
        if (!fileops::CopyFile(work_ + found, pictures + name, false, &error))
            throw FileError("画像ファイルを複写できません。", pictures + name,
                            platform::Utf8ToCp932(error));
    }
    if (temp.IsEditing()) temp.CommitRecord();
}

}  // namespace sarvenu
