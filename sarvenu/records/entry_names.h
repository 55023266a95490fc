// The object names of the entries that edit survey fields, made by one rule so
// that the sheets, the window's handlers and the checks agree on them:
// kind prefix + sheet + "_" + field ("dbePlan_CON_PLACE", "dbmmCon_INV_COST_RESULT",
// "dbrgChief_INV_QUALITY_EVAL_POINT3", "dbcbPlan_CON_COST_YN"). The kind follows
// from the field: flags are tick boxes (dbcb), grades and INV_COMMON radio groups
// (dbrg), long and several-line texts memos (dbmm), everything else one-line
// entries (dbe). The header's three code lists keep their own names.
#pragma once

#include <string>

#include "records/schema.h"

namespace sarvenu {

// "Main", "Plan", "Rep", "Sec", "Chief", "Con" for the six survey tables.
std::string SheetSuffix(TTableId table);
// "dbcb", "dbrg", "dbmm" or "dbe" for a field of a survey table.
std::string EntryPrefix(TTableId table, const std::string& field);
// The object name of the entry editing table.field. The header lists:
// Main.MOC_CD -> "dblcmbGatherMoc", Main.OFFICE_CD -> "dblcmbHacSai",
// Main.CON_TYPE -> "dblcmbConType".
std::string EntryName(TTableId table, const std::string& field);

// The plan tab's radio group for the utilization type (Main.CON_TYPE).
inline constexpr const char* kConTypePlanGroup = "dbrgConTypePlan";

}  // namespace sarvenu
