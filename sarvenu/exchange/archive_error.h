// The error type of the archive layer and its messages. Every failure of the
// layer (a missing archiver library or entry, an archive kind that cannot be
// told or does not offer an operation) is raised as EArchiver carrying one of
// these Japanese messages as code page 932 text; the callers decide what the
// user sees.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace sarvenu {

class EArchiver : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The messages, as UTF-8 source text.
namespace archiver_text {
inline constexpr std::string_view kLhaMissing = "この機能の使用には UNLHA32.DLL が 必要です。";
inline constexpr std::string_view kArjMissing = "この機能の使用には UNARJ32J.DLL が 必要です。";
inline constexpr std::string_view kTarMissing = "この機能の使用には tar32.dll が 必要です。";
inline constexpr std::string_view kZipMissing =
    "ZIP 形式書庫を扱うには UNZIP32.DLL または LMZIP32.DLL が 必要です。";
inline constexpr std::string_view kZipPackNeedsLmzip =
    "ZIP 形式書庫の作成には LMZIP32.DLL が必要です。";
inline constexpr std::string_view kCabMissing = "CAB 形式書庫を扱うには CAB32.DLL が 必要です。";
inline constexpr std::string_view kNoArchiver = "書庫の形式を判別できません。";
inline constexpr std::string_view kAutoDetect =
    "現在のバージョンではこの形式の書庫をサポートしていません。";
inline constexpr std::string_view kNoDelete =
    "この形式の書庫ではファイルの削除をサポートしておりません。";
inline constexpr std::string_view kZipNoSfx =
    "ＺＩＰ形式書庫から自己解凍書庫を作成する機能はサポートされていません。";
inline constexpr std::string_view kArjNoPack =
    "お使いの UNARJ32J.DLL は書庫の作成機能をサポートしていません。";
inline constexpr std::string_view kArjNoSfx =
    "お使いの UNARJ32J.DLL は自己解凍書庫の作成機能をサポートしていません。";
}  // namespace archiver_text

// Raises EArchiver with the message converted to code page 932.
[[noreturn]] void RaiseArchiverError(std::string_view utf8Message);
// Raises the missing-entry message: module + " に " + entry + " のエントリが見つかりません。".
[[noreturn]] void RaiseMissingEntry(const std::string& moduleName, const std::string& entryName);

}  // namespace sarvenu
