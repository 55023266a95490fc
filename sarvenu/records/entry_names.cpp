#include "records/entry_names.h"

namespace sarvenu {

std::string SheetSuffix(TTableId table) {
    switch (table) {
        case TTableId::Main:
            return "Main";
        case TTableId::Plan:
            return "Plan";
        case TTableId::Report:
            return "Rep";
        case TTableId::InvSection:
            return "Sec";
        case TTableId::InvChief:
            return "Chief";
        case TTableId::InvCon:
            return "Con";
        default:
            return "";
    }
}

std::string EntryPrefix(TTableId table, const std::string& field) {
    const TTableDef& def = TableDef(table);
    const int index = def.ColumnIndex(field);
    if (index < 0) return "dbe";
    const TColumnDef& column = def.columns[static_cast<size_t>(index)];
    if (column.kind == TColumnKind::Text) {
        if (column.width == kFlagWidth) return "dbcb";
        if (column.width == kGradeWidth) return "dbrg";
        if (column.width == kLongTextWidth) return "dbmm";
    }
    return "dbe";
}

std::string EntryName(TTableId table, const std::string& field) {
    if (table == TTableId::Main) {
        if (field == "MOC_CD") return "dblcmbGatherMoc";
        if (field == "OFFICE_CD") return "dblcmbHacSai";
        if (field == "CON_TYPE") return "dblcmbConType";
    }
    return EntryPrefix(table, field) + SheetSuffix(table) + "_" + field;
}

}  // namespace sarvenu
