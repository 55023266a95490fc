// The evaluation points on the sheets and the totals tabs: the cost and
// process points, the score and point of each graded aspect for both sides,
// the averages and the overall point, the locking of the cost entries by
// construction type, and the automatic tick of an answered optional item.
// The numbers come from report/points.h; this file only reads the entries
// and fills the displays.
#include <QPalette>

#include "platform/codepage.h"
#include "records/entry_names.h"
#include "records/jstrm_k.h"
#include "report/points.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/system_info.h"

namespace sarvenu {

namespace {

// The graded aspects: field word, display word, answer slotCount.
struct TGradedAspect {
    const char* field;  // "QUALITY"
    const char* word;   // "Quality"
    int slotCount;      // 7, or 8 for construct
};
const TGradedAspect kGradedAspects[kItemAspectCount] = {{"QUALITY", "Quality", 7},
                                                        {"SAFETY", "Safety", 7},
                                                        {"CONSTRUCT", "Construct", 8},
                                                        {"ENV", "Env", 7}};

const char* const kNotStated = "表記無し";

}  // namespace

TClientTable& TfrmMain::SheetTable(TTableId sheet) {
    switch (sheet) {
        case TTableId::Plan:
            return dm_->cdsEV_TBL_PLAN;
        case TTableId::Report:
            return dm_->cdsEV_TBL_REPORT;
        case TTableId::InvSection:
            return dm_->cdsEV_TBL_INV_SECTION;
        case TTableId::InvChief:
            return dm_->cdsEV_TBL_INV_CHIEF;
        case TTableId::InvCon:
            return dm_->cdsEV_TBL_INV_CON;
        default:
            return dm_->cdsEV_TBL_MAIN;
    }
}

std::string TfrmMain::FieldText(TTableId sheet, const std::string& field) {
    TClientTable& table = SheetTable(sheet);
    if (!table.Active()) return {};
    return table.FieldNamed(field).GetText();
}

void TfrmMain::SetDisplay(const QString& name, const std::string& cp932) {
    if (auto* label = FindControl<QLabel>(name)) label->setText(platform::Cp932ToQString(cp932));
}

std::string TfrmMain::DisplayText(const QString& name) const {
    auto* label = FindControl<QLabel>(name);
    return label ? platform::QStringToCp932(label->text()) : std::string();
}

void TfrmMain::ShowNumberError(const std::string& message) {
    MessageBox(this, message, GetAppTitle(), miError, mbOK);
}

void TfrmMain::SelCost_T(TTableId sheet) {
    for (const char* field : {"INV_COST_UNIT", "INV_OLD_COST", "INV_NEW_COST"}) {
        if (auto* entry = FindControl<TDBEdit>(EntryName(sheet, field))) {
            entry->setEnabled(true);
            entry->setReadOnly(false);
            entry->setPalette(QPalette());
        }
    }
}

void TfrmMain::SelCost_F(TTableId sheet) {
    for (const char* field : {"INV_COST_UNIT", "INV_OLD_COST", "INV_NEW_COST"}) {
        if (auto* entry = FindControl<TDBEdit>(EntryName(sheet, field))) {
            entry->setReadOnly(true);
            entry->setEnabled(false);
        }
    }
}

// Shows the section chief's cost entries (with their hints) or, in their
// place, the read-only copies of the contractor's.
void TfrmMain::ShowSectionCostEntries(bool shown) {
    for (const char* field : {"INV_COST_UNIT", "INV_OLD_COST", "INV_NEW_COST"})
        if (auto* entry = FindControl<TDBEdit>(EntryName(TTableId::InvSection, field)))
            entry->setVisible(shown);
    for (int i = 1; i <= 8; ++i)
        if (auto* hint = FindControl<QLabel>("lblSecCostHint" + QString::number(i)))
            hint->setVisible(shown);
    for (const char* copy : {"lblConCostUnitSec", "lblConOldCostSec", "lblConNewCostSec"})
        if (auto* label = FindControl<QLabel>(copy)) label->setVisible(!shown);
}

// The contractor column's cost cell: "表記無し" in blue on the panel colour, a
// number in the normal text colour on medium grey.
void TfrmMain::SetContractorCostCell(const std::string& cp932) {
    auto* cell = FindControl<QLabel>("lblCostPointConAdd1");
    if (!cell) return;
    cell->setText(platform::Cp932ToQString(cp932));
    if (cp932 == platform::Utf8ToCp932(kNotStated))
        cell->setStyleSheet("color: blue; background: palette(window);");
    else
        cell->setStyleSheet("color: palette(text); background: #a0a0a0;");
}

void TfrmMain::SetCostPoint(TDBEdit* changed) {
    if (changed) EditChk(changed);
    const std::string type = FieldText(TTableId::Main, "CON_TYPE");
    const bool proposal = IsContractorProposal(type);

    // Which entries may be typed into.
    if (orderingOffice_) {
        if (proposal) {
            SelCost_T(TTableId::InvCon);
            SelCost_F(TTableId::InvSection);
            ShowSectionCostEntries(false);
        } else if (!type.empty()) {
            SelCost_T(TTableId::InvSection);
            SelCost_F(TTableId::InvCon);
            ShowSectionCostEntries(true);
        } else {
            SelCost_F(TTableId::InvSection);
            SelCost_F(TTableId::InvCon);
            ShowSectionCostEntries(true);
        }
    } else if (proposal) {
        SelCost_T(TTableId::InvCon);
    } else {
        SelCost_F(TTableId::InvCon);
    }

    // The pair the construction type names, copied to the chief supervisor's
    // sheet and the totals tabs.
    const TCostSource source = CostSource(type, orderingOffice_);
    const TTableId sheet =
        source == TCostSource::Contractor ? TTableId::InvCon : TTableId::InvSection;
    std::string unit, conventional, fresh;
    if (source != TCostSource::None) {
        unit = FieldText(sheet, "INV_COST_UNIT");
        conventional = FieldText(sheet, "INV_OLD_COST");
        fresh = FieldText(sheet, "INV_NEW_COST");
    }
    for (const char* name : {"lblInvCostUnitChief", "lblInvCostUnitAdd1", "lblInvCostUnitAdd2"})
        SetDisplay(name, unit);
    for (const char* name : {"lblInvOldCostChief", "lblInvOldCostAdd1"})
        SetDisplay(name, conventional);
    for (const char* name : {"lblInvNewCostChief", "lblInvNewCostAdd1"}) SetDisplay(name, fresh);

    const TPairPoint pair =
        source == TCostSource::None
            ? TPairPoint{}
            : PairPoint(conventional, fresh, [this](const std::string& m) { ShowNumberError(m); });
    if (pair.state == TPairPoint::TState::Blank) {
        for (const char* name :
             {"lblCostSubtractionSec", "lblInvOldCostSec2", "lblCostPointSec",
              "lblCostSubtractionChief", "lblInvOldCostChief2", "lblCostPointChief",
              "lblCostSubtractionCon2", "lblInvOldCostCon2", "lblCostPointCon",
              "lblCostSubtractionAdd1", "lblCostPointChiefAdd1", "lblCostPointAvgAdd1",
              "lblCostPointAvgAdd2"})
            SetDisplay(name, {});
        if (orderingOffice_)
            SetContractorCostCell(proposal ? std::string() : platform::Utf8ToCp932(kNotStated));
    } else if (pair.state == TPairPoint::TState::Value) {
        const std::pair<const char*, const std::string*> shown[] = {
            {"lblCostSubtractionSec", &pair.difference},
            {"lblInvOldCostSec2", &conventional},
            {"lblCostPointSec", &pair.point},
            {"lblCostSubtractionChief", &pair.difference},
            {"lblInvOldCostChief2", &conventional},
            {"lblCostPointChief", &pair.point},
            {"lblCostSubtractionAdd1", &pair.difference},
            {"lblCostPointAvgAdd1", &pair.point},
            {"lblCostPointAvgAdd2", &pair.point}};
        for (const auto& [name, text] : shown) SetDisplay(name, *text);
        const std::string none;
        SetDisplay("lblCostSubtractionCon2", proposal ? pair.difference : none);
        SetDisplay("lblInvOldCostCon2", proposal ? conventional : none);
        SetDisplay("lblCostPointCon", proposal ? pair.point : none);
        if (orderingOffice_) {
            SetDisplay("lblCostPointChiefAdd1", pair.point);
            SetContractorCostCell(ContractorCostText(type, pair.point));
        }
    }
    // A conversion error keeps every display as it was.

    // The costs on the totals tab (2/2) follow the entries whatever happened.
    SetDisplay("lblInvOldCostAdd2", conventional);
    SetDisplay("lblInvNewCostAdd2", fresh);
}

void TfrmMain::SetProcessPoint() {
    const std::string conventional = FieldText(TTableId::InvCon, "INV_PROCESS_OLD");
    const std::string fresh = FieldText(TTableId::InvCon, "INV_PROCESS_NEW");
    const TPairPoint pair =
        PairPoint(conventional, fresh, [this](const std::string& m) { ShowNumberError(m); });
    if (pair.state == TPairPoint::TState::Error) return;
    const bool blank = pair.state == TPairPoint::TState::Blank;
    const std::string difference = blank ? std::string() : pair.difference;
    const std::string old = blank ? std::string() : conventional;
    const std::string point = blank ? std::string() : pair.point;
    for (const char* name :
         {"lblProcessSubtractionCon2", "lblProcessSubtractionChief", "lblProcessSubtractionAdd1"})
        SetDisplay(name, difference);
    for (const char* name : {"lblInvProcessOld", "lblInvProcessOldChief2"}) SetDisplay(name, old);
    for (const char* name :
         {"lblInvProcessPointCon", "lblProcessPointChief", "lblProcessPointChiefAdd1",
          "lblProcessPointConAdd1", "lblProcessPointAvgAdd1", "lblProcessPointAvgAdd2"})
        SetDisplay(name, point);
}

void TfrmMain::SetEvalPoint(int aspect, TTableId sheet) {
    const TGradedAspect& graded = kGradedAspects[aspect];
    const std::string prefix = std::string("INV_") + graded.field + "_EVAL_";
    std::vector<std::string> answers;
    for (int slot = 1; slot <= graded.slotCount; ++slot)
        answers.push_back(FieldText(sheet, prefix + "POINT" + std::to_string(slot)));
    const TAspectScore score = sarvenu::SetEvalPoint(answers, FieldText(sheet, prefix + "YN1"),
                                                     FieldText(sheet, prefix + "YN2"));
    const QString word = graded.word;
    const QString side = sheet == TTableId::InvChief ? "Chief" : "Con";
    SetDisplay("lbl" + word + "Score" + side, score.score);
    SetDisplay("lbl" + word + "Point" + side, score.point);
    SetDisplay("lbl" + word + "Point" + side + "Add1", score.point);
    const std::string average = MeanOfTwo(DisplayText("lbl" + word + "PointChiefAdd1"),
                                          DisplayText("lbl" + word + "PointConAdd1"));
    SetDisplay("lbl" + word + "PointAvgAdd1", average);
    SetDisplay("lbl" + word + "PointAvgAdd2", average);
}

void TfrmMain::AspectChanged(int aspect, TTableId sheet, const std::string& controlName) {
    SetAutoChecked(controlName);
    if (!sheetPages_) return;
    SetEvalPoint(aspect, sheet);
}

void TfrmMain::InvQualityChief(const std::string& name) {
    AspectChanged(0, TTableId::InvChief, name);
}
void TfrmMain::InvSafetyChief(const std::string& name) {
    AspectChanged(1, TTableId::InvChief, name);
}
void TfrmMain::InvConstructChief(const std::string& name) {
    AspectChanged(2, TTableId::InvChief, name);
}
void TfrmMain::InvEnvChief(const std::string& name) {
    AspectChanged(3, TTableId::InvChief, name);
}
void TfrmMain::InvQualityCon(const std::string& name) {
    AspectChanged(0, TTableId::InvCon, name);
}
void TfrmMain::InvSafetyCon(const std::string& name) {
    AspectChanged(1, TTableId::InvCon, name);
}
void TfrmMain::InvConstructCon(const std::string& name) {
    AspectChanged(2, TTableId::InvCon, name);
}
void TfrmMain::InvEnvCon(const std::string& name) {
    AspectChanged(3, TTableId::InvCon, name);
}

void TfrmMain::SetAutoChecked(const std::string& controlName) {
    if (importRunning_) return;
    for (TTableId sheet : {TTableId::InvChief, TTableId::InvCon}) {
        if (sheet == TTableId::InvChief && !orderingOffice_) continue;
        const QString tab = sheet == TTableId::InvChief ? "tsInvChief" : "tsInvCon";
        for (const TGradedAspect& graded : kGradedAspects) {
            const std::string prefix = std::string("INV_") + graded.field + "_EVAL_";
            for (int optional = 1; optional <= 2; ++optional) {
                const int slot = graded.slotCount - 2 + optional;
                if (controlName != EntryName(sheet, prefix + "POINT" + std::to_string(slot)))
                    continue;
                QWidget* page = pcSarvenu->currentWidget();
                TClientTable& table = SheetTable(sheet);
                if (!page || page->objectName() != tab || !table.IsEditing()) return;
                TField& tick = table.FieldNamed(prefix + "YN" + std::to_string(optional));
                if (tick.GetText() != "1") tick.SetText("1");
                return;
            }
        }
    }
}

void TfrmMain::SetPointAvg() {
    std::vector<std::string> ordering{DisplayText("lblCostPointChiefAdd1"),
                                      DisplayText("lblProcessPointChiefAdd1")};
    std::vector<std::string> averages{DisplayText("lblCostPointAvgAdd1"),
                                      DisplayText("lblProcessPointAvgAdd1")};
    for (const TGradedAspect& graded : kGradedAspects) {
        ordering.push_back(DisplayText(QString("lbl") + graded.word + "PointChiefAdd1"));
        averages.push_back(DisplayText(QString("lbl") + graded.word + "PointAvgAdd1"));
    }
    SetDisplay("lblChiefPointAvgAdd1", MeanOfSix(ordering));
    const std::string overall = MeanOfSix(averages);
    SetDisplay("lblPointAvgAdd1", overall);
    SetDisplay("lblPointAvgAdd2", overall);
}

void TfrmMain::ConTypeChanged() {
    SetConnectConType();
    SetCostPoint(FindControl<TDBEdit>(EntryName(TTableId::InvSection, "INV_OLD_COST")));
    SetCostPoint(FindControl<TDBEdit>(EntryName(TTableId::InvCon, "INV_OLD_COST")));
    SetPointAvg();
}

void TfrmMain::AutoCalucation() {
    if (orderingOffice_) {
        SetCostPoint(FindControl<TDBEdit>(EntryName(TTableId::InvSection, "INV_OLD_COST")));
        SetProcessPoint();
        for (int aspect = 0; aspect < kItemAspectCount; ++aspect)
            SetEvalPoint(aspect, TTableId::InvChief);
    }
    SetCostPoint(FindControl<TDBEdit>(EntryName(TTableId::InvCon, "INV_OLD_COST")));
    SetProcessPoint();
    for (int aspect = 0; aspect < kItemAspectCount; ++aspect)
        SetEvalPoint(aspect, TTableId::InvCon);
    SetPointAvg();
}

void TfrmMain::WirePoints() {
    for (TTableId sheet : {TTableId::InvSection, TTableId::InvCon}) {
        for (const char* field : {"INV_OLD_COST", "INV_NEW_COST"}) {
            auto* entry = FindControl<TDBEdit>(EntryName(sheet, field));
            if (!entry) continue;
            entry->OnExit = [this, entry] { SetCostPoint(entry); };
        }
    }
    for (const char* field : {"INV_PROCESS_OLD", "INV_PROCESS_NEW"}) {
        auto* entry = FindControl<TDBEdit>(EntryName(TTableId::InvCon, field));
        if (!entry) continue;
        entry->OnExit = [this, entry] {
            EditChk(entry);
            SetProcessPoint();
        };
    }
    for (TTableId sheet : {TTableId::InvChief, TTableId::InvCon}) {
        for (int aspect = 0; aspect < kItemAspectCount; ++aspect) {
            const TGradedAspect& graded = kGradedAspects[aspect];
            const std::string prefix = std::string("INV_") + graded.field + "_EVAL_";
            for (int slot = 1; slot <= graded.slotCount; ++slot) {
                const std::string name = EntryName(sheet, prefix + "POINT" + std::to_string(slot));
                if (auto* group = FindControl<TDBRadioGroup>(name))
                    group->OnClick = [this, aspect, sheet, name] {
                        AspectChanged(aspect, sheet, name);
                    };
            }
            for (const char* tick : {"YN1", "YN2"}) {
                const std::string name = EntryName(sheet, prefix + tick);
                if (auto* box = FindControl<TDBCheckBox>(name))
                    box->OnClick = [this, aspect, sheet, name] {
                        AspectChanged(aspect, sheet, name);
                    };
            }
        }
    }
    if (auto* type = FindControl<TDBLookupComboBox>("dblcmbConType")) {
        type->OnClick = [this] { ConTypeChanged(); };
        type->OnKeyDown = [this](int) {
            ConTypeChanged();
            return false;
        };
    }
    if (auto* group = FindControl<TDBRadioGroup>(kConTypePlanGroup))
        group->OnClick = [this] { ConTypeChanged(); };
}

}  // namespace sarvenu
