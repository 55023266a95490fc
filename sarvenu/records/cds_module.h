// The data store: the one object that owns every open table of the program
// for the whole run (the six survey tables, the four code tables and three
// scratch tables), the resolved directories and the counter of issued work
// numbers. It installs table files an update left behind, opens the tables,
// issues work numbers, writes the window's date entries and the cost rule
// into a work before it is posted, posts, cancels and deletes a work across
// all its sheets, copies records between tables by column position, and
// settles picture files together with the record.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include <memory>

#include "dataset/client_table.h"
#include "platform/library.h"
#include "records/backup.h"
#include "records/settings.h"

namespace sarvenu {

// Raised by the data store's own checks; what() is CP932.
class ECdsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What the data store needs from the main window: the composed texts of its
// date entries, the unsaved-changes notice and error boxes.
class TCdsModuleHost {
  public:
    enum TDateEntry {
        deRegDatePlan,
        deConDatePlanS,
        deConDatePlanE,
        deTechConDatePlanS,
        deTechConDatePlanE,
        deRegDateReport,
        deConDateChiefS,
        deConDateChiefE,
        deTechConDateChiefS,
        deTechConDateChiefE,
    };
    // The stored text of a date entry ("2006/04/01"), empty when any part of
    // it is empty or the entry does not exist in the current mode.
    virtual std::string DateEntryText(TDateEntry entry) = 0;
    // The work has unsaved changes (switches the save button on).
    virtual void DataEdit() = 0;
    // An error message box with the given caption and CP932 text.
    virtual void ShowErrorBox(const std::string& caption, const std::string& text) = 0;

  protected:
    ~TCdsModuleHost() = default;
};

class TdmCdsModule {
  public:
    // Runs DataModuleCreate: resolves the directories from the settings beside
    // exeDir (ending in "/"), installs pending table files and opens the tables.
    explicit TdmCdsModule(TCdsModuleHost& host,
                          const std::string& exeDir = platform::ExecutableDirectory());
    // Closes, and so writes back, the code tables and any scratch table still
    // open. The survey tables are written by CdsClose only.
    ~TdmCdsModule();
    TdmCdsModule(const TdmCdsModule&) = delete;
    TdmCdsModule& operator=(const TdmCdsModule&) = delete;

    TTableSource dsEV_TBL_MAIN;
    TClientTable cdsEV_TBL_MAIN;
    TTableSource dsEV_STBL_CON_TYPE;
    TClientTable cdsEV_STBL_CON_TYPE;
    TClientTable cdsEV_STBL_CON_TYPE_MODE;
    TTableSource dsEV_STBL_CON_TYPE_MODE;
    TTableSource dsMV_STBL_HAC_SAI;
    TClientTable cdsMV_STBL_HAC_SAI;
    TTableSource dsMV_STBL_INFO_GATHER_MOC;
    TClientTable cdsMV_STBL_INFO_GATHER_MOC;
    TClientTable cdsGetMaxConstNo;
    TClientTable cdsEV_TBL_PLAN;
    TTableSource dsEV_TBL_PLAN;
    TClientTable cdsEV_TBL_REPORT;
    TTableSource dsEV_TBL_REPORT;
    TClientTable cdsEV_TBL_INV_SECTION;
    TTableSource dsEV_TBL_INV_SECTION;
    TClientTable cdsEV_TBL_INV_CHIEF;
    TTableSource dsEV_TBL_INV_CHIEF;
    TClientTable cdsEV_TBL_INV_CON;
    TTableSource dsEV_TBL_INV_CON;
    TClientTable cdsTemp;
    TClientTable cdsTemp2;

    // The directories of the settings, resolved once at creation.
    const TDirectories& Directories() const { return dirs_; }
    // The highest work number issued since start-up (0 at start).
    long LastIssuedNumber() const { return lastIssuedNumber_; }
    // Tables that could not be opened at start-up, with the reason (CP932).
    struct TOpenFailure {
        std::string table;
        std::string message;
        // The table file (file-system encoding).
        std::string path;
    };
    const std::vector<TOpenFailure>& OpenFailures() const { return openFailures_; }
    // The file of the first survey table that is not open (a work's actions
    // need all six), or empty when all are open.
    std::string ClosedSurveyTable() const;

    void DataModuleCreate();
    // Installs pending files, then opens the ten tables in their fixed order.
    // A table that cannot be opened stays closed; the others still open.
    void CdsOpen(const std::string& tableDirectory);
    // Closes (and writes) the six survey tables. Every table is tried; the
    // first failure is raised afterwards and its table stays open.
    void CdsClose();
    // Writes every survey table whose records differ from its file, sheets
    // before the main table (a work's main record reaches the disk last, so a
    // write cut short never leaves a listed work without its sheets). Every
    // table is tried; the first failure is raised afterwards. A write that
    // changed a file is followed by a snapshot, at most one a minute.
    void CdsWrite();
    // The dated snapshots of the table and picture directories; null until
    // the directories are resolved.
    TBackup* Backup() { return backup_.get(); }
    std::string GetNextConstNo();
    void DatePost();
    void CdsPost();
    void CdsCancel();
    void CdsDelete();
    void DataDelete(TClientTable& dataSet, const std::string& keyField, const std::string& key);
    bool SetCdsFile(const std::string& path, TClientTable& dataSet);
    void CdsRecordCopy(TClientTable& source, TClientTable& target, const std::string& key,
                       const std::string& keyField);
    void CdsOutput(TClientTable& dataSet);
    void InitCheckValue();
    void SetValue(TClientTable& dataSet, const std::string& fieldName, const std::string& value);
    void DecideImg();
    // After a save is on disk: deletes the current work's saved pictures
    // that its contractor record no longer names.
    void DropUnusedImg();
    void DeleteImg(const std::string& workNumber);

    void InstallPendingFiles(const std::string& directory);
    void InstallPendingFile(const std::string& directory, const std::string& pendingName);

    // Event handlers wired to the tables.
    void MainEdit(TClientTable& dataSet);
    void cdsEV_TBL_MAINAfterEdit(TClientTable& dataSet);
    void cdsEV_TBL_MAINAfterInsert(TClientTable& dataSet);
    void cdsMV_STBL_INFO_GATHER_MOCAfterScroll(TClientTable& dataSet);

    // The table of a schema table name, or null.
    TClientTable* TableNamed(const std::string& tableName);

  private:
    void WireTables();
    void ClearCostFields(TClientTable& sheet);
    bool MergeSurveyTable(const std::string& targetPath, const std::string& pendingPath);
    void InstallFailed();
    void ReportBackup(const TBackupResult& result);
    long HighestStoredWorkNumber();

    TCdsModuleHost& host_;
    std::string exeDir_;
    TDirectories dirs_;
    long lastIssuedNumber_ = 0;
    std::vector<TOpenFailure> openFailures_;
    std::unique_ptr<TBackup> backup_;
    bool backupFailureShown_ = false;
};

// Closes a table without writing its file (for tables opened only to read).
void CloseWithoutSaving(TClientTable& table) noexcept;

}  // namespace sarvenu
