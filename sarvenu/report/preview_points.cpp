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

// The field names of one graded aspect: its answer slots and two ticks. Made
// once: the summary scores every aspect of thousands of works.
struct TAspectFieldNames {
    std::vector<std::string> answers;
    std::string tick1, tick2;
};
const TAspectFieldNames& AspectFieldNames(size_t aspect) {
    static const auto names = [] {
        std::vector<TAspectFieldNames> all;
        for (const TPreviewAspectDef& def : kPreviewAspects) {
            const std::string prefix = std::string("INV_") + def.stem + "_EVAL_";
            TAspectFieldNames n;
            for (int slot = 1; slot <= def.slots; ++slot)
                n.answers.push_back(prefix + "POINT" + std::to_string(slot));
            n.tick1 = prefix + "YN1";
            n.tick2 = prefix + "YN2";
            all.push_back(std::move(n));
        }
        return all;
    }();
    return names.at(aspect);
}

TPreviewAspect ScoreAspect(const TSheetText& text, TTableId sheet, size_t aspect) {
    const TAspectFieldNames& names = AspectFieldNames(aspect);
    std::vector<std::string> answers;
    answers.reserve(names.answers.size());
    for (const std::string& name : names.answers) answers.push_back(text(sheet, name));
    const TAspectScore scored =
        SetEvalPoint(answers, text(sheet, names.tick1), text(sheet, names.tick2));
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
        if (orderingMode) points.chief[a] = ScoreAspect(text, TTableId::InvChief, a);
        points.contractor[a] = ScoreAspect(text, TTableId::InvCon, a);
    }
    if (orderingMode) {
        points.orderingCostText = points.costPoint;
        points.contractorCostText = ContractorCostText(conType, points.costPoint);
    }
    return points;
}

}  // namespace sarvenu
