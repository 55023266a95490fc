#include "records/cds_module.h"

#include <functional>
#include <initializer_list>

#include "dataset/dataset_messages.h"
#include "dataset/file_ops.h"
#include "platform/codepage.h"
#include "records/code_tables.h"
#include "records/schema.h"
#include "records/table_health.h"

namespace sarvenu {

void CloseWithoutSaving(TClientTable& table) noexcept {
    const std::string fileName = table.FileName();
    table.SetFileName({});
    try {
        if (table.Active()) table.CloseTable();
    } catch (...) {
        // Without a file name closing only releases the engine objects.
    }
    table.SetFileName(fileName);
}

TdmCdsModule::TdmCdsModule(TCdsModuleHost& host, const std::string& exeDir)
    : cdsEV_TBL_MAIN("cdsEV_TBL_MAIN"),
      cdsEV_STBL_CON_TYPE("cdsEV_STBL_CON_TYPE"),
      cdsEV_STBL_CON_TYPE_MODE("cdsEV_STBL_CON_TYPE_MODE"),
      cdsMV_STBL_HAC_SAI("cdsMV_STBL_HAC_SAI"),
      cdsMV_STBL_INFO_GATHER_MOC("cdsMV_STBL_INFO_GATHER_MOC"),
      cdsGetMaxConstNo("cdsGetMaxConstNo"),
      cdsEV_TBL_PLAN("cdsEV_TBL_PLAN"),
      cdsEV_TBL_REPORT("cdsEV_TBL_REPORT"),
      cdsEV_TBL_INV_SECTION("cdsEV_TBL_INV_SECTION"),
      cdsEV_TBL_INV_CHIEF("cdsEV_TBL_INV_CHIEF"),
      cdsEV_TBL_INV_CON("cdsEV_TBL_INV_CON"),
      cdsTemp("cdsTemp"),
      cdsTemp2("cdsTemp2"),
      host_(host),
      exeDir_(exeDir) {
    // The sources are bound once every table exists.
    for (auto [source, table] : std::initializer_list<std::pair<TTableSource*, TClientTable*>>{
             {&dsEV_TBL_MAIN, &cdsEV_TBL_MAIN},
             {&dsEV_STBL_CON_TYPE, &cdsEV_STBL_CON_TYPE},
             {&dsEV_STBL_CON_TYPE_MODE, &cdsEV_STBL_CON_TYPE_MODE},
             {&dsMV_STBL_HAC_SAI, &cdsMV_STBL_HAC_SAI},
             {&dsMV_STBL_INFO_GATHER_MOC, &cdsMV_STBL_INFO_GATHER_MOC},
             {&dsEV_TBL_PLAN, &cdsEV_TBL_PLAN},
             {&dsEV_TBL_REPORT, &cdsEV_TBL_REPORT},
             {&dsEV_TBL_INV_SECTION, &cdsEV_TBL_INV_SECTION},
             {&dsEV_TBL_INV_CHIEF, &cdsEV_TBL_INV_CHIEF},
             {&dsEV_TBL_INV_CON, &cdsEV_TBL_INV_CON}})
        source->SetDataSet(table);
    WireTables();
    DataModuleCreate();
}

TdmCdsModule::~TdmCdsModule() {
    // A destructor must not raise: a code table that cannot be written keeps
    // its previous file (writes replace files atomically).
    for (TClientTable* table :
         {&cdsEV_STBL_CON_TYPE, &cdsEV_STBL_CON_TYPE_MODE, &cdsMV_STBL_HAC_SAI,
          &cdsMV_STBL_INFO_GATHER_MOC, &cdsGetMaxConstNo, &cdsTemp, &cdsTemp2}) {
        try {
            if (table->Active()) table->CloseTable();
        } catch (const std::exception&) {
        }
    }
}

void TdmCdsModule::WireTables() {
    cdsEV_TBL_MAIN.SetIndexFieldNames("CONST_NO");
    cdsEV_TBL_MAIN.AfterInsert = [this](TClientTable& t) { cdsEV_TBL_MAINAfterInsert(t); };
    cdsEV_TBL_MAIN.AfterEdit = [this](TClientTable& t) { cdsEV_TBL_MAINAfterEdit(t); };

    for (TClientTable* code : {&cdsEV_STBL_CON_TYPE, &cdsEV_STBL_CON_TYPE_MODE, &cdsMV_STBL_HAC_SAI,
                               &cdsMV_STBL_INFO_GATHER_MOC})
        code->SetIndexFieldNames("CD");
    cdsMV_STBL_INFO_GATHER_MOC.AfterScroll = [this](TClientTable& t) {
        cdsMV_STBL_INFO_GATHER_MOCAfterScroll(t);
    };

    for (TClientTable* sheet : {&cdsEV_TBL_PLAN, &cdsEV_TBL_REPORT, &cdsEV_TBL_INV_SECTION,
                                &cdsEV_TBL_INV_CHIEF, &cdsEV_TBL_INV_CON}) {
        sheet->SetIndexFieldNames("CONST_NO");
        sheet->SetMasterSource(&dsEV_TBL_MAIN);
        sheet->SetMasterFields("CONST_NO");
        sheet->BeforeInsert = [this](TClientTable& t) { MainEdit(t); };
        sheet->BeforeEdit = [this](TClientTable& t) { MainEdit(t); };
    }
    cdsEV_TBL_PLAN.AfterEdit = [this](TClientTable& t) { cdsEV_TBL_MAINAfterEdit(t); };
    cdsEV_TBL_INV_CON.AfterInsert = [this](TClientTable& t) { cdsEV_TBL_MAINAfterInsert(t); };
    cdsEV_TBL_INV_CON.AfterEdit = [this](TClientTable& t) { cdsEV_TBL_MAINAfterEdit(t); };
}

TClientTable* TdmCdsModule::TableNamed(const std::string& tableName) {
    const TTableDef* def = FindTableDef(tableName);
    if (!def) return nullptr;
    switch (def->id) {
        case TTableId::Main:
            return &cdsEV_TBL_MAIN;
        case TTableId::Plan:
            return &cdsEV_TBL_PLAN;
        case TTableId::Report:
            return &cdsEV_TBL_REPORT;
        case TTableId::InvSection:
            return &cdsEV_TBL_INV_SECTION;
        case TTableId::InvChief:
            return &cdsEV_TBL_INV_CHIEF;
        case TTableId::InvCon:
            return &cdsEV_TBL_INV_CON;
        case TTableId::GatherMoc:
            return &cdsMV_STBL_INFO_GATHER_MOC;
        case TTableId::HacSai:
            return &cdsMV_STBL_HAC_SAI;
        case TTableId::ConTypeMode:
            return &cdsEV_STBL_CON_TYPE_MODE;
        case TTableId::ConType:
            return &cdsEV_STBL_CON_TYPE;
    }
    return nullptr;
}

void TdmCdsModule::DataModuleCreate() {
    lastIssuedNumber_ = 0;
    dirs_ = ResolveDirectories(exeDir_);
    backup_ = std::make_unique<TBackup>(dirs_.table, dirs_.picture);
    CdsOpen(dirs_.table);
}

void TdmCdsModule::CdsOpen(const std::string& tableDirectory) {
    InstallPendingFiles(tableDirectory);
    openFailures_.clear();
    // Each table opens on its own: a damaged file closes only its own table,
    // and its file is left as it is (a closed table is never written).
    for (const TTableDef& def : SurveySchema()) {
        TClientTable* table = TableNamed(def.name);
        const std::string path = tableDirectory + def.FileName();
        table->SetFileName(path);
        try {
            table->OpenTable();
        } catch (const std::exception& e) {
            // The file loaded but has no column to order it by: another
            // table's file, told as such rather than as a damaged one.
            const bool layout = e.what() == dsmsg::Format(dsmsg::kFieldNotFound, {def.sortField});
            openFailures_.push_back(
                {def.name,
                 layout ? LayoutMismatchReason(e.what()) : OpenFailureReason(path, e.what()),
                 path});
            continue;
        }
        // A file that loads but holds another table's columns would be read
        // and written under the wrong names: it stays closed too.
        const std::string layout = CheckTableLayout(*table, def);
        if (!layout.empty()) {
            CloseWithoutSaving(*table);
            openFailures_.push_back({def.name, layout, path});
        }
    }
}

std::string TdmCdsModule::ClosedSurveyTable() const {
    for (const TClientTable* table :
         {&cdsEV_TBL_MAIN, &cdsEV_TBL_PLAN, &cdsEV_TBL_REPORT, &cdsEV_TBL_INV_SECTION,
          &cdsEV_TBL_INV_CHIEF, &cdsEV_TBL_INV_CON})
        if (!table->Active()) return table->FileName();
    return {};
}

namespace {

// Runs step on each open table; every table is tried and the first failure
// is raised afterwards.
void ForEachOpenTable(std::initializer_list<TClientTable*> tables,
                      const std::function<void(TClientTable&)>& step) {
    std::string firstError;
    uint16_t firstCode = 0;
    for (TClientTable* table : tables) {
        if (!table->Active()) continue;
        try {
            step(*table);
        } catch (const EDatabaseError& e) {
            if (firstError.empty()) {
                firstError = e.what();
                firstCode = e.Code();
            }
        }
    }
    if (!firstError.empty()) throw EDatabaseError(firstError, firstCode);
}

}  // namespace

void TdmCdsModule::CdsClose() {
    ForEachOpenTable({&cdsEV_TBL_INV_CON, &cdsEV_TBL_INV_CHIEF, &cdsEV_TBL_INV_SECTION,
                      &cdsEV_TBL_REPORT, &cdsEV_TBL_PLAN, &cdsEV_TBL_MAIN},
                     [](TClientTable& table) { table.CloseTable(); });
    if (backup_) ReportBackup(backup_->SnapshotOnClose());
}

void TdmCdsModule::CdsWrite() {
    bool wrote = false;
    ForEachOpenTable({&cdsEV_TBL_INV_CON, &cdsEV_TBL_INV_CHIEF, &cdsEV_TBL_INV_SECTION,
                      &cdsEV_TBL_REPORT, &cdsEV_TBL_PLAN, &cdsEV_TBL_MAIN},
                     [&wrote](TClientTable& table) { wrote = table.SaveChanges() || wrote; });
    if (wrote && backup_) ReportBackup(backup_->SnapshotOnSave());
}

void TdmCdsModule::ReportBackup(const TBackupResult& result) {
    // The data itself is written; a snapshot that could not be made is told
    // once per run, so that the user knows the backups have stopped.
    if (result.ok || backupFailureShown_) return;
    backupFailureShown_ = true;
    host_.ShowErrorBox(
        ReadSetting(exeDir_, "MAIN", "APP_TITLE"),
        platform::Utf8ToCp932(
            "バックアップを作成できませんでした。データの保存は完了しています。\r\n") +
            platform::Utf8ToCp932(result.message));
}

void TdmCdsModule::SetValue(TClientTable& dataSet, const std::string& fieldName,
                            const std::string& value) {
    dataSet.StartEdit();
    dataSet.FieldNamed(fieldName).SetText(value);
}

void TdmCdsModule::DatePost() {
    using H = TCdsModuleHost;
    if (cdsEV_TBL_PLAN.IsEditing()) {
        const std::pair<H::TDateEntry, const char*> plan[] = {
            {H::deRegDatePlan, "REG_DATE"},
            {H::deConDatePlanS, "CON_DATE_S"},
            {H::deConDatePlanE, "CON_DATE_E"},
            {H::deTechConDatePlanS, "TECH_CON_DATE_S"},
            {H::deTechConDatePlanE, "TECH_CON_DATE_E"},
        };
        for (const auto& [entry, field] : plan)
            SetValue(cdsEV_TBL_PLAN, field, host_.DateEntryText(entry));
    }
    if (cdsEV_TBL_REPORT.IsEditing())
        SetValue(cdsEV_TBL_REPORT, "REG_DATE", host_.DateEntryText(H::deRegDateReport));
    if (cdsEV_TBL_INV_CHIEF.IsEditing()) {
        const std::pair<H::TDateEntry, const char*> chief[] = {
            {H::deConDateChiefS, "INV_CON_DATE_S"},
            {H::deConDateChiefE, "INV_CON_DATE_E"},
            {H::deTechConDateChiefS, "INV_TECH_CON_DATE_S"},
            {H::deTechConDateChiefE, "INV_TECH_CON_DATE_E"},
        };
        for (const auto& [entry, field] : chief)
            SetValue(cdsEV_TBL_INV_CHIEF, field, host_.DateEntryText(entry));
    }

    // The economy figures stay only on the sheet that answers them for the
    // work's utilization type: the contractor's for the contractor-proposal
    // types, the section chief's for the others.
    const std::string type = cdsEV_TBL_MAIN.FieldNamed("CON_TYPE").GetText();
    if (type == "5" || type == "6") {
        ClearCostFields(cdsEV_TBL_INV_SECTION);
    } else if (!type.empty()) {
        ClearCostFields(cdsEV_TBL_INV_CON);
    } else {
        ClearCostFields(cdsEV_TBL_INV_SECTION);
        ClearCostFields(cdsEV_TBL_INV_CON);
    }
}

void TdmCdsModule::ClearCostFields(TClientTable& sheet) {
    for (const char* field : {"INV_COST_UNIT", "INV_OLD_COST", "INV_NEW_COST"})
        SetValue(sheet, field, "");
}

void TdmCdsModule::CdsPost() {
    if (!cdsEV_TBL_MAIN.IsEditing()) return;
    DatePost();
    // Posting the master first posts (or drops) the sheets being edited.
    cdsEV_TBL_MAIN.CommitRecord();
}

void TdmCdsModule::CdsCancel() {
    for (TClientTable* table : {&cdsEV_TBL_PLAN, &cdsEV_TBL_REPORT, &cdsEV_TBL_INV_SECTION,
                                &cdsEV_TBL_INV_CHIEF, &cdsEV_TBL_INV_CON, &cdsEV_TBL_MAIN})
        if (table->IsEditing()) table->DiscardRecord();
}

void TdmCdsModule::CdsDelete() {
    const std::string workNumber = cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText();
    for (TClientTable* sheet : {&cdsEV_TBL_INV_CON, &cdsEV_TBL_INV_CHIEF, &cdsEV_TBL_INV_SECTION,
                                &cdsEV_TBL_REPORT, &cdsEV_TBL_PLAN})
        DataDelete(*sheet, "CONST_NO", workNumber);
    cdsEV_TBL_MAIN.RemoveRecord();
    DeleteImg(workNumber);
}

void TdmCdsModule::DataDelete(TClientTable& dataSet, const std::string& keyField,
                              const std::string& key) {
    dataSet.MoveFirst();
    while (!dataSet.AtEnd()) {
        if (dataSet.FieldNamed(keyField).GetText() != key) {
            dataSet.MoveNext();
            continue;
        }
        const bool wasLast = dataSet.Position() == dataSet.RecordTotal();
        // The removal moves to the following record, or to the new last one
        // when the last was removed; that one has been looked at already.
        dataSet.RemoveRecord();
        if (wasLast) break;
    }
}

bool TdmCdsModule::SetCdsFile(const std::string& path, TClientTable& dataSet) {
    if (!fileops::FileExists(path)) return false;
    // A table left open by a step that failed before writing it would keep
    // its records and columns under the new name: it goes first, unwritten.
    if (dataSet.Active()) CloseWithoutSaving(dataSet);
    dataSet.SetFileName(path);
    dataSet.OpenTable();
    return true;
}

void TdmCdsModule::CdsRecordCopy(TClientTable& source, TClientTable& target, const std::string& key,
                                 const std::string& keyField) {
    // Columns move by position; a target with fewer columns than the source
    // would lose values, so nothing is copied then.
    if (target.FieldTotal() < source.FieldTotal())
        throw ECdsError(platform::Utf8ToCp932(
            "複写先のテーブルの項目数が複写元より少ないため、レコードを複写できません。"));
    target.StartAppend();
    try {
        for (int i = 0; i < source.FieldTotal(); ++i) {
            TField& field = target.FieldAt(i);
            if (field.FieldName() == keyField)
                field.SetText(key);
            else
                field.CopyValueFrom(source.FieldAt(i));
        }
        if (source.FieldTotal() == 0)
            target.DiscardRecord();
        else
            target.CommitRecord();
    } catch (...) {
        if (target.IsEditing()) target.DiscardRecord();
        throw;
    }
}

void TdmCdsModule::CdsOutput(TClientTable& dataSet) {
    dataSet.CloseTable();
}

void TdmCdsModule::InitCheckValue() {
    for (const char* flag : {"CON_COST_YN", "CON_PROCESS_YN", "CON_QUALITY_YN", "CON_SAFETY_YN",
                             "CON_CONSTRUCT_YN", "CON_ENV_YN"})
        SetValue(cdsEV_TBL_PLAN, flag, "0");

    std::vector<std::string> aspectFlags;
    for (const TAspect& aspect : Aspects()) {
        aspectFlags.push_back(std::string("INV_") + aspect.name + "_EVAL_YN1");
        aspectFlags.push_back(std::string("INV_") + aspect.name + "_EVAL_YN2");
    }
    const char* otherFlags[] = {"INV_OTHER_YN1", "INV_OTHER_YN2", "INV_OTHER_YN3"};

    for (const std::string& flag : aspectFlags) SetValue(cdsEV_TBL_INV_CHIEF, flag, "0");
    for (const char* flag : {"INV_EFFECT_YN", "INV_CST_YN", "INV_EXECUTION_YN", "INV_PURSUIT_YN"})
        SetValue(cdsEV_TBL_INV_CHIEF, flag, "0");
    for (const char* flag : otherFlags) SetValue(cdsEV_TBL_INV_CHIEF, flag, "0");

    for (const std::string& flag : aspectFlags) SetValue(cdsEV_TBL_INV_CON, flag, "0");
    for (const char* flag : otherFlags) SetValue(cdsEV_TBL_INV_CON, flag, "0");
}

void TdmCdsModule::MainEdit(TClientTable&) {
    cdsEV_TBL_MAIN.StartEdit();
}

void TdmCdsModule::cdsEV_TBL_MAINAfterEdit(TClientTable&) {
    host_.DataEdit();
}

void TdmCdsModule::cdsEV_TBL_MAINAfterInsert(TClientTable&) {
    host_.DataEdit();
}

void TdmCdsModule::cdsMV_STBL_INFO_GATHER_MOCAfterScroll(TClientTable&) {
    if (!cdsEV_TBL_MAIN.IsEditing()) return;
    const std::string bureau = cdsEV_TBL_MAIN.FieldNamed("MOC_CD").GetText();
    const std::string office = cdsEV_TBL_MAIN.FieldNamed("OFFICE_CD").GetText();
    if (bureau.empty()) {
        SetValue(cdsEV_TBL_MAIN, "OFFICE_CD", "");
        return;
    }
    if (office.empty()) return;
    // The office stays only when its code lies in the bureau's code ranges.
    try {
        if (OfficeBelongsToBureau(std::stoi(office), std::stoi(bureau))) return;
    } catch (const std::logic_error&) {
        // A code that is not a number belongs to no bureau.
    }
    SetValue(cdsEV_TBL_MAIN, "OFFICE_CD", "");
}

}  // namespace sarvenu
