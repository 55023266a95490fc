#include "exchange/exp_imp.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "dataset/client_table.h"
#include "dataset/file_ops.h"
#include "exchange/archive_file.h"
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

std::runtime_error FileError(const char* what, const std::string& path, const std::string& reason) {
    return std::runtime_error(platform::Utf8ToCp932(what) + "\r\n" + platform::Utf8ToCp932(path) +
                              (reason.empty() ? std::string() : "\r\n" + reason));
}

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

namespace {

// The survey tables, the sheets before the main table: they are put back
// while the main table still stands on the work.
std::vector<TClientTable*> SurveyTables(TdmCdsModule& dm) {
    return {&dm.cdsEV_TBL_PLAN,      &dm.cdsEV_TBL_REPORT,  &dm.cdsEV_TBL_INV_SECTION,
            &dm.cdsEV_TBL_INV_CHIEF, &dm.cdsEV_TBL_INV_CON, &dm.cdsEV_TBL_MAIN};
}

}  // namespace

TWorkSnapshot::TWorkSnapshot(TdmCdsModule& dm)
    : dm_(dm), openWork_(dm.cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText()) {}

std::vector<TWorkSnapshot::TRecord> TWorkSnapshot::RecordsOf(TClientTable& table) const {
    std::vector<TRecord> records;
    if (number_.empty()) return records;
    const TField& key = table.FieldNamed("CONST_NO");
    table.ScanAllRecords([&](const TRecordView& view) {
        if (view.Text(key) != number_) return;
        TRecord record;
        for (int i = 0; i < table.FieldTotal(); ++i) record.push_back(view.Text(table.FieldAt(i)));
        records.push_back(std::move(record));
    });
    return records;
}

std::vector<std::string> TWorkSnapshot::PictureNames() const {
    std::vector<std::string> names;
    const std::string number = platform::Cp932ToUtf8(number_);
    if (number.empty()) return names;
    for (const std::string& name : fileops::ListFiles(dm_.Directories().picture, "*.*"))
        if (MatchPictureName(name, number)) names.push_back(name);
    return names;
}

void TWorkSnapshot::Keep(const std::string& workNumber) {
    number_ = workNumber;
    tables_.clear();
    for (TClientTable* table : SurveyTables(dm_)) tables_.emplace_back(table, RecordsOf(*table));
    pictures_.clear();
    const std::string& dir = dm_.Directories().picture;
    for (const std::string& name : PictureNames()) {
        TPictureFile file{name, {}, fileops::IsReadOnly(dir + name)};
        std::string error;
        if (!fileops::ReadFile(dir + name, &file.bytes, &error))
            throw FileError("画像ファイルを読み込めません。", dir + name,
                            platform::Utf8ToCp932(error));
        pictures_.push_back(std::move(file));
    }
}

void TWorkSnapshot::Restore() {
    std::string firstError;
    auto attempt = [&firstError](const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& e) {
            if (firstError.empty()) firstError = e.what();
        }
    };
    TClientTable& main = dm_.cdsEV_TBL_MAIN;
    CloseWithoutSaving(dm_.cdsTemp);
    for (TClientTable* table : SurveyTables(dm_))
        attempt([table] {
            if (table->IsEditing()) table->DiscardRecord();
        });

    auto append = [](TClientTable& table, const TRecord& record) {
        table.StartAppend();
        try {
            for (int i = 0; i < table.FieldTotal() && i < static_cast<int>(record.size()); ++i)
                table.FieldAt(i).SetText(record[i]);
            table.CommitRecord();
        } catch (...) {
            if (table.IsEditing()) table.DiscardRecord();
            throw;
        }
    };
    if (!number_.empty()) {
        // A sheet shows the records of the main table's current work only.
        attempt([&] { main.Locate("CONST_NO", number_); });
        for (auto& [table, records] : tables_) {
            TClientTable& live = *table;
            attempt([&, &records = records] {
                if (RecordsOf(live) == records) return;
                dm_.DataDelete(live, "CONST_NO", number_);
                for (const TRecord& record : records) append(live, record);
            });
            // Adding to a sheet put the main table into editing; nothing of
            // it was changed.
            if (&live != &main)
                attempt([&] {
                    if (main.IsEditing()) main.DiscardRecord();
                });
        }
    }
    if (!openWork_.empty()) attempt([&] { main.Locate("CONST_NO", openWork_); });

    const std::string& dir = dm_.Directories().picture;
    for (const std::string& name : PictureNames()) {
        bool kept = false;
        for (const TPictureFile& file : pictures_) kept = kept || file.name == name;
        std::string error;
        if (!kept && !fileops::DeleteFile(dir + name, &error) && firstError.empty())
            firstError = FileError("画像ファイルを削除できません。", dir + name,
                                   platform::Utf8ToCp932(error))
                             .what();
    }
    for (const TPictureFile& file : pictures_) {
        const std::string path = dir + file.name;
        std::string bytes, error;
        const bool same = fileops::ReadFile(path, &bytes) && bytes == file.bytes &&
                          fileops::IsReadOnly(path) == file.readOnly;
        if (same) continue;
        if (fileops::FileExists(path)) fileops::SetReadOnly(path, false);
        bool written = fileops::WriteFileAtomic(path, file.bytes, &error);
        if (written && file.readOnly) written = fileops::SetReadOnly(path, true, &error);
        if (!written && firstError.empty())
            firstError =
                FileError("画像ファイルを元に戻せません。", path, platform::Utf8ToCp932(error))
                    .what();
    }
    if (!firstError.empty()) throw std::runtime_error(firstError);
}

}  // namespace sarvenu
