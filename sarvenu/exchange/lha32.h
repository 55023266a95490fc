// TLha32 drives the LZH library "UNLHA32.DLL" (entries "Unlha",
// "UnlhaOpenArchive", ...): commands "x" (extract), "u" (pack), "d" (delete)
// and "s" (self-extracting archive), each followed by "-+", every given
// switch in a fixed order, the free options, the quoted archive path, the
// directory, the file list and the free file list.
#pragma once

#include <string>

#include "exchange/archiver.h"

namespace sarvenu {

class TLha32 : public TArchiver {
  public:
    // Loads the library; raises "この機能の使用には UNLHA32.DLL が 必要です。" when missing.
    TLha32();

    std::string MakeCommandLine(const std::string& command, const std::string& archive,
                                const TArchiverOptions& options, const std::string& directory,
                                const TStringList* files) override;
    int Extract(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                const std::string& directory, const TStringList* files) override;
    int Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
             const std::string& directory, const TStringList* files) override;
    int Delete(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
               const std::string& directory, const TStringList* files) override;
    int MakeSfx(ArchiverWindow window, const std::string& archive,
                TArchiverOptions& options) override;

  protected:
    // A library of the same command-line family (the ARJ one).
    explicit TLha32(const TLibraryInfo& info);

    // Builds the line for the command and sends it through the command entry.
    int Run(const std::string& command, ArchiverWindow window, const std::string& archive,
            const TArchiverOptions& options, const std::string& directory,
            const TStringList* files);
};

}  // namespace sarvenu
