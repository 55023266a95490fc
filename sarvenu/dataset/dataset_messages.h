// The client dataset layer's own messages. Sources are UTF-8; every message
// raised is CP932, converted here in one place.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace sarvenu::dsmsg {

// UTF-8 literal to CP932.
std::string Text(std::string_view utf8);
// UTF-8 pattern with "%s" slots, filled in order with CP932 arguments.
std::string Format(std::string_view utf8Pattern, std::initializer_list<std::string_view> args);

inline constexpr std::string_view kNoPacket = "データプロバイダ/パケットがありません";
inline constexpr std::string_view kLoadError = "PELMORA.DLL の読み込みエラー";
inline constexpr std::string_view kFieldNotFound = "項目 '%s' が見つかりません";
inline constexpr std::string_view kNotEditing = "データセットが編集または挿入モードではありません";
inline constexpr std::string_view kBadInteger = "'%s' は項目 '%s' に適した整数値ではありません";
inline constexpr std::string_view kBadFloat =
    "'%s' は項目 '%s' に適した浮動小数点数値ではありません";
inline constexpr std::string_view kNullOperator =
    "NULL は '=' または '<>' 以外と組み合わせることはできません";
inline constexpr std::string_view kConstantRange = "定数が範囲を超えています";
inline constexpr std::string_view kFilterSyntax = "フィルター式の形式が正しくありません";
inline constexpr std::string_view kFilterBadChar =
    "フィルター式に不正な文字 '%s' が含まれています。";
inline constexpr std::string_view kFilterUnterminated = "フィルター式が正しく終わっていません";
inline constexpr std::string_view kFilterFieldNotAllowed =
    "項目 '%s' をフィルター式で使うことはできません";
// Messages of this layer for cases the program never meant to reach.
inline constexpr std::string_view kNotActive = "データセットが開いていません";
inline constexpr std::string_view kActive = "データセットが開いている間は変更できません";
inline constexpr std::string_view kIndexOutOfRange = "項目番号 %s は範囲外です";
inline constexpr std::string_view kBadDate = "'%s' は項目 '%s' に適した日付時刻値ではありません";
inline constexpr std::string_view kBadBoolean = "'%s' は項目 '%s' に適した論理値ではありません";
inline constexpr std::string_view kEngineObject =
    "データセットエンジンのオブジェクトを作成できません";
inline constexpr std::string_view kEngineError = "データセットエンジンのエラー %s";
inline constexpr std::string_view kReadFailed = "ファイル '%s' を読み込めません: %s";
inline constexpr std::string_view kWriteFailed = "ファイル '%s' を書き込めません: %s";

}  // namespace sarvenu::dsmsg
