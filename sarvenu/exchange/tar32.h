// TTar32 drives the TAR library "tar32.dll" (entries "Tar", "TarOpenArchive",
// ...): "x" extracts and "c" packs. Its command line: "-AH" when a > 0, "-I"
// when a = 0, "--display-dialog=0" when n > 0, "-g" when o < 1, the integer
// switches "--check-all-path=" (p) and "--use-directory=" (x), the free
// options, "-f" and the archive, "-o" and the directory when given, the file
// list and the free file list. TTgz32 adds "-z6" (when z < 1) for compressed
// archives.
#pragma once

#include "exchange/archiver.h"

namespace sarvenu {

class TTar32 : public TArchiver {
  public:
    // Raises "この機能の使用には tar32.dll が 必要です。" when the library is missing.
    TTar32();

    std::string MakeCommandLine(const std::string& command, const std::string& archive,
                                const TArchiverOptions& options, const std::string& directory,
                                const TStringList* files) override;
    int Extract(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                const std::string& directory, const TStringList* files) override;
    int Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
             const std::string& directory, const TStringList* files) override;
    // The library makes no self-extracting archives: nothing is sent, 0 returned.
    int MakeSfx(ArchiverWindow window, const std::string& archive,
                TArchiverOptions& options) override;

  protected:
    // The compression switch of the kind; none for plain archives.
    virtual std::string CompressionSwitch(const TArchiverOptions& options) const;
};

class TTgz32 : public TTar32 {
  protected:
    std::string CompressionSwitch(const TArchiverOptions& options) const override;
};

}  // namespace sarvenu
