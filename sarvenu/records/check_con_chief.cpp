// The chief supervisor's survey sheet's rules.
#include "records/check_con.h"
#include "records/entry_names.h"

namespace sarvenu {

bool CheckChiefSheet(TCheckHost& host) {
    constexpr TTableId sheet = TTableId::InvChief;
    TCheckRules rules(host, "tsInvChief", "sclInvChief");
    return rules.DateFilled("cmbConDateChiefS", "工事期間(始)を選択入力してください。", 415) &&
           rules.DateFilled("cmbConDateChiefE", "工事期間(終)を選択入力してください。", 415) &&
           rules.DateOrder("cmbConDateChiefS", "cmbConDateChiefE", "工事期間に矛盾があります。",
                           415) &&
           rules.DateFilled("cmbTechConDateChiefS", "新技術施工期間(始)を選択入力してください。",
                            445) &&
           rules.DateFilled("cmbTechConDateChiefE", "新技術施工期間(終)を選択入力してください。",
                            445) &&
           rules.DateOrder("cmbTechConDateChiefS", "cmbTechConDateChiefE",
                           "新技術施工期間に矛盾があります。", 445) &&
           rules.Filled(EntryName(sheet, "INV_CON_AMOUNT"),
                        "実施事業概要-施工数量を入力してください。", 543) &&
           rules.Graded(sheet, "QUALITY", "Ⅲ品質・出来形-評価点を選択してください。", 1242,
                        "Ⅲ品質・出来形-調査結果を入力してください。", 1562) &&
           rules.Graded(sheet, "SAFETY", "Ⅳ安全性-評価点を選択してください。", 1738,
                        "Ⅳ安全性-調査結果を入力してください。", 2056) &&
           rules.Graded(sheet, "CONSTRUCT", "Ⅴ施工性-評価点を選択してください。", 2235,
                        "Ⅴ施工性-調査結果を入力してください。", 2590) &&
           rules.Graded(sheet, "ENV", "Ⅵ環境-評価点を選択してください。", 2768,
                        "Ⅵ環境-調査結果を入力して下さい。", 3085) &&
           rules.OtherItems(sheet, {3235, 3325, 3415}, 3436) &&
           rules.Filled(EntryName(sheet, "INV_CHIEF_RESULT"), "総合的な所見を入力してください。",
                        3436);
}

}  // namespace sarvenu
