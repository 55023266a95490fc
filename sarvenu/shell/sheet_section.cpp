// Survey sheet (1), answered by the ordering section chief (発注課長): the
// respondent, the whole work's cost and contractor, the Ⅰ経済性 entries with
// their point, and the survey result. For the contractor-proposal types the
// window hides the cost entries (and their hints lblSecCostHint1..) and shows
// in their place the contractor's values (lblConCostUnitSec ...), which are
// bound to the contractor's sheet.
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
    copy->setAccessibleName(layout.Accessible(label + Jp("(請負者)")));
    copy->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const bool number = dynamic_cast<TRightDBEdit*>(entry) != nullptr;
    copy->setAlignment((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    copy->setGeometry(entry->geometry());
    copy->hide();
}

void CostRows(TSheetLayout& layout) {
    layout.Section(Jp("Ⅰ経済性"));
    layout.Note(Jp("・試行申請型、発注者指定型、フィールド提供型の場合、発注課長が記入する。"));
    layout.Note(Jp("施工者希望型の場合は請負者が記入する（活用の型により入力の制限あり）。"));
    int hints = 0;

    layout.Row();
    layout.Caption(Jp("単位"));
    TDBEdit* unit = layout.Edit("INV_COST_UNIT", 240, Jp("単位"));
    layout.Text(Jp("当り"));
    CostHints(layout, {Jp(kRequired), Jp(kWide127)}, hints);
    layout.EndRow();
    ContractorCopy(layout, unit, "lblConCostUnitSec", "INV_COST_UNIT", Jp("単位"));

    layout.Row();
    layout.Caption(Jp("従来工法"));
    TDBEdit* old = layout.Number("INV_OLD_COST", 120, Jp("従来工法"));
    layout.Text(Jp("千円"));
    CostHints(layout, {Jp(kRequired), Jp(kHalfDigits), Jp(kCostExample)}, hints);
    layout.EndRow();
    ContractorCopy(layout, old, "lblConOldCostSec", "INV_OLD_COST", Jp("従来工法"));

    layout.Row();
    layout.Caption(Jp("新技術"));
    TDBEdit* fresh = layout.Number("INV_NEW_COST", 120, Jp("新技術"));
    layout.Text(Jp("千円"));
    CostHints(layout, {Jp(kRequired), Jp(kHalfDigits), Jp(kCostExample)}, hints);
    layout.EndRow();
    ContractorCopy(layout, fresh, "lblConNewCostSec", "INV_NEW_COST", Jp("新技術"));

    PointFormulaRows(layout,
                     CostFormula("lblCostSubtractionSec", "lblInvOldCostSec2", "lblCostPointSec"));
}

}  // namespace

void BuildInvSectionSheet(QWidget* panel, TSheetContext& context) {
    TSheetLayout layout(panel, context, "Sec", TTableId::InvSection);
    layout.MoveTo(4);
    layout.Title(Jp("活用効果調査表(1)/個別－発注課長用"));
    layout.Row();
    layout.Caption(Jp("実施整備局"));
    layout.NameDisplay("dbmmGatherMocSec", 220, Jp("実施整備局"));
    layout.Text(Jp("実施事務所"), 80, Qt::AlignRight);
    layout.NameDisplay("dbmmHacSaiSec", 260, Jp("実施事務所"));
    layout.EndRow();

    RespondentBlock(layout, /*nameRequired=*/true);
    layout.Section(Jp("全体工事概要"));
    layout.EditRow(Jp("工事費"), "INV_CON_COST", 440, {Jp(kRequired), Jp(kWide127)});
    layout.EditRow(Jp("施工会社"), "INV_CON_COMPANY", 440, {Jp(kRequired), Jp(kWide127)});
    CostRows(layout);
    layout.SetGroup({});
    layout.Skip(6);
    layout.MemoRow(Jp("活用調査結果"), "INV_SECTION_RESULT", 64, Jp(kWide1000));
}

}  // namespace sarvenu
