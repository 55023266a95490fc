// TZip32 drives the ZIP libraries: "UNZIP32.DLL" extracts (entry "UnZip"),
// "LMZIP32.DLL" packs (entry "Zip") and also extracts; either one suffices to
// load, packing needs "LMZIP32.DLL". In "LMZIP32.DLL" the entries beginning
// "UnZip" are spelt "Unzip". Command lines: "-x" or "-ru", then "-o" when
// c = 1, the quiet switch when n = 1, "-j" when x = 0, the free options, the
// quoted archive path, the directory, the file list and the free file list.
#pragma once

#include "exchange/archiver.h"

namespace sarvenu {

// The command line of the ZIP and CAB wrappers; quietSwitch is "--i" or "-i".
std::string ZipStyleCommandLine(const std::string& command, const char* quietSwitch,
                                const std::string& archive, const TArchiverOptions& options,
                                const std::string& directory, const TStringList* files);

class TZip32 : public TArchiver {
  public:
    // Raises "ZIP 形式書庫を扱うには UNZIP32.DLL または LMZIP32.DLL が 必要です。"
    // when neither library loads.
    TZip32();

    // Binds both libraries; raises when neither loads.
    void LoadLibrary() override;
    void UnloadLibrary() override;
    std::string MakeCommandLine(const std::string& command, const std::string& archive,
                                const TArchiverOptions& options, const std::string& directory,
                                const TStringList* files) override;
    int Extract(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                const std::string& directory, const TStringList* files) override;
    // Deletes an existing archive file first and sends the line with n = 0;
    // raises "ZIP 形式書庫の作成には LMZIP32.DLL が必要です。" without that library.
    int Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
             const std::string& directory, const TStringList* files) override;
    // Raises "ＺＩＰ形式書庫から自己解凍書庫を作成する機能はサポートされていません。".
    int MakeSfx(ArchiverWindow window, const std::string& archive,
                TArchiverOptions& options) override;

  protected:
    // An archive-handle entry by its suffix ("OpenArchive"): looked up in
    // "LMZIP32.DLL" first, then in "UNZIP32.DLL".
    void* HandleEntry(const std::string& suffix) override;

  private:
    TArchiverLibrary* unzip_ = nullptr;  // null when "UNZIP32.DLL" is missing
    TArchiverLibrary* lmzip_ = nullptr;  // null when "LMZIP32.DLL" is missing
};

}  // namespace sarvenu
