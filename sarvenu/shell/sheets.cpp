// The seven sheet tabs of the main window, in tab order, with their panels'
// fixed heights. The heights fix the scroll ranges, and the entry checks
// scroll to positions within them, so they change only together with the
// layouts.
#include "shell/sheets.h"

namespace sarvenu {

const std::vector<TSheetDef>& SheetDefs() {
    static const std::vector<TSheetDef> defs = {
        {"tsPlan", "新技術活用等計画書", "pnlPlan", "sclPlan", 902, BuildPlanSheet},
        {"tsReport", "新技術活用実施報告書", "pnlReport", "sclReport", 488, BuildReportSheet},
        {"tsInvAdd", "活用効果調査表集計表(1/2)", "pnlInvAdd", "sclInvAdd", 1636, BuildInvAddSheet},
        {"tsInvAdd2", "活用効果調査表集計表(2/2)", "pnlInvAdd2", "sclInvAdd2", 709,
         BuildInvAdd2Sheet},
        {"tsInvSection", "活用効果調査表(1)/個別－発注課長用", "pnlInvSection", "sclInvSection",
         569, BuildInvSectionSheet},
        {"tsInvChief", "活用効果調査表(2)/個別－主任監督員用", "pnlInvChief", "sclInvChief", 3889,
         BuildInvChiefSheet},
        {"tsInvCon", "活用効果調査表(3)/請負者・技術開発者提出用", "pnlInvCon", "sclInvCon", 4318,
         BuildInvConSheet},
    };
    return defs;
}

}  // namespace sarvenu
