// The ordering office's sheets on the forms: the utilization plan, the
// implementation report, the section chief's survey and the chief
// supervisor's survey.
#include <set>

#include "report/calculation.h"
#include "report/points.h"
#include "report/preview_steps.h"

namespace sarvenu {

namespace {

using TEntry = TCdsModuleHost::TDateEntry;

// The graded answers and "その他" ticks of the four aspects, and the ticks of
// the three further survey items: fields the forms show as markers.
const std::set<std::string>& AnswerAndTickFields() {
    static const std::set<std::string> fields = [] {
        std::set<std::string> names;
        for (const TPreviewAspectDef& aspect : kPreviewAspects) {
            const std::string prefix = std::string("INV_") + aspect.stem + "_EVAL_";
            for (int slot = 1; slot <= aspect.slots; ++slot)
                names.insert(prefix + "POINT" + std::to_string(slot));
            names.insert(prefix + "YN1");
            names.insert(prefix + "YN2");
        }
        for (const char* tick : {"INV_OTHER_YN1", "INV_OTHER_YN2", "INV_OTHER_YN3"})
            names.insert(tick);
        return names;
    }();
    return fields;
}

bool IsChiefMarker(const std::string& name) {
    static const std::set<std::string> own = {"INV_COMMON", "INV_EFFECT_YN", "INV_CST_YN",
                                              "INV_EXECUTION_YN", "INV_PURSUIT_YN"};
    return own.count(name) || AnswerAndTickFields().count(name);
}

// Fields of the chief supervisor's sheet that other sheets have too; the
// forms reach the chief supervisor's value by the suffix "_CHIEF".
bool IsChiefCopy(const std::string& name) {
    static const std::set<std::string> copies = {
        "INV_QUALITY_RESULT", "INV_SAFETY_RESULT", "INV_CONSTRUCT_RESULT", "INV_ENV_RESULT",
        "INV_BELONG",         "INV_NAME",          "INV_ADDRESS",          "INV_OTHER_RESULT"};
    return copies.count(name) != 0;
}

bool PlanDateEntry(const std::string& name, TEntry* entry) {
    static const std::pair<const char*, TEntry> dates[] = {
        {"REG_DATE", TCdsModuleHost::deRegDatePlan},
        {"CON_DATE_S", TCdsModuleHost::deConDatePlanS},
        {"CON_DATE_E", TCdsModuleHost::deConDatePlanE},
        {"TECH_CON_DATE_S", TCdsModuleHost::deTechConDatePlanS},
        {"TECH_CON_DATE_E", TCdsModuleHost::deTechConDatePlanE}};
    for (const auto& [field, date] : dates)
        if (name == field) return *entry = date, true;
    return false;
}

bool ChiefDateEntry(const std::string& name, TEntry* entry) {
    static const std::pair<const char*, TEntry> dates[] = {
        {"INV_CON_DATE_S", TCdsModuleHost::deConDateChiefS},
        {"INV_CON_DATE_E", TCdsModuleHost::deConDateChiefE},
        {"INV_TECH_CON_DATE_S", TCdsModuleHost::deTechConDateChiefS},
        {"INV_TECH_CON_DATE_E", TCdsModuleHost::deTechConDateChiefE}};
    for (const auto& [field, date] : dates)
        if (name == field) return *entry = date, true;
    return false;
}

bool IsReasonFlag(const std::string& name) {
    static const std::set<std::string> flags = {"CON_COST_YN",      "CON_PROCESS_YN",
                                                "CON_QUALITY_YN",   "CON_SAFETY_YN",
                                                "CON_CONSTRUCT_YN", "CON_ENV_YN"};
    return flags.count(name) != 0;
}

}  // namespace

bool IsAnswerOrTick(const std::string& name) {
    return AnswerAndTickFields().count(name) != 0;
}

void FillCostField(TPreviewContext& c, const TField& field, bool contractorSheet) {
    const std::string& name = field.FieldName();
    const std::string value = PageText(field);
    TPreviewPage& page = c.page;
    page.ReplaceName(name, value);
    if (contractorSheet) page.ReplaceName(name + "_CON", value);
    page.ReplaceName(name + "_CHF", value);
    page.ReplaceName(name + "_ADD", value);

    const TPreviewPoints& points = c.Points();
    page.ReplaceName("COST_SUBSTRACTION", points.costDifference);
    page.ReplaceName("COST_SUBSTRACTION_CHF", points.costDifference);
    if (contractorSheet) page.ReplaceName("COST_SUBSTRACTION_CON", points.costDifference);
    page.ReplaceName("COST_POINT", points.costPoint);
    page.ReplaceName("COST_POINT_CHF", points.costPoint);
    if (contractorSheet && c.Ordering()) page.ReplaceName("COST_POINT_CON", points.costPoint);
    page.ReplaceName("COST_POINT_AVG", points.costPoint);
}

void FillPlan(TPreviewContext& c) {
    TClientTable& plan = c.dm.cdsEV_TBL_PLAN;
    for (int i = 0; i < plan.FieldTotal(); ++i) {
        const TField& field = plan.FieldAt(i);
        const std::string& name = field.FieldName();
        TEntry date;
        if (IsReasonFlag(name)) {
            // The chosen option is marked and drawn in red.
            const std::string stem = name + field.GetText();
            c.page.ReplaceName(stem, "*");
            c.page.ReplaceName(stem + "_FS", "<FONT COLOR=\"RED\">");
            c.page.ReplaceName(stem + "_FE", "</FONT>");
        } else if (PlanDateEntry(name, &date)) {
            c.page.ReplaceName(name, c.request.dates[date]);
        } else if (name == "CON_OBJECT_QUANTITY") {
            c.page.ReplaceName(name, FormatAmount(PageText(field)));
        } else {
            c.page.ReplaceName(name, PageText(field));
        }
    }
}

void FillReport(TPreviewContext& c) {
    TClientTable& report = c.dm.cdsEV_TBL_REPORT;
    for (int i = 0; i < report.FieldTotal(); ++i) {
        const TField& field = report.FieldAt(i);
        const std::string& name = field.FieldName();
        if (name == "REG_DATE") {
            c.page.ReplaceName("REG_DATE_R", c.request.dates[TCdsModuleHost::deRegDateReport]);
            c.page.ReplaceName("NENDO", c.request.dates.nendo);
        } else {
            c.page.ReplaceName(name, PageText(field));
        }
    }
}

void FillSection(TPreviewContext& c) {
    TClientTable& section = c.dm.cdsEV_TBL_INV_SECTION;
    // The section chief's costs count for every type but the contractor proposals.
    const bool ownCosts = !c.conType.empty() && !IsContractorProposal(c.conType);
    for (int i = 0; i < section.FieldTotal(); ++i) {
        const TField& field = section.FieldAt(i);
        if (IsCostField(field.FieldName())) {
            if (ownCosts) FillCostField(c, field, false);
        } else {
            c.page.ReplaceName(field.FieldName(), PageText(field));
        }
    }
    c.ordering.Add(c.Points().costPoint);
}

void FillChief(TPreviewContext& c) {
    TClientTable& chief = c.dm.cdsEV_TBL_INV_CHIEF;
    for (int i = 0; i < chief.FieldTotal(); ++i) {
        const TField& field = chief.FieldAt(i);
        const std::string& name = field.FieldName();
        if (IsChiefMarker(name)) {
            MarkValue(c.page, name, field.GetText());
            continue;
        }
        TEntry date;
        if (ChiefDateEntry(name, &date))
            c.page.ReplaceName(name + "_R", c.request.dates[date]);
        else if (name == "INV_CON_AMOUNT")
            c.page.ReplaceName(name, FormatAmount(PageText(field)));
        else if (IsChiefCopy(name))
            c.page.ReplaceName(name + "_CHIEF", PageText(field));
        c.page.ReplaceName(name, PageText(field));
    }
    for (size_t a = 0; a < std::size(kPreviewAspects); ++a) {
        const std::string stem = kPreviewAspects[a].stem;
        const TPreviewAspect& side = c.Points().chief[a];
        c.page.ReplaceName(stem + "_CHIEF_SCORE", side.score);
        c.page.ReplaceName(stem + "_CHIEF_POINT", side.point);
        c.ordering.Add(side.point);
    }
}

}  // namespace sarvenu
