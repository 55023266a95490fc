// TArchiver, the base of the wrappers that each drive one outside archiver
// library: it turns an operation and its options into the library's command
// line, sends it through the library's command entry and hands the result
// back uninterpreted. The text of the last command line sent is kept.
#pragma once

#include <cstdint>
#include <string>

#include "exchange/archiver_api.h"
#include "exchange/archiver_options.h"

namespace sarvenu {

// The archive kinds, in this order.
enum TArchiverType { atLha, atZip, atCab, atArj, atTar, atTgz, atNone, atAutoDetect };

class TArchiver {
  public:
    virtual ~TArchiver() = default;
    TArchiver(const TArchiver&) = delete;
    TArchiver& operator=(const TArchiver&) = delete;

    virtual void LoadLibrary() = 0;
    virtual void UnloadLibrary() = 0;
    // A handle when the library accepts the file as an archive of its kind.
    virtual ArchiveHandle OpenArchive(ArchiverWindow window, const std::string& archive,
                                      uint32_t mode);
    virtual void CloseArchive(ArchiveHandle handle);
    virtual int FindFirst(ArchiveHandle handle, const std::string& wildcard,
                          ArchiveEntryInfo* entry);
    virtual int FindNext(ArchiveHandle handle, ArchiveEntryInfo* entry);
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
    TArchiver() = default;
    // Records the line and sends it through a command entry (no output buffer).
    int Send(ArchiverCommandProc entry, ArchiverWindow window, const std::string& line);

    std::string lastCommandLine_;
};

// The absolute form of a path (relative paths are taken from the current directory).
std::string AbsolutePath(const std::string& path);

}  // namespace sarvenu
