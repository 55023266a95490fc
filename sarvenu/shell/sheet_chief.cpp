// Survey sheet (2), answered by the chief supervisor (主任監督員): the
// respondent, survey items, the common question, the work carried out, the
// cost and process points read-only, the four graded aspects, the further
// items and the overall opinion. The fixed positions below keep every entry
// a check focuses within the view at the check's scroll position (periods
// from 415 and 445, quantity from 543, the aspects' answers from 1242,
// 1738, 2235, 2768, their results from 1562, 2056, 2590, 3085, the further
// items from 3235, 3325, 3415 and the last results from 3436).
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "records/entry_names.h"
#include "shell/sheet_layout.h"

namespace sarvenu {

namespace {

constexpr int kWorkTop = 395;
constexpr int kQuantityTop = 548;
constexpr int kSectionSpace = 46;
constexpr int kFirstGrades[] = {1246, 1742, 2239, 2772};
constexpr int kOtherItems[] = {3238, 3328, 3418};
constexpr int kOtherResult = 3480;

void SurveyItems(TSheetLayout& layout) {
    layout.Skip(10);
    layout.Section(platform::Utf8ToQString("調査項目"));
    layout.Row(kEntryX);
    for (auto [field, caption] : {std::pair{"INV_EFFECT_YN", "１．活用効果調査"},
                                  {"INV_CST_YN", "２．歩掛調査"},
                                  {"INV_EXECUTION_YN", "３．施工管理調査"},
                                  {"INV_PURSUIT_YN", "４．追跡調査"}}) {
        layout.Check(field, platform::Utf8ToQString(caption), platform::Utf8ToQString(caption));
        layout.SetX(layout.X() + 10);
    }
    layout.EndRow();

    layout.Skip(10);
    layout.Section(platform::Utf8ToQString("共通"));
    layout.Row(kMarginX + 8);
    const QString question = platform::Utf8ToQString("施工上重大な問題が発生したか");
    QLabel* text = layout.Text(question);
    text->resize(text->width(), kGradeBoxHeight);
    TDBRadioGroup* common = layout.Choice(
        QString::fromStdString(EntryName(TTableId::InvChief, "INV_COMMON")),
        {platform::Utf8ToQString("発生した"), platform::Utf8ToQString("発生していない")},
        {"1", "0"}, 2, 260, kGradeBoxHeight, question);
    common->Bind(&layout.Dm().dsEV_TBL_INV_CHIEF, "INV_COMMON");
    layout.EndRow();
}

void WorkCarriedOut(TSheetLayout& layout) {
    layout.MoveTo(kWorkTop);
    layout.Section(platform::Utf8ToQString("実施事業概要"));
    layout.PeriodRow(platform::Utf8ToQString("工事期間"), "cmbConDateChiefS", "cmbConDateChiefE",
                     {platform::Utf8ToQString(kChoiceRequired)});
    layout.PeriodRow(platform::Utf8ToQString("新技術施工期間"), "cmbTechConDateChiefS",
                     "cmbTechConDateChiefE", {platform::Utf8ToQString(kChoiceRequired)});
    layout.ShownRow(platform::Utf8ToQString("施工場所"), TTableId::Plan, "CON_PLACE");
    layout.Row();
    layout.Caption(platform::Utf8ToQString("工事概要"));
    layout.ShownMemo(TTableId::Plan, "CON_CONTENT", kRightEdge - kEntryX, 40,
                     platform::Utf8ToQString("工事概要"));
    layout.EndRow();
    layout.MoveTo(kQuantityTop);
    layout.EditRow(platform::Utf8ToQString("施工数量"), "INV_CON_AMOUNT", 440,
                   {platform::Utf8ToQString(kRequired), platform::Utf8ToQString(kWide127)});
}

// The cost and process points as the window computes them, with the values
// they come from (the section chief's or the contractor's, by type).
void PointsShown(TSheetLayout& layout) {
    layout.Skip(kSectionSpace);
    layout.Section(platform::Utf8ToQString("Ⅰ経済性"));
    layout.Note(platform::Utf8ToQString(
        "※発注課長用（施工者希望型の場合は請負者・技術開発者提出用）の値を表示します。"));
    layout.Row();
    layout.Caption(platform::Utf8ToQString("単位"));
    layout.Value("lblInvCostUnitChief", 160, platform::Utf8ToQString("単位"))
        ->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout.Text(platform::Utf8ToQString("当り"));
    layout.Text(platform::Utf8ToQString("従来工法"), 60, Qt::AlignRight);
    layout.Value("lblInvOldCostChief", 100, platform::Utf8ToQString("従来工法"));
    layout.Text(platform::Utf8ToQString("千円"));
    layout.Text(platform::Utf8ToQString("新技術"), 60, Qt::AlignRight);
    layout.Value("lblInvNewCostChief", 100, platform::Utf8ToQString("新技術"));
    layout.Text(platform::Utf8ToQString("千円"));
    layout.EndRow();
    PointFormulaRows(
        layout, CostFormula("lblCostSubtractionChief", "lblInvOldCostChief2", "lblCostPointChief"));

    layout.Skip(kSectionSpace);
    layout.Section(platform::Utf8ToQString("Ⅱ工程"));
    layout.Note(platform::Utf8ToQString("※請負者・技術開発者提出用の値を表示します。"));
    layout.Row();
    layout.Caption(platform::Utf8ToQString("従来技術"));
    layout.Shown(TTableId::InvCon, "INV_PROCESS_OLD", 100, platform::Utf8ToQString("従来技術"))
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout.Text(platform::Utf8ToQString("日"));
    layout.Text(platform::Utf8ToQString("新技術"), 60, Qt::AlignRight);
    layout.Shown(TTableId::InvCon, "INV_PROCESS_NEW", 100, platform::Utf8ToQString("新技術"))
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout.Text(platform::Utf8ToQString("日"));
    layout.EndRow();
    PointFormulaRows(layout, ProcessFormula("lblProcessSubtractionChief", "lblInvProcessOldChief2",
                                            "lblProcessPointChief"));
}

void Closing(TSheetLayout& layout) {
    layout.SetGroup({});
    layout.Skip(6);
    layout.MemoRow(platform::Utf8ToQString("その他追加調査した結果"), "INV_CHIEF_OTHER_RESULT", 80,
                   platform::Utf8ToQString(kWide1000));
    layout.MemoRow(platform::Utf8ToQString("総合的な所見"), "INV_CHIEF_RESULT", 100,
                   platform::Utf8ToQString(kWide1000));
}

}  // namespace

void BuildInvChiefSheet(QWidget* panel, TSheetContext& context) {
    TSheetLayout layout(panel, context, "Chief", TTableId::InvChief);
    layout.MoveTo(4);
    layout.Title(platform::Utf8ToQString("活用効果調査表(2)/個別－主任監督員用"));
    layout.ShownRow(platform::Utf8ToQString("工事名"), TTableId::Main, "CON_NAME");
    layout.ShownRow(platform::Utf8ToQString("技術名称"), TTableId::Main, "TECH_TITLE");
    layout.ShownRow(platform::Utf8ToQString("従来技術"), TTableId::Main, "OLD_TECH_TITLE");
    layout.Skip(10);
    RespondentBlock(layout, /*nameRequired=*/false);
    SurveyItems(layout);
    WorkCarriedOut(layout);
    PointsShown(layout);
    // The guide stands right above the first aspect.
    layout.MoveTo(kFirstGrades[0] - kGradeHeadOffset - kGradeGuideHeight);
    GradeGuide(layout);
    for (int aspect = 0; aspect < 4; ++aspect)
        AspectBlock(layout, aspect, "Chief", kFirstGrades[aspect]);
    OtherItemsBlock(layout, kOtherItems, kOtherResult);
    Closing(layout);
}

}  // namespace sarvenu
