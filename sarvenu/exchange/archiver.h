// TArchiver, the base of the wrappers that each drive one outside archiver
// library: it turns an operation and its options into the library's command
// line, sends it through the library's command entry and hands the result
// back uninterpreted. The text of the last command line sent is kept. The
// calls every wrapper shares (binding the library, the archive-handle
// entries, the command entry) are made here from the library's name and the
// prefix of its entry names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archivers/archiver_api.h"
#include "exchange/archiver_library.h"
#include "exchange/archiver_options.h"

namespace sarvenu {

// The archive kinds, in this order.
enum TArchiverType { atLha, atZip, atCab, atArj, atTar, atTgz, atNone, atAutoDetect };

class TArchiver {
  public:
    virtual ~TArchiver() = default;
    TArchiver(const TArchiver&) = delete;
    TArchiver& operator=(const TArchiver&) = delete;

    // Binds the library, loading it at its first need; raises the kind's
    // missing-library message when it cannot be loaded.
    virtual void LoadLibrary();
    // Forgets the binding; the library itself stays loaded for the rest of the run.
    virtual void UnloadLibrary();
    // A handle when the library accepts the file as an archive of its kind
    // (the path is handed over absolute).
    ArchiveHandle OpenArchive(ArchiverWindow window, const std::string& archive, uint32_t mode);
    void CloseArchive(ArchiveHandle handle);
    int FindFirst(ArchiveHandle handle, const std::string& wildcard, ArchiveEntryInfo* entry);
    int FindNext(ArchiveHandle handle, ArchiveEntryInfo* entry);
    virtual std::string MakeCommandLine(const std::string& command, const std::string& archive,
                                        const TArchiverOptions& options,
                                        const std::string& directory, const TStringList* files) = 0;
    virtual int Extract(ArchiverWindow window, const std::string& archive,
                        TArchiverOptions& options, const std::string& directory,
                        const TStringList* files) = 0;
    virtual int Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                     const std::string& directory, const TStringList* files) = 0;
    // Raises "この形式の書庫ではファイルの削除をサポートしておりません。".
    virtual int Delete(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                       const std::string& directory, const TStringList* files);
    virtual int MakeSfx(ArchiverWindow window, const std::string& archive,
                        TArchiverOptions& options) = 0;

    const std::string& LastCommandLine() const { return lastCommandLine_; }

  protected:
    // The library a wrapper drives: its file name, the prefix of its entry
    // names (the command entry is the prefix itself: "Tar", "TarOpenArchive",
    // "TarCloseArchive", "TarFindFirst", "TarFindNext") and the message
    // raised when it is missing.
    struct TLibraryInfo {
        const char* libraryName;
        const char* entryPrefix;
        std::string_view missingMessage;
    };
    explicit TArchiver(const TLibraryInfo& info) : info_(info) {}

    // An archive-handle entry by its suffix ("OpenArchive"); raises the
    // missing-entry message when the library lacks it.
    virtual void* HandleEntry(const std::string& suffix);
    // Records the line and sends it through the library's command entry.
    int SendCommand(ArchiverWindow window, const std::string& line);
    // Records the line and sends it through a command entry (no output buffer).
    int Send(ArchiverCommandProc entry, ArchiverWindow window, const std::string& line);

    std::string lastCommandLine_;

  private:
    TLibraryInfo info_;
    TArchiverLibrary* library_ = nullptr;
};

// The absolute form of a path (relative paths are taken from the current directory).
std::string AbsolutePath(const std::string& path);

}  // namespace sarvenu
