// The summary page: its controls, the filter lists and the two lists, and
// the handlers of its buttons. The figures, the files and the choices come
// from modules that work without widgets.
#include "shell/summary_page.h"

#include <QHeaderView>
#include <QPixmap>

#include "platform/codepage.h"
#include "report/radar_chart.h"
#include "report/summary_export.h"
#include "report/summary_source.h"
#include "shell/file_dialog.h"
#include "shell/message_box.h"
#include "shell/sheets.h"
#include "shell/system_info.h"
#include "shell/wait_cursor.h"

namespace sarvenu {

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The look of the totals tab: its section bars and its header cells.
const char* const kSectionStyle =
    "QLabel { background: #d8e4f0; color: #102840; font-weight: bold; padding-left: 6px; }";
const char* const kHeaderStyle =
    "QHeaderView::section { background: #d8e4f0; color: #102840; border: 1px solid #a8b8c8; "
    "padding: 2px; }";

constexpr int kMargin = 12;
constexpr int kRowHeight = 22;

QLabel* MakeLabel(QWidget* parent, const char* text, QRect geometry) {
    auto* label = new QLabel(U(text), parent);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLabel* MakeSection(QWidget* parent, const char* text, QRect geometry) {
    QLabel* label = MakeLabel(parent, text, geometry);
    label->setStyleSheet(kSectionStyle);
    return label;
}

QComboBox* MakeList(QWidget* parent, const char* name, const char* label, QRect geometry) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setAccessibleName(U(label));
    list->setGeometry(geometry);
    return list;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* button = new QPushButton(U(caption), parent);
    button->setObjectName(name);
    button->setAccessibleName(U(caption));
    button->setGeometry(geometry);
    return button;
}

struct TColumn {
    QString title;
    int width;
};

QTableWidget* MakeGrid(QWidget* parent, const char* name, const char* label,
                       const std::vector<TColumn>& columns, QRect geometry) {
    auto* grid = new QTableWidget(0, static_cast<int>(columns.size()), parent);
    grid->setObjectName(name);
    grid->setAccessibleName(U(label));
    grid->setGeometry(geometry);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setWordWrap(false);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(kRowHeight);
    grid->horizontalHeader()->setStyleSheet(kHeaderStyle);
    grid->horizontalHeader()->setHighlightSections(false);
    for (size_t i = 0; i < columns.size(); ++i) {
        const int column = static_cast<int>(i);
        grid->setHorizontalHeaderItem(column, new QTableWidgetItem(columns[i].title));
        grid->setColumnWidth(column, columns[i].width);
    }
    return grid;
}

// The technology list's columns, in the order of SummaryCells: the number,
// the name and the count, then each aspect's three means, the office
// average and the overall mean, lowest and highest.
std::vector<TColumn> TechnologyColumns() {
    std::vector<TColumn> columns = {{U("登録番号"), 96}, {U("技術名称"), 200}, {U("件数"), 44}};
    for (const char* aspect : SummaryAspectNames()) {
        const QString name = U(aspect) + "\n";
        columns.push_back({name + U("発注者"), 64});
        columns.push_back({name + U("請負者・技術開発者"), 118});
        columns.push_back({name + U("平均"), 64});
    }
    columns.push_back({U("発注者平均"), 76});
    for (const char* part : {"平均", "最低", "最高"})
        columns.push_back({U("総合評価点\n") + U(part), 76});
    return columns;
}

// The cells the list shows as texts; the others are figures.
constexpr int kTechnologyTextColumns = 2;
constexpr int kWorkTextColumns = 2;

void FillGrid(QTableWidget* grid, const std::vector<std::vector<std::string>>& rows,
              int textColumns) {
    grid->clearContents();
    grid->setRowCount(static_cast<int>(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size() && static_cast<int>(c) < grid->columnCount(); ++c) {
            auto* item = new QTableWidgetItem(platform::Cp932ToQString(rows[r][c]));
            if (static_cast<int>(c) >= textColumns)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
}

void FillList(QComboBox* list, const std::vector<TCodeName>& choices) {
    list->clear();
    list->addItem(QString(), QByteArray());
    for (const TCodeName& choice : choices)
        list->addItem(platform::Cp932ToQString(choice.name),
                      QByteArray::fromStdString(choice.code));
}

std::string ChosenCode(const QComboBox* list) {
    return list->currentData().toByteArray().toStdString();
}

}  // namespace

TSummaryPanel::TSummaryPanel(QWidget* parent) : QGroupBox(U("集計画面"), parent) {
    setObjectName("pnlSummary");
    setAccessibleName(title());
    setGeometry(4, 2, kWindowWidth - 8, kWindowHeight - 6);

    auto* filters = new QGroupBox(U("集計する工事の条件"), this);
    filters->setObjectName("gbSummaryFilter");
    filters->setAccessibleName(filters->title());
    filters->setGeometry(kMargin, 18, 700, 88);
    MakeLabel(filters, "年度", QRect(10, 22, 70, kRowHeight));
    cmbSummaryNendo = MakeList(filters, "cmbSummaryNendo", "年度", QRect(82, 22, 100, 24));
    MakeLabel(filters, "活用等の型", QRect(330, 22, 76, kRowHeight));
    cmbSummaryConType =
        MakeList(filters, "cmbSummaryConType", "活用等の型", QRect(408, 22, 220, 24));
    MakeLabel(filters, "実施整備局", QRect(10, 54, 70, kRowHeight));
    cmbSummaryGatherMoc =
        MakeList(filters, "cmbSummaryGatherMoc", "実施整備局", QRect(82, 54, 220, 24));
    MakeLabel(filters, "実施事務所", QRect(330, 54, 76, kRowHeight));
    cmbSummaryHacSai = MakeList(filters, "cmbSummaryHacSai", "実施事務所", QRect(408, 54, 280, 24));

    constexpr int kButtonX = kMargin + 700 + 10;
    const int buttonWidth = width() - kButtonX - kMargin;
    btnSummaryCsv =
        MakeButton(this, "btnSummaryCsv", "CSV出力", QRect(kButtonX, 22, buttonWidth, 26));
    btnSummaryPrint =
        MakeButton(this, "btnSummaryPrint", "印刷", QRect(kButtonX, 52, buttonWidth, 26));
    btnSummaryClose = MakeButton(this, "btnSummaryClose", "メニュー画面に戻る",
                                 QRect(kButtonX, 82, buttonWidth, 26));

    const int right = width() - kMargin;
    MakeSection(this, "技術ごとの評価点", QRect(kMargin, 114, 640, kRowHeight));
    lblSummaryCount = new QLabel(this);
    lblSummaryCount->setObjectName("lblSummaryCount");
    lblSummaryCount->setAccessibleName(U("集計件数"));
    lblSummaryCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblSummaryCount->setGeometry(kMargin + 646, 114, right - kMargin - 646, kRowHeight);
    gdSummary = MakeGrid(this, "gdSummary", "技術ごとの評価点", TechnologyColumns(),
                         QRect(kMargin, 140, right - kMargin, 186));
    gdSummary->horizontalHeader()->setMinimumHeight(40);

    constexpr int kChartX = 528;
    MakeSection(this, "選択した技術の工事", QRect(kMargin, 332, kChartX - 6 - kMargin, kRowHeight));
    gdSummaryWorks =
        MakeGrid(this, "gdSummaryWorks", "選択した技術の工事",
                 {{U("工事番号"), 110}, {U("工事名"), 250}, {U("年度"), 50}, {U("総合評価点"), 80}},
                 QRect(kMargin, 358, kChartX - 6 - kMargin, 290));
    MakeSection(this, "評価点（平均）", QRect(kChartX, 332, right - kChartX, kRowHeight));
    imgSummaryChart = new QLabel(this);
    imgSummaryChart->setObjectName("imgSummaryChart");
    imgSummaryChart->setAccessibleName(U("レーダーチャート"));
    imgSummaryChart->setGeometry(kChartX, 358, kChartWidth, kChartHeight);

    wbSummary = new QTextBrowser(this);
    wbSummary->setObjectName("wbSummary");
    wbSummary->setAccessibleName(U("印刷する集計表"));
    wbSummary->hide();
    browser_ = std::make_unique<TPreviewBrowser>(wbSummary);

    for (QComboBox* list : {cmbSummaryNendo, cmbSummaryHacSai, cmbSummaryConType})
        connect(list, &QComboBox::currentIndexChanged, this, [this](int) { FilterChange(); });
    connect(cmbSummaryGatherMoc, &QComboBox::currentIndexChanged, this,
            [this](int) { cmbSummaryGatherMocChange(); });
    connect(gdSummary, &QTableWidget::itemSelectionChanged, this, [this] { gdSummarySelect(); });
    connect(gdSummaryWorks, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { gdSummaryWorksDblClick(row); });
    connect(btnSummaryCsv, &QPushButton::clicked, this, [this] { btnSummaryCsvClick(); });
    connect(btnSummaryPrint, &QPushButton::clicked, this, [this] { btnSummaryPrintClick(); });
    connect(btnSummaryClose, &QPushButton::clicked, this, [this] {
        if (OnClose) OnClose();
    });
}

TSummaryPanel::~TSummaryPanel() = default;

void TSummaryPanel::Open(TdmCdsModule& dm, bool orderingMode) {
    {
        TWaitCursor wait;
        std::vector<TSummaryWork> works = ReadSummaryWorks(dm, orderingMode);
        names_ = ReadSummaryCodeNames(dm);
        works_ = std::move(works);
    }
    htmlDirectory_ = dm.Directories().templates;
    rows_.clear();
    gdSummary->setRowCount(0);
    FillFilterLists();
    ShowRows();
}

void TSummaryPanel::FillFilterLists() {
    filling_ = true;
    std::vector<TCodeName> years;
    for (const std::string& year : FiscalYearChoices(works_)) years.push_back({year, year});
    FillList(cmbSummaryNendo, years);
    FillList(cmbSummaryGatherMoc, names_.bureaus);
    FillList(cmbSummaryConType, names_.conTypes);
    FillOfficeList();
    filling_ = false;
}

void TSummaryPanel::FillOfficeList() {
    FillList(cmbSummaryHacSai, OfficeChoices(names_.offices, ChosenCode(cmbSummaryGatherMoc)));
}

TSummaryFilter TSummaryPanel::Filter() const {
    return {ChosenCode(cmbSummaryNendo), ChosenCode(cmbSummaryGatherMoc),
            ChosenCode(cmbSummaryHacSai), ChosenCode(cmbSummaryConType)};
}

void TSummaryPanel::cmbSummaryGatherMocChange() {
    if (filling_) return;
    // The office list offers the chosen bureau's offices only; a change of
    // bureau lets every one of its offices through again.
    filling_ = true;
    FillOfficeList();
    filling_ = false;
    FilterChange();
}

void TSummaryPanel::FilterChange() {
    if (filling_) return;
    ShowRows();
}

const TSummaryRow* TSummaryPanel::SelectedRow() const {
    const QModelIndexList selected = gdSummary->selectionModel()->selectedRows();
    if (selected.isEmpty()) return nullptr;
    const int row = selected.front().row();
    return row >= 0 && row < static_cast<int>(rows_.size()) ? &rows_[static_cast<size_t>(row)]
                                                            : nullptr;
}

void TSummaryPanel::ShowRows() {
    // The technology shown stays chosen while the filters keep it.
    const TSummaryRow* before = SelectedRow();
    const std::string selected = before ? before->regNo : std::string();
    const bool hadSelection = before != nullptr;

    rows_ = BuildSummary(works_, Filter());
    std::vector<std::vector<std::string>> cells;
    int works = 0;
    int keep = rows_.empty() ? -1 : 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        cells.push_back(SummaryCells(rows_[i]));
        works += rows_[i].works;
        if (hadSelection && rows_[i].regNo == selected) keep = static_cast<int>(i);
    }
    {
        const QSignalBlocker quiet(gdSummary);
        FillGrid(gdSummary, cells, kTechnologyTextColumns);
        if (keep >= 0) gdSummary->selectRow(keep);
    }
    lblSummaryCount->setText(
        rows_.empty() ? U("集計する工事がありません。")
                      : U("技術 %1件　工事 %2件").arg(static_cast<int>(rows_.size())).arg(works));
    ShowWorks();
}

void TSummaryPanel::gdSummarySelect() {
    ShowWorks();
}

void TSummaryPanel::ShowWorks() {
    shownWorks_.clear();
    std::vector<std::vector<std::string>> cells;
    const TSummaryRow* row = SelectedRow();
    if (row)
        for (const TSummaryWork* work : WorksOfTechnology(works_, Filter(), row->regNo)) {
            shownWorks_.push_back(work->workNumber);
            cells.push_back(SummaryWorkCells(*work));
        }
    FillGrid(gdSummaryWorks, cells, kWorkTextColumns);
    if (row)
        imgSummaryChart->setPixmap(
            QPixmap::fromImage(DrawRadarChartImage(SummaryChartValues(*row))));
    else
        imgSummaryChart->clear();
}

void TSummaryPanel::gdSummaryWorksDblClick(int row) {
    if (row < 0 || row >= static_cast<int>(shownWorks_.size())) return;
    if (OnOpenWork) OnOpenWork(shownWorks_[static_cast<size_t>(row)]);
}

void TSummaryPanel::ShowError(const std::string& cp932) {
    MessageBox(this, cp932, GetAppTitle(), miError, mbOK);
}

void TSummaryPanel::btnSummaryCsvClick() {
    const TFileDialogCall call{fdSave, platform::Utf8ToCp932("集計結果のCSV出力"),
                               platform::Utf8ToCp932("CSVファイル|*.csv"), "csv", "技術別集計.csv"};
    const std::optional<std::string> path = FileDialog(this, call);
    if (!path) return;
    std::string error;
    bool written = false;
    {
        TWaitCursor wait;
        written = WriteSummaryCsv(rows_, *path, &error);
    }
    if (!written) {
        ShowError(error);
        return;
    }
    std::string message = "\"";
    message += platform::Utf8ToCp932(*path);
    message += '"';
    message += platform::Utf8ToCp932("に集計結果を出力しました。");
    MessageBox(this, message, GetAppTitle(), miInformation, mbOK);
}

void TSummaryPanel::btnSummaryPrintClick() {
    try {
        {
            TWaitCursor wait;
            TSummaryPage page;
            page.filterText = SummaryFilterText(Filter(), names_);
            page.selected = SelectedRow();
            browser_->Navigate(WriteSummaryPage(rows_, page, htmlDirectory_));
        }
        browser_->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER);
    } catch (const std::exception& error) {
        ShowError(error.what());
    }
}

}  // namespace sarvenu
