// TArj32 drives the ARJ library "UNARJ32J.DLL" (entries "Unarj", ...) with
// the LZH wrapper's command lines; it extracts ("x") and deletes but neither
// packs nor makes self-extracting archives. No such library ships, so its
// missing-library message is what the user meets.
#pragma once

#include "exchange/lha32.h"

namespace sarvenu {

class TArj32 : public TLha32 {
  public:
    // Raises "この機能の使用には UNARJ32J.DLL が 必要です。" when the library is missing.
    TArj32();

    // Raises "お使いの UNARJ32J.DLL は書庫の作成機能をサポートしていません。".
    int Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
             const std::string& directory, const TStringList* files) override;
    // Raises "お使いの UNARJ32J.DLL は自己解凍書庫の作成機能をサポートしていません。".
    int MakeSfx(ArchiverWindow window, const std::string& archive,
                TArchiverOptions& options) override;
};

}  // namespace sarvenu
