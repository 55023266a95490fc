// The summary page of the main window (集計): every work's evaluation figures
// totalled per technology. Lists above the table narrow the works by fiscal
// year, bureau, office and type; choosing a technology lists its works and
// draws the radar chart of its averages, and double-clicking one of them
// hands its work number to the window, which opens it as the menu's list
// does. The totals go out as a CSV file or printed like the forms. The page
// reads the works once when it opens and totals them again for each filter.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTextBrowser>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "records/cds_module.h"
#include "report/summary.h"
#include "shell/preview_browser.h"
#include "shell/summary_choices.h"

namespace sarvenu {

class TSummaryPanel : public QGroupBox {
  public:
    explicit TSummaryPanel(QWidget* parent);
    ~TSummaryPanel() override;

    // Reads every work of the data store (with the wait cursor), fills the
    // filter lists with every choice and shows the totals of all works.
    // Raises the data layer's errors; the page then keeps what it showed.
    void Open(TdmCdsModule& dm, bool orderingMode);

    QComboBox* cmbSummaryNendo;
    QComboBox* cmbSummaryGatherMoc;
    QComboBox* cmbSummaryHacSai;
    QComboBox* cmbSummaryConType;
    QLabel* lblSummaryCount;
    QTableWidget* gdSummary;
    QTableWidget* gdSummaryWorks;
    QLabel* imgSummaryChart;
    QPushButton* btnSummaryCsv;
    QPushButton* btnSummaryPrint;
    QPushButton* btnSummaryClose;

    // Handlers.
    void FilterChange();
    void cmbSummaryGatherMocChange();
    void gdSummarySelect();
    void gdSummaryWorksDblClick(int row);
    void btnSummaryCsvClick();
    void btnSummaryPrintClick();

    TSummaryFilter Filter() const;
    const std::vector<TSummaryRow>& Rows() const { return rows_; }
    // The technology chosen in the list; null when none.
    const TSummaryRow* SelectedRow() const;
    TPreviewBrowser& Browser() { return *browser_; }

    // Set by the window: open the work of that number, and leave the page.
    std::function<void(const std::string& workNumber)> OnOpenWork;
    std::function<void()> OnClose;

  private:
    void FillFilterLists();
    void FillOfficeList();
    void ShowRows();
    void ShowWorks();
    void ShowError(const std::string& cp932);

    std::vector<TSummaryWork> works_;
    std::vector<TSummaryRow> rows_;
    std::vector<std::string> shownWorks_;  // work numbers of gdSummaryWorks' rows
    TSummaryCodeNames names_;
    std::string htmlDirectory_;
    bool filling_ = false;  // the lists are being refilled: no filter change yet
    QTextBrowser* wbSummary;
    std::unique_ptr<TPreviewBrowser> browser_;
};

}  // namespace sarvenu
