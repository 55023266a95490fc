// Module Main: the main window TfrmMain, the whole user interface apart from
// two small dialogs. It starts on the menu page with the list of works; opening
// a work shows the header and the sheet tabs. The window is the data store's
// host (date entries, the unsaved-changes notice, error boxes) and the checks'
// view of the screen. Handlers keep the names of the window's events; the
// work they do lives in modules that are tested without a window.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "records/cds_module.h"
#include "records/check_con.h"
#include "report/preview.h"
#include "shell/db_controls.h"
#include "shell/export_dialog.h"
#include "shell/preview_browser.h"

namespace sarvenu {

class TfrmHelp;
class TSummaryPanel;

class TfrmMain : public QWidget, public TCdsModuleHost, public TCheckHost {
  public:
    // Runs FormCreate; exeDir is the program's directory (settings beside it).
    explicit TfrmMain(const std::string& exeDir);
    ~TfrmMain() override;

    // Creates the data store (which opens the tables), then builds the header
    // and the sheets over its tables and wires their handlers.
    void CreateDataModule();
    TdmCdsModule& dm() { return *dm_; }
    bool OrderingOfficeMode() const { return orderingOffice_; }
    bool SheetPagesShown() const { return pcSarvenu->isVisible() || sheetPages_; }
    bool HasUnsavedChanges() const { return bbtnSubmit->isEnabled(); }

    // Menu page.
    QGroupBox* pnlMenu;
    TDBGrid* dgConstList = nullptr;
    QPushButton* btnNew;
    QPushButton* btnEdit;
    QPushButton* btnDel;
    QPushButton* btnImp;
    QPushButton* btnSummary;
    QPushButton* bbtnClose;
    QPlainTextEdit* mmHelp;
    // Summary page, shown in place of the menu page.
    TSummaryPanel* pnlSummary = nullptr;
    // Sheet pages.
    QPushButton* btnReturnMenu;
    QPushButton* btnHelp;
    QPushButton* bbtnSubmit;
    QWidget* pnlHeader;
    QTabWidget* pcSarvenu;
    QWidget* tsPrintPreview;
    QTabBar* tcPrintPreview;
    QTextBrowser* wbPreview;
    QPushButton* btnPrint;
    QPushButton* btnPrintAll;

    // Operations of the window.
    void FormCreate();
    void btnNewClick();
    void btnEditClick();
    void dgConstListDblClick();
    void btnDelClick();
    void bbtnSubmitClick();
    void btnReturnMenuClick();
    // The summary page: opened from the menu, left for the menu or for the
    // work double-clicked on it, which opens as from the menu's list.
    void btnSummaryClick();
    void SummaryClose();
    void SummaryOpenWork(const std::string& workNumber);
    // True when the window may close (tables written).
    bool FormCloseQuery();
    void btnHelpClick();
    void GoMain();
    void ReturnMenu();
    void DataEdit() override;
    void DataNoEdit();
    void SetDBMemoLabel();
    void SetConnectMocHac();
    void SetConnectConType();
    void dblcmbHacSaiDropDown();
    void RnmFile(const std::string& source, const std::string& target);
    TfrmHelp* HelpWindow() const { return frmHelp_; }

    // Date entry.
    void SetDate();
    std::string CreDate(const TDateCombos& entry) const;
    void SetInvAddNendo();
    void SetInvChiefDate();
    TDateCombos DateEntry(const std::string& baseName) const;
    // The entry's label for messages, with its tab's caption (CP932).
    std::string DateEntryLabel(const std::string& baseName) const;

    // Pictures of the contractor's sheet (slots 1..3 = letters A..C).
    std::string PickPicture(const std::string& workNumber, char letter);
    void btnPictSelectClick(int slot);
    void ClearPicture(int slot);
    void SetPicture();
    void SwitchControls(int slot, bool empty, const std::string& path);

    // Print preview and printing.
    void PrintPreview();
    void tsPrintPreviewShow();
    void tcPrintPreviewChange();
    void btnPrintClick();
    void btnPrintAllClick();
    TPreviewBrowser& Browser() { return *browser_; }
    // The printed texts of the date lists and the report's fiscal year.
    TPreviewDates PreviewDates() const;

    // Evaluation points.
    void SetCostPoint(TDBEdit* changed);
    void SetProcessPoint();
    void SetEvalPoint(int aspect, TTableId sheet);
    void InvQualityChief(const std::string& controlName);
    void InvSafetyChief(const std::string& controlName);
    void InvConstructChief(const std::string& controlName);
    void InvEnvChief(const std::string& controlName);
    void InvQualityCon(const std::string& controlName);
    void InvSafetyCon(const std::string& controlName);
    void InvConstructCon(const std::string& controlName);
    void InvEnvCon(const std::string& controlName);
    void SetAutoChecked(const std::string& controlName);
    void SetPointAvg();
    void AutoCalucation();
    void SelCost_T(TTableId sheet);
    void SelCost_F(TTableId sheet);
    // The text a point display shows (CP932).
    std::string DisplayText(const QString& name) const;

    // Submission files.
    void btnExpClick();
    bool ManageExport();
    std::string GetDocInfo() const;
    void btnImpClick(const std::string& senderName);
    bool ImportRunning() const { return importRunning_; }

    // Scrolling.
    QScrollBar* SheetScrollBar(const QString& tabName) const;
    void FormMouseWheel(int steps);

    // TCdsModuleHost.
    std::string DateEntryText(TDateEntry entry) override;
    void ShowErrorBox(const std::string& caption, const std::string& text) override;

    // TCheckHost.
    std::string EntryText(const std::string& objectName) override;
    std::string DateText(const std::string& baseName) override;
    bool Ticked(const std::string& objectName) override;
    bool Answered(const std::string& objectName) override;
    bool CostEntriesEnabled(TTableId sheet) override;
    void ShowCheckFailure(const TCheckFailure& failure) override;

    // The error box of the program's general error handler.
    void ShowException(const std::exception& error);

    // The control of that name and class. The controls have no meta-object
    // of their own, so findChild's cast cannot tell them from their Qt base.
    template <class T>
    T* FindControl(const QString& name) const {
        for (QWidget* widget : findChildren<QWidget*>(name))
            if (auto* control = dynamic_cast<T*>(widget)) return control;
        return nullptr;
    }
    template <class T>
    T* FindControl(const std::string& name) const {
        return FindControl<T>(QString::fromStdString(name));
    }
    template <class T>
    T* FindControl(const char* name) const {
        return FindControl<T>(QString(name));
    }
    // Every control of that class.
    template <class T>
    std::vector<T*> Controls() const {
        std::vector<T*> controls;
        for (QWidget* widget : findChildren<QWidget*>())
            if (auto* control = dynamic_cast<T*>(widget)) controls.push_back(control);
        return controls;
    }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildMenuPage();
    void BuildSheetPages();
    void BuildPreviewTab();
    void BuildSummaryPage();
    void BuildSheets();
    void WireEntries();
    void WireDateEntries();
    void WirePictures();
    void ApplyMode();
    void FillDateLists();
    void TabShown(int index);
    void WirePoints();
    void ConTypeChanged();
    void AspectChanged(int aspect, TTableId sheet, const std::string& controlName);
    void ShowSectionCostEntries(bool shown);
    void SetContractorCostCell(const std::string& cp932);
    void SetDisplay(const QString& name, const std::string& cp932);
    void ShowNumberError(const std::string& message);
    TClientTable& SheetTable(TTableId sheet);
    std::string FieldText(TTableId sheet, const std::string& field);
    void SelectPreviewForm(int index);
    void SaveAndSettle();
    void AbandonAndSettle();
    // Writes the survey tables whose records differ from their files.
    void WriteTables();
    // False, after a box naming the file, when a survey table is not open.
    bool SurveyTablesOpen();
    // The start-up box naming the table files that could not be opened.
    void ReportOpenFailures();
    void EditSpeceChk(TDBEdit* edit);
    void MemoSpaceChk(TDBMemo* memo);
    void EditChk(TDBEdit* edit);
    void MemoChk(TDBMemo* memo);
    // False, after the entry's width message, when a text widened on leaving
    // an entry would no longer fit it.
    bool FitsWidened(QWidget* entry, size_t widenedBytes, int maxBytes);
    void EditSheetTable(TClientTable& table);
    int Ask(const std::string& text, int icon, int buttons);

    std::string exeDir_;
    bool orderingOffice_ = true;
    bool sheetPages_ = false;
    bool importRunning_ = false;
    bool helpAvailable_ = true;
    std::unique_ptr<TdmCdsModule> dm_;
    TfrmHelp* frmHelp_ = nullptr;
    std::unique_ptr<TPreviewBrowser> browser_;
    struct TSheetTab {
        QWidget* tab;
        QWidget* panel;
        QScrollBar* scrollBar;
    };
    std::map<QString, TSheetTab> sheetTabs_;
    TExportChoices exportChoices_{true, true, true, true, true};
    bool collapsing_ = false;
    bool widthRefusal_ = false;  // an entry too narrow for its widened text takes the focus back
    bool openFailuresReported_ = false;
    // Wheel movement not yet amounting to a whole 26-pixel step.
    int wheelRemainder_ = 0;
    // Stored dates of the open work that the lists cannot show (no calendar
    // date); each is saved back as it is until the user changes its lists.
    std::map<TDateEntry, std::string> unshownDates_;
    std::string unshownDatesWork_;  // the work (CONST_NO) they belong to
};

}  // namespace sarvenu
