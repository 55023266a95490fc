// TCab32 drives the CAB library "CAB32.DLL" (entries "Cab", "CabOpenArchive",
// ...): "-x" extracts (with the archive path made absolute), "-a" packs and
// "-f" makes a self-extracting archive, with the ZIP wrapper's command line
// but "-i" as the quiet switch.
#pragma once

#include "exchange/archiver.h"

namespace sarvenu {

class TCab32 : public TArchiver {
  public:
    // Raises "CAB 形式書庫を扱うには CAB32.DLL が 必要です。" when the library is missing.
    TCab32();

    std::string MakeCommandLine(const std::string& command, const std::string& archive,
                                const TArchiverOptions& options, const std::string& directory,
                                const TStringList* files) override;
    int Extract(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                const std::string& directory, const TStringList* files) override;
    int Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
             const std::string& directory, const TStringList* files) override;
    int MakeSfx(ArchiverWindow window, const std::string& archive,
                TArchiverOptions& options) override;
};

}  // namespace sarvenu
