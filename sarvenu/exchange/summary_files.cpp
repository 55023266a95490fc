#include "exchange/summary_files.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "dataset/client_table.h"
#include "exchange/exp_imp.h"
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "records/manage_version.h"
#include "records/schema.h"
#include "records/settings.h"
#include "records/table_health.h"
#include "report/summary_source.h"

namespace sarvenu {

namespace fs = std::filesystem;

namespace {

std::string WithSlash(const std::string& directory) {
    if (directory.empty()) return "./";
    return directory.back() == '/' ? directory : directory + "/";
}

std::string Cp932(const char* utf8) {
    return platform::Utf8ToCp932(utf8);
}

// A CP932 message naming a file, with the system's reason on a line of its own.
std::string Naming(const char* what, const std::string& path, const std::string& reason = {}) {
    return Cp932(what) + "\r\n" + platform::Utf8ToCp932(path) +
           (reason.empty() ? std::string() : "\r\n" + reason);
}

// The same selection of the mode as the main window: USR_ID 101, written as a
// whole number, is the ordering office.
bool OrderingOfficeOf(const std::string& exeDir) {
    const std::string userId = ReadSetting(exeDir, "MAIN", "USR_ID");
    char* end = nullptr;
    const long id = std::strtol(userId.c_str(), &end, 10);
    return !userId.empty() && end && *end == '\0' && id == 101;
}

// Closes the tables it holds without writing them, however reading ends.
class TReadOnlyTables {
  public:
    TReadOnlyTables() = default;
    ~TReadOnlyTables() {
        for (auto& table : tables_)
            if (table) CloseWithoutSaving(*table);
    }
    TReadOnlyTables(const TReadOnlyTables&) = delete;
    TReadOnlyTables& operator=(const TReadOnlyTables&) = delete;

    // Opens the file as the table at index; raises what the open raises.
    TClientTable& Open(int index, const std::string& path) {
        auto table = std::make_unique<TClientTable>();
        table->SetFileName(path);
        table->OpenTable();
        tables_[index] = std::move(table);
        return *tables_[index];
    }
    void Drop(int index) {
        if (tables_[index]) CloseWithoutSaving(*tables_[index]);
        tables_[index].reset();
    }
    TSummaryTables Pointers() const {
        TSummaryTables pointers{};
        for (int i = 0; i < kSummaryTableCount; ++i) pointers[i] = tables_[i].get();
        return pointers;
    }

  private:
    std::array<std::unique_ptr<TClientTable>, kSummaryTableCount> tables_;
};

// The data store needs a window only for date entries and error boxes, which
// reading submission files never reaches.
class TWindowlessHost : public TCdsModuleHost {
  public:
    std::string DateEntryText(TDateEntry) override { return {}; }
    void DataEdit() override {}
    void ShowErrorBox(const std::string&, const std::string&) override {}
};

// Where the scratch directory goes: the user's TMPDIR when set, else the
// shared memory file system when there is one. The archiver syncs every file
// it extracts, which on a disk costs more than reading the whole file.
fs::path ScratchParent() {
    std::error_code error;
    const char* chosen = std::getenv("TMPDIR");
    if ((!chosen || !*chosen) && fs::is_directory("/dev/shm", error) &&
        access("/dev/shm", W_OK | X_OK) == 0)
        return "/dev/shm";
    return fs::temp_directory_path(error);
}

// A throw-away installation for the import's file work: a settings file
// naming its work directory, and no tables. Removed with everything in it.
class TScratchStore {
  public:
    TScratchStore() {
        std::error_code error;
        std::string pattern = (ScratchParent() / "sarvenu-summary-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw ESummarySource(
                Naming("作業用フォルダを作成できません。", pattern, Cp932(std::strerror(errno))));
        root_ = pattern + "/";
        for (const char* dir : {"ini", "cds", "org", "html", "img", "work"})
            fs::create_directories(root_ + dir, error);
        std::ofstream settings(SettingsPath(root_), std::ios::binary);
        settings << "[MAIN]\r\nCDS_DIR=cds\r\nCDS_TMP_DIR=work\r\nCDS_ORG_DIR=org\r\n"
                    "HTML_DIR=html\r\nIMG_DIR=img\r\n";
        settings.close();
        if (!settings)
            throw ESummarySource(Naming("作業用フォルダに書き込めません。", SettingsPath(root_)));
        store_ = std::make_unique<TdmCdsModule>(host_, root_);
    }
    ~TScratchStore() {
        store_.reset();
        std::error_code error;
        fs::remove_all(root_, error);
    }
    TScratchStore(const TScratchStore&) = delete;
    TScratchStore& operator=(const TScratchStore&) = delete;

    TdmCdsModule& Store() { return *store_; }

    // Empties the work directory by making it anew, so that nothing of the
    // previous file is left in it.
    void FreshWorkDirectory() {
        const std::string work = store_->Directories().work;
        std::error_code error;
        fs::remove_all(work, error);
        if (!fs::create_directories(work, error))
            throw ESummarySource(Naming("作業用フォルダを作成できません。", work,
                                        platform::Utf8ToCp932(error.message())));
    }

  private:
    std::string root_;
    TWindowlessHost host_;
    std::unique_ptr<TdmCdsModule> store_;
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Reads one submission file into works with the import's checks, in the
// import's order; the reason it is refused (CP932), or empty.
std::string ReadSubmission(TScratchStore& scratch, const std::string& archive,
                           const std::string& appVersionNumber, std::vector<TSummaryWork>* works,
                           std::string* notice) {
    // The import cannot tell a file it may not read from a broken one; the
    // user is told which it is.
    if (!std::ifstream(archive, std::ios::binary))
        return Cp932("ファイルを読み込めません。") + "\r\n" + Cp932(std::strerror(errno));
    scratch.FreshWorkDirectory();
    TExpImp files(scratch.Store());
    if (!files.Extract(archive)) return TExpImp::RecognitionMessage(true);

    // The main table is checked before its version is read: a damaged or
    // empty file would otherwise read as data of the oldest version.
    if (!files.HasFile(kMainTableFile)) return files.Recognise(true);
    files.CheckForImport({kMainTableFile});
    std::string refusal;
    const TVersionMessages messages{
        [&refusal](const std::string& text) { refusal = text; },
        // Only its first line: the summary upgrades nothing.
        [notice](const std::string& text) { *notice = text.substr(0, text.find("\r\n")); }};
    if (!CheckImportVersion(files.PathOf(kMainTableFile), appVersionNumber, messages))
        return refusal;
    const std::string recognition = files.Recognise(true);
    if (!recognition.empty()) return recognition;

    std::vector<std::string> sheets;
    for (const char* name : kSheetTableFiles)
        if (files.HasFile(name)) sheets.push_back(name);
    files.CheckForImport(sheets);

    TReadOnlyTables tables;
    tables.Open(0, files.PathOf(kMainTableFile));
    for (int i = 0; i < kSummaryTableCount - 1; ++i)
        if (files.HasFile(kSheetTableFiles[i]))
            tables.Open(i + 1, files.PathOf(kSheetTableFiles[i]));
    std::vector<TSummaryWork> read = ReadSummaryWorks(tables.Pointers(), true);
    // The import takes the first record of the main table: one work a file.
    if (!read.empty()) works->push_back(std::move(read.front()));
    return {};
}

}  // namespace

bool IsInstallation(const std::string& directory) {
    std::error_code error;
    return fs::is_regular_file(SettingsPath(WithSlash(directory)), error);
}

std::vector<std::string> SubmissionFilesIn(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code kind;
        if (!entries->is_regular_file(kind)) continue;
        std::string extension = entries->path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == ".lzh") found.push_back(entries->path().string());
    }
    if (error)
        throw ESummarySource(
            Naming("フォルダを読み込めません。", folder, platform::Utf8ToCp932(error.message())));
    std::sort(found.begin(), found.end());
    return found;
}

TSummaryFiles SummariseFolder(const std::string& folder, const std::string& appVersionNumber,
                              const TSummaryProgress& progress) {
    const std::vector<std::string> archives = SubmissionFilesIn(folder);
    TSummaryFiles result;
    if (archives.empty()) return result;
    TScratchStore scratch;
    // The import's messages name extracted files by their scratch path; the
    // user knows them by their names in the archive.
    const std::string work = platform::Utf8ToCp932(scratch.Store().Directories().work);
    for (size_t i = 0; i < archives.size(); ++i) {
        const std::string& archive = archives[i];
        if (progress) progress(i + 1, archives.size(), archive);
        std::string reason, notice;
        try {
            reason = ReadSubmission(scratch, archive, appVersionNumber, &result.works, &notice);
        } catch (const ESummarySource&) {
            throw;
        } catch (const std::exception& e) {
            reason = e.what();
            if (reason.empty()) reason = TExpImp::RecognitionMessage(true);
        }
        if (!reason.empty())
            result.failures.push_back({archive, Replaced(reason, work, "")});
        else if (!notice.empty())
            result.notices.push_back({archive, notice});
    }
    scratch.FreshWorkDirectory();
    return result;
}

TSummaryFiles SummariseInstallation(const std::string& directory,
                                    const TSummaryProgress& progress) {
    const std::string exeDir = WithSlash(directory);
    if (!IsInstallation(exeDir))
        throw ESummarySource(Naming("設定ファイルがありません。", SettingsPath(exeDir)));
    const TDirectories dirs = ResolveDirectories(exeDir);
    TSummaryFiles result;
    TReadOnlyTables tables;
    for (int i = 0; i < kSummaryTableCount; ++i) {
        const TTableDef& def = TableDef(static_cast<TTableId>(i));
        const std::string path = dirs.table + def.FileName();
        if (progress) progress(static_cast<size_t>(i) + 1, kSummaryTableCount, path);
        std::string reason;
        try {
            reason = CheckTableLayout(tables.Open(i, path), def);
        } catch (const std::exception& e) {
            reason = OpenFailureReason(path, e.what());
        }
        if (reason.empty()) continue;
        tables.Drop(i);
        // Without the main table there is no work to summarise.
        if (i == 0) throw ESummarySource(Naming("テーブルファイルを開けません。", path, reason));
        result.failures.push_back({path, reason});
    }
    try {
        result.works = ReadSummaryWorks(tables.Pointers(), OrderingOfficeOf(exeDir));
    } catch (const std::exception& e) {
        throw ESummarySource(Naming("テーブルファイルを読み込めません。", dirs.table, e.what()));
    }
    return result;
}

}  // namespace sarvenu
