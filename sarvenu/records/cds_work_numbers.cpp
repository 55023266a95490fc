// Issuing work numbers for new works.
#include <algorithm>

#include "dataset/file_ops.h"
#include "records/cds_module.h"
#include "records/schema.h"
#include "records/work_number.h"

namespace sarvenu {

long TdmCdsModule::HighestStoredWorkNumber() {
    long highest = 0;
    for (TTableId id : {TTableId::Main, TTableId::Plan, TTableId::Report, TTableId::InvSection,
                        TTableId::InvChief, TTableId::InvCon}) {
        const std::string path = dirs_.table + TableDef(id).FileName();
        // A file that is missing or cannot be read holds no number we could
        // collide with: its table is closed for this run and never written.
        try {
            if (!SetCdsFile(path, cdsGetMaxConstNo)) continue;
        } catch (const EDatabaseError&) {
            CloseWithoutSaving(cdsGetMaxConstNo);
            continue;
        }
        try {
            cdsGetMaxConstNo.MoveFirst();
            TField& key = cdsGetMaxConstNo.FieldNamed("CONST_NO");
            while (!cdsGetMaxConstNo.AtEnd()) {
                if (auto number = ParseWorkNumber(key.GetText()))
                    highest = std::max(highest, *number);
                cdsGetMaxConstNo.MoveNext();
            }
        } catch (...) {
            CloseWithoutSaving(cdsGetMaxConstNo);
            throw;
        }
        // Only read: the file is not written back.
        CloseWithoutSaving(cdsGetMaxConstNo);
    }
    return highest;
}

std::string TdmCdsModule::GetNextConstNo() {
    const long candidate = HighestStoredWorkNumber() + 1;
    const long number = lastIssuedNumber_ >= candidate ? lastIssuedNumber_ + 1 : candidate;
    lastIssuedNumber_ = number;
    if (!cdsEV_TBL_MAIN.IsEditing()) cdsEV_TBL_MAIN.StartInsert();
    return FormatWorkNumber(number);
}

}  // namespace sarvenu
