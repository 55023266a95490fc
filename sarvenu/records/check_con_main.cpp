// The header's rules: the work name before every save, and every header
// entry before a submission file is written.
#include "records/check_con.h"
#include "records/entry_names.h"

namespace sarvenu {

namespace {

std::string Header(const char* field) {
    return EntryName(TTableId::Main, field);
}

}  // namespace

bool CheckBeforeSave(TCheckHost& host) {
    TCheckRules rules(host, "", "");
    return rules.Filled(Header("CON_NAME"), "工事名を入力してください。", 0);
}

bool CheckMainItems(TCheckHost& host) {
    TCheckRules rules(host, "", "");
    return rules.Filled(Header("CON_NAME"), "工事名を入力してください。", 0) &&
           rules.Filled(Header("TECH_TITLE"), "技術名称を入力してください。", 0) &&
           rules.Filled(Header("REG_NO"), "登録番号を入力してください。", 0) &&
           rules.Filled(Header("MOC_CD"), "実施整備局を選択してください。", 0) &&
           rules.Filled(Header("OFFICE_CD"), "実施事務所を選択してください。", 0);
}

}  // namespace sarvenu
