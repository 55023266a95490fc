#include "com/error_text.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/codepage.h"

namespace pelmora {
namespace {

struct Message {
    uint16_t code;
    const char* english;
    const char* japanese;
};

constexpr Message kMessages[] = {
    {0, "Successful completion.", "操作が完了しました。"},
    {8705, "At beginning of table.", "テーブルの先頭です。"},
    {8706, "At end of table.", "テーブルの最後です。"},
    {8708, "Record/Key deleted.", "レコード/キーは削除されました。"},
    {8709, "No current record.", "現在のレコードがありません。"},
    {8710, "Could not find record.", "レコードが見つかりません。"},
    {8712, "Could not find object.", "オブジェクトが見つかりません。"},
    {9473, "Insufficient memory for this operation.", "この操作に必要なメモリがありません。"},
    {9729, "Key violation.", "キー違反です。"},
    {9732, "Field value required.", "項目(フィールド)値が必要です。"},
    {9734, "Cannot delete master record with details.",
     "マスターにリンクレコードがあります。削除または変更できません。"},
    {9740, "Field is blank.", "項目(フィールド)が空白です。"},
    {9985, "Number is out of range.", "数値が範囲外です。"},
    {9986, "Invalid parameter.", "パラメータが無効です。"},
    {9997, "Index does not exist.", "インデックスが存在しません。"},
    {10000, "Invalid field type.", "項目(フィールド)型が無効です。"},
    {10009, "Name not unique in this context.", "同じ名前がこのコンテキストに存在します。"},
    {10010, "Index name required.", "インデックス名が必要です。"},
    {10022, "Invalid index/tag name.", "インデックス/タグ名が無効です。"},
    {10030, "Invalid BLOB handle in record buffer.",
     "レコードバッファ内の BLOB ハンドルが無効です。"},
    {10035, "Index is being used to order table.",
     "インデックスはテーブルの並べ替えに使われています。"},
    {10502, "Trying to modify read-only field.",
     "読み込み専用項目(書き込み禁止フィールド)を修正しようとしています。"},
    {10756, "Operation not applicable.", "この操作は行えません。"},
    {10757, "Data is not indexed.", "テーブルがインデックス付けされていません。"},
    {10763, "Data is read only.", "テーブルは書き込み禁止です。"},
    {10767, "Index is read only.", "インデックスは書き込み禁止です。"},
    {11871, "Type mismatch in expression.", "式中の型が一致していません。"},
    {11950, "Record or field constraint failed.",
     "レコードまたはフィールドの制約に違反しています。"},
    {12289, "Capability not supported.", "この機能は使用できません。"},
    {16385, "Delta is empty.", "デルタパケットが空です。"},
    {16386, "Nothing to undo.", "元に戻す対象がありません。"},
    {16387, "Datapacket contains no meta data.", "データパケットにメタデータが含まれていません。"},
    {16388, "Trying to append data to a non-partial dataset.",
     "非部分データセットにデータを追加しようとしました。"},
    {16389, "Mismatch in datapacket.", "データパケットの不一致"},
    {16392, "Newer version required.", "より新しいバージョンが必要です。"},
    {16393, "Blob has not been fetched.", "BLOB が取得できていません。"},
    {16394, "Details has not been fetched.", "詳細データが取得できていません。"},
    {16395, "No corresponding master record found.", "一致するマスターレコードが見つかりません。"},
    {16396, "Linkfields to detail must be unique.",
     "詳細項目のためのリンク項目は一意である必要があります。"},
    {16397, "Special case: wrong order of updates for fly-away!",
     "特殊な状態：fly-away で更新する順序が不正です。"},
    {16398, "Cascaded updates not enabled.", "カスケード アップデートは有効ではありません。"},
    {16399, "Aggregate was not found.", "Aggregate が見つかりません。"},
    {16400, "Fieldtype not supported for XML.", "XML ではサポートされていない項目の種類です。"},
};

constexpr size_t kMaxMessageBytes = 126;

}  // namespace

MessageLanguage CurrentMessageLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "ja", 2) == 0 ? MessageLanguage::Japanese
                                                     : MessageLanguage::English;
    }
    return MessageLanguage::English;
}

const char* MessageFor(uint32_t code, MessageLanguage language) {
    for (const Message& m : kMessages)
        if (m.code == code) return language == MessageLanguage::Japanese ? m.japanese : m.english;
    return nullptr;
}

EngineResult ErrorText(uint32_t code, char* buffer) {
    const char* message = MessageFor(code & 0xFFFF, CurrentMessageLanguage());
    if (!message) {
        if (buffer) buffer[0] = '\0';
        return DSERR_OBJNOTFOUND;
    }
    if (!buffer) return DS_OK;
    std::string text = platform::Utf8ToCp932(message);
    size_t length = 0;
    while (length < text.size()) {
        size_t step = platform::IsDBCSLeadByte(static_cast<unsigned char>(text[length])) ? 2 : 1;
        if (length + step > kMaxMessageBytes) break;
        length += step;
    }
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return DS_OK;
}

}  // namespace pelmora
