// The implementation report sheet's rule.
#include "records/check_con.h"

namespace sarvenu {

bool CheckReportSheet(TCheckHost& host) {
    TCheckRules rules(host, "tsReport", "sclReport");
    return rules.DateFilled("cmbRegDateReport", "記入日を選択入力してください。", 0);
}

}  // namespace sarvenu
