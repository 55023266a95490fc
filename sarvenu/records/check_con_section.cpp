// The section chief's survey sheet's rules.
#include "records/check_con.h"
#include "records/entry_names.h"

namespace sarvenu {

namespace {

std::string Section(const char* field) {
    return EntryName(TTableId::InvSection, field);
}

}  // namespace

bool CheckSectionSheet(TCheckHost& host) {
    TCheckRules rules(host, "tsInvSection", "sclInvSection");
    const bool passed =
        rules.Filled(Section("INV_NAME"), "調査者-氏名を入力してください。", 100) &&
        rules.Filled(Section("INV_CON_COST"), "全体工事概要-工事費を入力してください。", 116) &&
        rules.Filled(Section("INV_CON_COMPANY"), "全体工事概要-施工会社を入力してください。", 116);
    if (!passed) return false;
    // The costs are asked here only when this sheet answers Ⅰ経済性 for the
    // work's utilization type.
    if (!host.CostEntriesEnabled(TTableId::InvSection)) return true;
    return rules.Filled(Section("INV_COST_UNIT"), "Ⅰ経済性-従来工法を入力してください。", 116) &&
           rules.Filled(Section("INV_OLD_COST"), "Ⅰ経済性-従来工法を入力してください。", 116) &&
           rules.Filled(Section("INV_NEW_COST"), "Ⅰ経済性-新技術を入力してください。", 116);
}

}  // namespace sarvenu
