// The contractor's survey sheet's rules.
#include "records/check_con.h"
#include "records/entry_names.h"

namespace sarvenu {

namespace {

std::string Con(const char* field) {
    return EntryName(TTableId::InvCon, field);
}

}  // namespace

bool CheckConSheet(TCheckHost& host) {
    constexpr TTableId sheet = TTableId::InvCon;
    TCheckRules rules(host, "tsInvCon", "sclInvCon");
    const bool site =
        rules.Filled(Con("INV_NATURAL_ENV"), "当該現場条件-自然環境を入力してください。", 445) &&
        rules.Filled(Con("INV_SURROUND_ENV"), "当該現場条件-周辺環境を入力してください。", 565) &&
        rules.Filled(Con("INV_PLACE_CONDITION"), "当該現場条件-現場条件を入力してください。", 690);
    if (!site) return false;
    // The costs are asked here only when the contractor answers Ⅰ経済性 for
    // the work's utilization type; the survey result always.
    if (host.CostEntriesEnabled(sheet)) {
        const bool costs =
            rules.Filled(Con("INV_COST_UNIT"), "Ⅰ経済性-従来工法を入力してください。", 814) &&
            rules.Filled(Con("INV_OLD_COST"), "Ⅰ経済性-従来工法を入力してください。", 814) &&
            rules.Filled(Con("INV_NEW_COST"), "Ⅰ経済性-新技術を入力してください。", 814);
        if (!costs) return false;
    }
    return rules.Filled(Con("INV_COST_RESULT"), "Ⅰ経済性-調査結果を入力してください。", 949) &&
           rules.Filled(Con("INV_PROCESS_OLD"), "Ⅱ工程-従来技術を入力してください。", 1100) &&
           rules.Filled(Con("INV_PROCESS_NEW"), "Ⅱ工程-新技術を入力してください。", 1100) &&
           rules.Filled(Con("INV_PROCESS_RESULT"), "Ⅱ工程-調査結果を入力してください。", 1235) &&
           rules.Graded(sheet, "QUALITY", "Ⅲ品質・出来形-評価点を選択してください。", 1413,
                        "Ⅲ品質・出来形-調査結果を入力してください。", 1731) &&
           rules.Graded(sheet, "SAFETY", "Ⅳ安全性-評価点を選択してください。", 1908,
                        "Ⅳ安全性-調査結果を入力してください。", 2225) &&
           rules.Graded(sheet, "CONSTRUCT", "Ⅴ施工性-評価点を選択してください。", 2405,
                        "Ⅴ施工性-調査結果を入力してください。", 2760) &&
           rules.Graded(sheet, "ENV", "Ⅵ環境-評価点を選択してください。", 2939,
                        "Ⅵ環境-調査結果を入力してください。", 3255) &&
           rules.OtherItems(sheet, {3407, 3495, 3585}, 3677) &&
           rules.Filled(Con("INV_CON_RESULT"), "総合的な所見を入力してください。", 3800);
}

}  // namespace sarvenu
