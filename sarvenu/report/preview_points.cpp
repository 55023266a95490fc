// The evaluation values of a preview computed from the work's records with
// the same rules the sheets use for their displays.
#include <vector>

#include "report/points.h"
#include "report/preview.h"
#include "report/preview_steps.h"

namespace sarvenu {

namespace {

std::string Text(TClientTable& table, const std::string& field) {
    if (!table.Active()) return {};
    const TField* f = table.FindField(field);
    return f ? f->GetText() : std::string();
}

TPreviewAspect ScoreAspect(const TSheetText& text, TTableId sheet,
                           const TPreviewAspectDef& aspect) {
    const std::string prefix = std::string("INV_") + aspect.stem + "_EVAL_";
    std::vector<std::string> answers;
    for (int slot = 1; slot <= aspect.slots; ++slot)
        answers.push_back(text(sheet, prefix + "POINT" + std::to_string(slot)));
    const TAspectScore scored =
        SetEvalPoint(answers, text(sheet, prefix + "YN1"), text(sheet, prefix + "YN2"));
    return {scored.score, scored.point};
}

// Difference and point of a pair; blanks when an entry is empty or not a number.
void PairInto(const std::string& conventional, const std::string& fresh, std::string* difference,
              std::string* point) {
    const TPairPoint pair = PairPoint(conventional, fresh, [](const std::string&) {});
    if (pair.state == TPairPoint::TState::Value) {
        *difference = pair.difference;
        *point = pair.point;
    }
}

}  // namespace

TPreviewPoints ComputePreviewPoints(TdmCdsModule& dm, bool orderingMode) {
    return ComputePreviewPoints(
        [&dm](TTableId table, const std::string& field) {
            TClientTable* t = dm.TableNamed(TableDef(table).name);
            return t ? Text(*t, field) : std::string();
        },
        orderingMode);
}

TPreviewPoints ComputePreviewPoints(const TSheetText& text, bool orderingMode) {
    TPreviewPoints points;
    const std::string conType = text(TTableId::Main, "CON_TYPE");

    switch (CostSource(conType, orderingMode)) {
        case TCostSource::SectionChief:
            PairInto(text(TTableId::InvSection, "INV_OLD_COST"),
                     text(TTableId::InvSection, "INV_NEW_COST"), &points.costDifference,
                     &points.costPoint);
            break;
        case TCostSource::Contractor:
            PairInto(text(TTableId::InvCon, "INV_OLD_COST"), text(TTableId::InvCon, "INV_NEW_COST"),
                     &points.costDifference, &points.costPoint);
            break;
        case TCostSource::None:
            break;
    }
    PairInto(text(TTableId::InvCon, "INV_PROCESS_OLD"), text(TTableId::InvCon, "INV_PROCESS_NEW"),
             &points.processDifference, &points.processPoint);

    for (size_t a = 0; a < std::size(kPreviewAspects); ++a) {
        // The chief supervisor's sheet exists only for the ordering office.
        if (orderingMode)
            points.chief[a] = ScoreAspect(text, TTableId::InvChief, kPreviewAspects[a]);
        points.contractor[a] = ScoreAspect(text, TTableId::InvCon, kPreviewAspects[a]);
    }
    if (orderingMode) {
        points.orderingCostText = points.costPoint;
        points.contractorCostText = ContractorCostText(conType, points.costPoint);
    }
    return points;
}

}  // namespace sarvenu
