#include "records/schema.h"

#include <strings.h>

#include <stdexcept>

namespace sarvenu {

namespace {

using Columns = std::vector<TColumnDef>;

void Text(Columns& c, const std::string& name, uint32_t width) {
    c.push_back({name, TColumnKind::Text, width});
}
void Integer(Columns& c, const std::string& name) {
    c.push_back({name, TColumnKind::Integer, 0});
}

// The respondent of a survey sheet.
void Respondent(Columns& c) {
    Text(c, "INV_BELONG", kTextWidth);
    Text(c, "INV_NAME", kTextWidth);
    Text(c, "INV_ADDRESS", kTextWidth);
}

// Graded questions of one aspect: the fixed ones, two optional ones, their
// in-use flags and wordings, and the aspect's result text.
void AspectGroup(Columns& c, const TAspect& aspect) {
    const std::string prefix = std::string("INV_") + aspect.name + "_";
    for (int i = 1; i <= aspect.fixedQuestions + 2; ++i)
        Text(c, prefix + "EVAL_POINT" + std::to_string(i), kGradeWidth);
    Text(c, prefix + "EVAL_YN1", kFlagWidth);
    Text(c, prefix + "EVAL_YN2", kFlagWidth);
    Text(c, prefix + "OTHER1", kTextWidth);
    Text(c, prefix + "OTHER2", kTextWidth);
    Text(c, prefix + "RESULT", kLongTextWidth);
}

// The three further survey items and the group's result.
void OtherGroup(Columns& c) {
    for (int k = 1; k <= 3; ++k) {
        const std::string n = std::to_string(k);
        Text(c, "INV_OTHER_YN" + n, kFlagWidth);
        Text(c, "INV_OTHER_CONTENT" + n, kTextWidth);
        Text(c, "INV_OTHER_NOTE" + n, kTextWidth);
    }
    Text(c, "INV_OTHER_RESULT", kLongTextWidth);
}

void AllAspects(Columns& c) {
    for (const TAspect& aspect : Aspects()) AspectGroup(c, aspect);
    OtherGroup(c);
}

Columns MainColumns() {
    Columns c;
    Text(c, "CONST_NO", kWorkNumberWidth);
    Text(c, "CON_NAME", kTextWidth);
    Text(c, "TECH_TITLE", kTextWidth);
    Text(c, "REG_NO", 10);
    Text(c, "MOC_CD", kCodeWidth);
    Text(c, "OFFICE_CD", kCodeWidth);
    Text(c, "CON_CHARGE_SEC", kTextWidth);
    Text(c, "OLD_TECH_TITLE", kTextWidth);
    Text(c, "CON_TYPE", kCodeWidth);
    Text(c, "CON_TYPE_MODE", kCodeWidth);
    Text(c, "REG_VERSION", kCodeWidth);
    return c;
}

Columns PlanColumns() {
    Columns c;
    Text(c, "CONST_NO", kWorkNumberWidth);
    for (const char* date :
         {"REG_DATE", "CON_DATE_S", "CON_DATE_E", "TECH_CON_DATE_S", "TECH_CON_DATE_E"})
        Text(c, date, kDateWidth);
    Text(c, "CON_PLACE", kTextWidth);
    Text(c, "CON_CONTENT", kLongTextWidth);
    Text(c, "CON_OBJECT_QUANTITY", kTextWidth);
    Text(c, "CON_PLACE_CONDITION", kTextWidth);
    for (const char* reason :
         {"CON_COST", "CON_PROCESS", "CON_QUALITY", "CON_SAFETY", "CON_CONSTRUCT", "CON_ENV"}) {
        Text(c, std::string(reason) + "_YN", kFlagWidth);
        Text(c, reason, kTextWidth);
    }
    Text(c, "CON_CHARGE_DEP", kTextWidth);
    Text(c, "CON_CHARGE_MIC", 30);
    return c;
}

Columns ReportColumns() {
    Columns c;
    Text(c, "CONST_NO", kWorkNumberWidth);
    Text(c, "REG_DATE", kDateWidth);
    return c;
}

Columns SectionColumns() {
    Columns c;
    Text(c, "CONST_NO", kWorkNumberWidth);
    Respondent(c);
    Text(c, "INV_CON_COST", kTextWidth);
    Text(c, "INV_CON_COMPANY", kTextWidth);
    Text(c, "INV_COST_UNIT", kTextWidth);
    Text(c, "INV_OLD_COST", 12);
    Text(c, "INV_NEW_COST", 12);
    Text(c, "INV_SECTION_RESULT", kLongTextWidth);
    return c;
}

Columns ChiefColumns() {
    Columns c;
    Text(c, "CONST_NO", kWorkNumberWidth);
    Respondent(c);
    for (const char* date :
         {"INV_CON_DATE_S", "INV_CON_DATE_E", "INV_TECH_CON_DATE_S", "INV_TECH_CON_DATE_E"})
        Text(c, date, kDateWidth);
    Text(c, "INV_CON_AMOUNT", kTextWidth);
    for (const char* flag : {"INV_EFFECT_YN", "INV_CST_YN", "INV_EXECUTION_YN", "INV_PURSUIT_YN"})
        Text(c, flag, kFlagWidth);
    Text(c, "INV_COMMON", kGradeWidth);
    AllAspects(c);
    Text(c, "INV_CHIEF_OTHER_RESULT", kLongTextWidth);
    Text(c, "INV_CHIEF_RESULT", kLongTextWidth);
    return c;
}

Columns ContractorColumns() {
    Columns c;
    Text(c, "CONST_NO", kWorkNumberWidth);
    Respondent(c);
    Text(c, "INV_NATURAL_ENV", kLongTextWidth);
    Text(c, "INV_SURROUND_ENV", kLongTextWidth);
    Text(c, "INV_PLACE_CONDITION", kLongTextWidth);
    Text(c, "INV_COST_UNIT", kTextWidth);
    Text(c, "INV_OLD_COST", 12);
    Text(c, "INV_NEW_COST", 12);
    Text(c, "INV_COST_RESULT", kLongTextWidth);
    Text(c, "INV_PROCESS_OLD", 6);
    Text(c, "INV_PROCESS_NEW", 6);
    Text(c, "INV_PROCESS_RESULT", kLongTextWidth);
    AllAspects(c);
    Text(c, "INV_CON_OTHER_RESULT", kLongTextWidth);
    Text(c, "INV_CON_RESULT", kLongTextWidth);
    for (const char* slot : {"A", "B", "C"}) Text(c, std::string("PICTURE_") + slot, 50);
    for (const char* slot : {"A", "B", "C"})
        Text(c, std::string("FILE_NAME_") + slot, kPictureFileWidth);
    return c;
}

// Code tables keep their codes as integers, so that code ranges compare as
// numbers (office 2050 is not between 200 and 300).
Columns GatherMocColumns() {
    Columns c;
    Integer(c, "CD");
    Text(c, "GATHER_MOC", 100);
    return c;
}

Columns HacSaiColumns() {
    Columns c;
    Integer(c, "CD");
    Text(c, "HAC_SAI", 100);
    Integer(c, "sort_id");
    return c;
}

Columns ConTypeModeColumns() {
    Columns c;
    Integer(c, "CD");
    Text(c, "CON_TYPE_MODE", 100);
    return c;
}

Columns ConTypeColumns() {
    Columns c;
    Integer(c, "CD");
    Text(c, "CON_TYPE", 100);
    return c;
}

std::vector<TTableDef> BuildSchema() {
    return {
        {TTableId::Main, "EV_TBL_MAIN", "cdsEV_TBL_MAIN", true, "CONST_NO", MainColumns()},
        {TTableId::Plan, "EV_TBL_PLAN_R", "cdsEV_TBL_PLAN", true, "CONST_NO", PlanColumns()},
        {TTableId::Report, "EV_TBL_REPORT_R", "cdsEV_TBL_REPORT", true, "CONST_NO",
         ReportColumns()},
        {TTableId::InvSection, "EV_TBL_INV_SECTION_R", "cdsEV_TBL_INV_SECTION", true, "CONST_NO",
         SectionColumns()},
        {TTableId::InvChief, "EV_TBL_INV_CHIEF_R", "cdsEV_TBL_INV_CHIEF", true, "CONST_NO",
         ChiefColumns()},
        {TTableId::InvCon, "EV_TBL_INV_CON_R", "cdsEV_TBL_INV_CON", true, "CONST_NO",
         ContractorColumns()},
        {TTableId::GatherMoc, "MV_STBL_INFO_GATHER_MOC", "cdsMV_STBL_INFO_GATHER_MOC", false, "CD",
         GatherMocColumns()},
        {TTableId::HacSai, "MV_STBL_HAC_SAI", "cdsMV_STBL_HAC_SAI", false, "CD", HacSaiColumns()},
        {TTableId::ConTypeMode, "EV_STBL_CON_TYPE_MODE", "cdsEV_STBL_CON_TYPE_MODE", false, "CD",
         ConTypeModeColumns()},
        {TTableId::ConType, "EV_STBL_CON_TYPE", "cdsEV_STBL_CON_TYPE", false, "CD",
         ConTypeColumns()},
    };
}

}  // namespace

int TTableDef::ColumnIndex(const std::string& column) const {
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name == column) return static_cast<int>(i);
    return -1;
}

const std::vector<TAspect>& Aspects() {
    static const std::vector<TAspect> aspects = {
        {"QUALITY", 5}, {"SAFETY", 5}, {"CONSTRUCT", 6}, {"ENV", 5}};
    return aspects;
}

const std::vector<TTableDef>& SurveySchema() {
    static const std::vector<TTableDef> schema = BuildSchema();
    return schema;
}

const TTableDef& TableDef(TTableId id) {
    return SurveySchema().at(static_cast<size_t>(id));
}

const TTableDef* FindTableDef(const std::string& name) {
    for (const TTableDef& def : SurveySchema())
        if (strcasecmp(def.name.c_str(), name.c_str()) == 0) return &def;
    return nullptr;
}

}  // namespace sarvenu
