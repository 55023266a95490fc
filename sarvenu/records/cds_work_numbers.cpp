// Issuing work numbers for new works.
#include <algorithm>

#include "dataset/file_ops.h"
#include "records/cds_module.h"
#include "records/schema.h"
#include "records/work_number.h"

namespace sarvenu {

long TdmCdsModule::HighestStoredWorkNumber() {
    long highest = 0;
    auto take = [&highest](TClientTable& table) {
        const TField& key = table.FieldNamed("CONST_NO");
        table.ScanAllRecords([&](const TRecordView& record) {
            if (auto number = ParseWorkNumber(record.Text(key)))
                highest = std::max(highest, *number);
        });
    };
    for (TTableId id : {TTableId::Main, TTableId::Plan, TTableId::Report, TTableId::InvSection,
                        TTableId::InvChief, TTableId::InvCon}) {
        const std::string path = dirs_.table + TableDef(id).FileName();
        // An open table whose records are all written holds what its file
        // holds: it is read in memory instead of loading the file again.
        TClientTable* live = TableNamed(TableDef(id).name);
        if (live->Active() && !live->Unwritten() && live->FileName() == path) {
            take(*live);
            continue;
        }
        // A file that is missing or cannot be read holds no number we could
        // collide with: its table is closed for this run and never written.
        try {
            if (!SetCdsFile(path, cdsGetMaxConstNo)) continue;
        } catch (const EDatabaseError&) {
            CloseWithoutSaving(cdsGetMaxConstNo);
            continue;
        }
        try {
            take(cdsGetMaxConstNo);
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
