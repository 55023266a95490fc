// Survey sheet (1), answered by the ordering section chief (発注課長): the
// respondent, the whole work's cost and contractor, the Ⅰ経済性 entries with
// their point, and the survey result. For the contractor-proposal types the
// window hides the cost entries (and their hints lblSecCostHint1..) and shows
// in their place the contractor's values (lblConCostUnitSec ...), which are
// bound to the contractor's sheet.
#include "platform/codepage.h"
#include "records/cds_module.h"
#include "shell/sheet_layout.h"

namespace sarvenu {

namespace {

// Hints beside the section chief's cost entries, shown and hidden with them,
// numbered on from number.
void CostHints(TSheetLayout& layout, const QStringList& hints, int& number) {
    for (const QString& hint : hints)
        layout.Text(hint)->setObjectName("lblSecCostHint" + QString::number(++number));
}

// The contractor's value in the place of one of the section chief's entries.
void ContractorCopy(TSheetLayout& layout, QWidget* entry, const QString& name,
                    const std::string& field, const QString& label) {
    auto* copy = new TDBText(layout.Panel(), name);
    copy->Bind(&layout.Dm().dsEV_TBL_INV_CON, field);
    copy->setAccessibleName(layout.Accessible(label + platform::Utf8ToQString("(請負者)")));
    copy->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const bool number = dynamic_cast<TRightDBEdit*>(entry) != nullptr;
    copy->setAlignment((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    copy->setGeometry(entry->geometry());
    copy->hide();
}

void CostRows(TSheetLayout& layout) {
    layout.Section(platform::Utf8ToQString("Ⅰ経済性"));
    layout.Note(platform::Utf8ToQString(
        "・試行申請型、発注者指定型、フィールド提供型の場合、発注課長が記入する。"));
    layout.Note(platform::Utf8ToQString(
        "施工者希望型の場合は請負者が記入する（活用の型により入力の制限あり）。"));
    int hints = 0;

    layout.Row();
    layout.Caption(platform::Utf8ToQString("単位"));
    TDBEdit* unit = layout.Edit("INV_COST_UNIT", 240, platform::Utf8ToQString("単位"));
    layout.Text(platform::Utf8ToQString("当り"));
    CostHints(layout, {platform::Utf8ToQString(kRequired), platform::Utf8ToQString(kWide127)},
              hints);
    layout.EndRow();
    ContractorCopy(layout, unit, "lblConCostUnitSec", "INV_COST_UNIT",
                   platform::Utf8ToQString("単位"));

    layout.Row();
    layout.Caption(platform::Utf8ToQString("従来工法"));
    TDBEdit* old = layout.Number("INV_OLD_COST", 120, platform::Utf8ToQString("従来工法"));
    layout.Text(platform::Utf8ToQString("千円"));
    CostHints(layout,
              {platform::Utf8ToQString(kRequired), platform::Utf8ToQString(kHalfDigits),
               platform::Utf8ToQString(kCostExample)},
              hints);
    layout.EndRow();
    ContractorCopy(layout, old, "lblConOldCostSec", "INV_OLD_COST",
                   platform::Utf8ToQString("従来工法"));

    layout.Row();
    layout.Caption(platform::Utf8ToQString("新技術"));
    TDBEdit* fresh = layout.Number("INV_NEW_COST", 120, platform::Utf8ToQString("新技術"));
    layout.Text(platform::Utf8ToQString("千円"));
    CostHints(layout,
              {platform::Utf8ToQString(kRequired), platform::Utf8ToQString(kHalfDigits),
               platform::Utf8ToQString(kCostExample)},
              hints);
    layout.EndRow();
    ContractorCopy(layout, fresh, "lblConNewCostSec", "INV_NEW_COST",
                   platform::Utf8ToQString("新技術"));

    PointFormulaRows(layout,
                     CostFormula("lblCostSubtractionSec", "lblInvOldCostSec2", "lblCostPointSec"));
}

}  // namespace

void BuildInvSectionSheet(QWidget* panel, TSheetContext& context) {
    TSheetLayout layout(panel, context, "Sec", TTableId::InvSection);
    layout.MoveTo(4);
    layout.Title(platform::Utf8ToQString("活用効果調査表(1)/個別－発注課長用"));
    layout.Row();
    layout.Caption(platform::Utf8ToQString("実施整備局"));
    layout.NameDisplay("dbmmGatherMocSec", 220, platform::Utf8ToQString("実施整備局"));
    layout.Text(platform::Utf8ToQString("実施事務所"), 80, Qt::AlignRight);
    layout.NameDisplay("dbmmHacSaiSec", 260, platform::Utf8ToQString("実施事務所"));
    layout.EndRow();

    RespondentBlock(layout, /*nameRequired=*/true);
    layout.Section(platform::Utf8ToQString("全体工事概要"));
    layout.EditRow(platform::Utf8ToQString("工事費"), "INV_CON_COST", 440,
                   {platform::Utf8ToQString(kRequired), platform::Utf8ToQString(kWide127)});
    layout.EditRow(platform::Utf8ToQString("施工会社"), "INV_CON_COMPANY", 440,
                   {platform::Utf8ToQString(kRequired), platform::Utf8ToQString(kWide127)});
    CostRows(layout);
    layout.SetGroup({});
    layout.Skip(6);
    layout.MemoRow(platform::Utf8ToQString("活用調査結果"), "INV_SECTION_RESULT", 64,
                   platform::Utf8ToQString(kWide1000));
}

}  // namespace sarvenu
