// The utilization plan sheet (新技術活用等計画書): the plan's dates, the
// work's names and offices as read-only copies, the utilization type as a
// radio group, the site, periods, outline of the work, the reasons of use
// and the person in charge. The entries the checks focus lie within the
// view at the check's scroll position (施工場所 from 200, the periods from
// 240 and 267, the outline from 295, 419 and 460, the reasons from 460).
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "records/entry_names.h"
#include "shell/sheet_layout.h"

namespace sarvenu {

namespace {

void HeadRows(TSheetLayout& layout) {
    layout.Title(platform::Utf8ToQString("新技術活用等計画書"));
    layout.DateRow(platform::Utf8ToQString("作成"), "cmbRegDatePlan",
                   {platform::Utf8ToQString(kChoiceRequired), platform::Utf8ToQString("例："),
                    platform::Utf8ToQString("(2006/04/01)")});
    layout.ShownRow(platform::Utf8ToQString("工事名"), TTableId::Main, "CON_NAME");
    layout.ShownRow(platform::Utf8ToQString("技術名称"), TTableId::Main, "TECH_TITLE");
    layout.Row();
    layout.Caption(platform::Utf8ToQString("実施整備局"));
    layout.NameDisplay("dbmmGatherMocPlan", 220, platform::Utf8ToQString("実施整備局"));
    layout.Text(platform::Utf8ToQString("実施事務所"), 80, Qt::AlignRight);
    layout.NameDisplay("dbmmHacSaiPlan", 260, platform::Utf8ToQString("実施事務所"));
    layout.EndRow();
    layout.ShownRow(platform::Utf8ToQString("工事担当課・発注課"), TTableId::Main, "CON_CHARGE_SEC",
                    440);

    layout.Row();
    layout.Caption(platform::Utf8ToQString("活用等の型"));
    TDBRadioGroup* type = layout.Choice(
        kConTypePlanGroup,
        {platform::Utf8ToQString("試行申請型"), platform::Utf8ToQString("施工者希望型(契約前提案)"),
         platform::Utf8ToQString("施工者希望型(契約後提案)"),
         platform::Utf8ToQString("発注者指定型"), platform::Utf8ToQString("フィールド提供型")},
        {"0", "5", "6", "3", "4"}, 3, kRightEdge - kEntryX, 50,
        platform::Utf8ToQString("活用等の型"));
    type->Bind(&layout.Dm().dsEV_TBL_MAIN, "CON_TYPE");
    layout.EndRow();
}

void SiteAndPeriods(TSheetLayout& layout) {
    layout.EditRow(platform::Utf8ToQString("施工場所"), "CON_PLACE", 440,
                   {platform::Utf8ToQString(kRequired), platform::Utf8ToQString(kWide127)});
    layout.PeriodRow(platform::Utf8ToQString("工事期間"), "cmbConDatePlanS", "cmbConDatePlanE",
                     {platform::Utf8ToQString(kChoiceRequired)});
    layout.PeriodRow(platform::Utf8ToQString("新技術施工期間"), "cmbTechConDatePlanS",
                     "cmbTechConDatePlanE");
}

void Outline(TSheetLayout& layout) {
    layout.Section(platform::Utf8ToQString("工事概要"));
    layout.MemoRow(platform::Utf8ToQString("内容"), "CON_CONTENT", 100,
                   platform::Utf8ToQString(kWide1000));
    layout.EditRow(platform::Utf8ToQString("対象数量"), "CON_OBJECT_QUANTITY", 440,
                   {platform::Utf8ToQString(kRequired), platform::Utf8ToQString(kWide127)});
    // The checks show the site conditions with the view starting at 460.
    layout.MoveTo(462);
    layout.EditRow(platform::Utf8ToQString("現場施工条件"), "CON_PLACE_CONDITION", 440,
                   {platform::Utf8ToQString(kRequired), platform::Utf8ToQString(kWide127)});
}

void Reasons(TSheetLayout& layout) {
    layout.Section(platform::Utf8ToQString("活用理由"));
    layout.Note(platform::Utf8ToQString("※チェックを付けた項目は、コメントの入力が必須です。"));
    layout.Note(platform::Utf8ToQString(
        "※チェックを付けていない項目のコメントは、Morvelに登録されません。"));
    layout.Row(kEntryX);
    layout.Text(platform::Utf8ToQString("コメント"));
    layout.EndRow(2);
    struct TReason {
        const char* caption;
        const char* field;
    };
    const TReason reasons[] = {{"経済性", "CON_COST"},          {"工程", "CON_PROCESS"},
                               {"品質・出来形", "CON_QUALITY"}, {"安全性", "CON_SAFETY"},
                               {"施工性", "CON_CONSTRUCT"},     {"環境", "CON_ENV"}};
    for (const TReason& reason : reasons) {
        const QString caption = platform::Utf8ToQString(reason.caption);
        layout.Row(kMarginX + 8);
        layout.Check(std::string(reason.field) + "_YN", caption, caption);
        layout.SetX(kEntryX);
        layout.Edit(reason.field, 520, caption + platform::Utf8ToQString("-コメント"));
        layout.Hints({platform::Utf8ToQString(kWide127)});
        layout.EndRow();
    }
}

void InCharge(TSheetLayout& layout) {
    layout.Section(platform::Utf8ToQString("担当者"));
    layout.Row();
    layout.Caption(platform::Utf8ToQString("工事担当"));
    layout.Edit("CON_CHARGE_DEP", 240, platform::Utf8ToQString("工事担当"));
    layout.Text(platform::Utf8ToQString("係"));
    layout.Hints({platform::Utf8ToQString(kWide127)});
    layout.EndRow();
    layout.Row();
    layout.Caption(platform::Utf8ToQString("マイクロ"));
    layout.Edit("CON_CHARGE_MIC", 120, platform::Utf8ToQString("マイクロ"))->SetImeOff(true);
    layout.Hints({platform::Utf8ToQString("（例：123-456）")});
    layout.EndRow();
}

}  // namespace

void BuildPlanSheet(QWidget* panel, TSheetContext& context) {
    TSheetLayout layout(panel, context, "Plan", TTableId::Plan);
    layout.MoveTo(4);
    HeadRows(layout);
    SiteAndPeriods(layout);
    Outline(layout);
    Reasons(layout);
    InCharge(layout);
}

}  // namespace sarvenu
