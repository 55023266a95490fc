// The implementation report sheet (新技術活用実施報告書): its date of entry,
// and read-only the work's names, offices and type, the plan's site and
// outline, and the chief supervisor's periods, survey items and quantity.
// The periods are labels the window copies from the chief supervisor's date
// entries (lblConDateChiefS_Year ...), so they follow them before a save.
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "shell/sheet_layout.h"

namespace sarvenu {

namespace {

// Year, month and day labels of one chief supervisor date.
void ChiefDate(TSheetLayout& layout, const QString& base, const QString& label) {
    layout.Value("lbl" + base + "_Year", 44, label + platform::Utf8ToQString("-年"));
    layout.Text(platform::Utf8ToQString("年"));
    layout.Value("lbl" + base + "_Month", 28, label + platform::Utf8ToQString("-月"));
    layout.Text(platform::Utf8ToQString("月"));
    layout.Value("lbl" + base + "_Day", 28, label + platform::Utf8ToQString("-日"));
    layout.Text(platform::Utf8ToQString("日"));
}

void ChiefPeriodRow(TSheetLayout& layout, const QString& caption, const QString& start,
                    const QString& end) {
    layout.Row();
    layout.Caption(caption);
    ChiefDate(layout, start, caption + platform::Utf8ToQString("(始)"));
    layout.Text(platform::Utf8ToQString("～"));
    ChiefDate(layout, end, caption + platform::Utf8ToQString("(終)"));
    layout.EndRow();
}

}  // namespace

void BuildReportSheet(QWidget* panel, TSheetContext& context) {
    TSheetLayout layout(panel, context, "Rep", TTableId::Report);
    layout.MoveTo(4);
    layout.Title(platform::Utf8ToQString("新技術活用実施報告書"));
    layout.DateRow(platform::Utf8ToQString("記入日"), "cmbRegDateReport",
                   {platform::Utf8ToQString(kChoiceRequired)});

    layout.ShownRow(platform::Utf8ToQString("工事名"), TTableId::Main, "CON_NAME");
    layout.ShownRow(platform::Utf8ToQString("技術名称"), TTableId::Main, "TECH_TITLE");
    layout.ShownRow(platform::Utf8ToQString("従来技術"), TTableId::Main, "OLD_TECH_TITLE");
    layout.Row();
    layout.Caption(platform::Utf8ToQString("登録番号"));
    layout.Shown(TTableId::Main, "REG_NO", 220, platform::Utf8ToQString("登録番号"));
    layout.Text(platform::Utf8ToQString("活用等の型"), 80, Qt::AlignRight);
    layout.NameDisplay("dbmmConTypeRep", 260, platform::Utf8ToQString("活用等の型"));
    layout.EndRow();
    layout.Row();
    layout.Caption(platform::Utf8ToQString("実施整備局"));
    layout.NameDisplay("dbmmGatherMocRep", 220, platform::Utf8ToQString("実施整備局"));
    layout.Text(platform::Utf8ToQString("実施事務所"), 80, Qt::AlignRight);
    layout.NameDisplay("dbmmHacSaiRep", 260, platform::Utf8ToQString("実施事務所"));
    layout.EndRow();
    layout.ShownRow(platform::Utf8ToQString("工事担当課・発注課"), TTableId::Main,
                    "CON_CHARGE_SEC");
    layout.ShownRow(platform::Utf8ToQString("施工場所"), TTableId::Plan, "CON_PLACE");

    ChiefPeriodRow(layout, platform::Utf8ToQString("工事期間"), "ConDateChiefS", "ConDateChiefE");
    ChiefPeriodRow(layout, platform::Utf8ToQString("新技術施工期間"), "TechConDateChiefS",
                   "TechConDateChiefE");
    layout.ShownRow(platform::Utf8ToQString("施工数量"), TTableId::InvChief, "INV_CON_AMOUNT");
    layout.Row();
    layout.Caption(platform::Utf8ToQString("調査項目"));
    layout.SetGroup(platform::Utf8ToQString("調査項目"));
    for (auto [field, caption] : {std::pair{"INV_EFFECT_YN", "１．活用効果調査"},
                                  {"INV_CST_YN", "２．歩掛調査"},
                                  {"INV_EXECUTION_YN", "３．施工管理調査"},
                                  {"INV_PURSUIT_YN", "４．追跡調査"}})
        layout.ShownCheck(TTableId::InvChief, field, platform::Utf8ToQString(caption),
                          platform::Utf8ToQString(caption));
    layout.SetGroup({});
    layout.EndRow();
    layout.Row();
    layout.Caption(platform::Utf8ToQString("工事概要"));
    layout.ShownMemo(TTableId::Plan, "CON_CONTENT", kRightEdge - kEntryX, 64,
                     platform::Utf8ToQString("工事概要"));
    layout.EndRow();
    layout.ShownRow(platform::Utf8ToQString("主任監督員"), TTableId::InvChief, "INV_NAME", 300);
}

}  // namespace sarvenu
