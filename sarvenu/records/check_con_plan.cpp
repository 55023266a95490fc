// The utilization plan sheet's rules.
#include "records/check_con.h"
#include "records/entry_names.h"

namespace sarvenu {

namespace {

std::string Plan(const std::string& field) {
    return EntryName(TTableId::Plan, field);
}

// A ticked reason of use needs its comment.
struct TReason {
    const char* field;  // the comment; the tick box is field + "_YN"
    const char* message;
};
constexpr TReason kReasons[] = {
    {"CON_COST", "活用理由-経済性を入力してください。"},
    {"CON_PROCESS", "活用理由-工程を入力してください。"},
    {"CON_QUALITY", "活用理由-品質・出来形を入力してください。"},
    {"CON_SAFETY", "活用理由-安全性を入力してください。"},
    {"CON_CONSTRUCT", "活用理由-施工性を入力してください。"},
    {"CON_ENV", "活用理由-環境を入力してください。"},
};

}  // namespace

bool CheckPlanSheet(TCheckHost& host) {
    TCheckRules rules(host, "tsPlan", "sclPlan");
    const bool passed =
        rules.DateFilled("cmbRegDatePlan", "作成を選択入力してください。", 0) &&
        rules.Filled(Plan("CON_PLACE"), "施工場所を入力してください。", 200) &&
        rules.DateFilled("cmbConDatePlanS", "工事期間(始)を選択入力してください。", 240) &&
        rules.DateFilled("cmbConDatePlanE", "工事期間(終)を選択入力してください。", 240) &&
        rules.DateOrder("cmbConDatePlanS", "cmbConDatePlanE", "工事期間に矛盾があります。", 240) &&
        rules.DateOrder("cmbTechConDatePlanS", "cmbTechConDatePlanE",
                        "新技術施工期間に矛盾があります。", 267) &&
        rules.Filled(Plan("CON_CONTENT"), "工事概要-内容を入力してください。", 295) &&
        rules.Filled(Plan("CON_OBJECT_QUANTITY"), "工事概要-対象数量を入力してください。", 419) &&
        rules.Filled(Plan("CON_PLACE_CONDITION"), "工事概要-現場施工条件を入力してください。", 460);
    if (!passed) return false;
    for (const TReason& reason : kReasons) {
        if (!host.Ticked(Plan(std::string(reason.field) + "_YN"))) continue;
        if (!rules.Filled(Plan(reason.field), reason.message, 460)) return false;
    }
    return true;
}

}  // namespace sarvenu
