// Creating the main window: the menu page, the sheet pages with their tabs,
// panels and scroll bars, the preview tab, and the set-up that fixes the
// program mode.
#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QWheelEvent>
#include <cstdlib>

#include "platform/codepage.h"
#include "records/date_entry.h"
#include "shell/help.h"
#include "shell/main.h"
#include "shell/sheets.h"
#include "shell/summary_page.h"
#include "shell/system_info.h"

namespace sarvenu {

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* button = new QPushButton(U(caption), parent);
    button->setObjectName(name);
    button->setAccessibleName(QString(U(caption)).remove('&'));
    button->setGeometry(geometry);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* text, QRect geometry) {
    auto* label = new QLabel(U(text), parent);
    label->setGeometry(geometry);
    label->setWordWrap(true);
    return label;
}

// The preview choices in tab order.
const char* const kPreviewChoices[] = {"計画書",
                                       "報告書",
                                       "集計表(1/2)",
                                       "集計表(2/2)",
                                       "発注課長用",
                                       "主任監督員用",
                                       "請負者・技術開発者提出用",
                                       "全様式"};

}  // namespace

TfrmMain::TfrmMain(const std::string& exeDir) : exeDir_(exeDir) {
    SetProgramDirectory(exeDir);
    setObjectName("frmMain");
    setFixedSize(kWindowWidth, kWindowHeight);
    BuildMenuPage();
    BuildSheetPages();
    BuildSummaryPage();
    FormCreate();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TfrmMain::~TfrmMain() {
    if (frmHelp_) {
        frmHelp_->OnClosed = nullptr;
        delete frmHelp_;
    }
    // The controls listen to the data store's tables: they go first.
    for (QObject* child : children())
        if (child->isWidgetType()) delete child;
    dm_.reset();
}

void TfrmMain::BuildMenuPage() {
    pnlMenu = new QGroupBox(U("メニュー画面"), this);
    pnlMenu->setObjectName("pnlMenu");
    pnlMenu->setAccessibleName(U("メニュー画面"));
    pnlMenu->setGeometry(4, 2, kWindowWidth - 8, kWindowHeight - 6);

    MakeLabel(pnlMenu, "入力されている工事一覧", QRect(12, 22, 330, 18));
    dgConstList = new TDBGrid(pnlMenu, "dgConstList");
    dgConstList->setAccessibleName(U("入力されている工事一覧"));
    dgConstList->setGeometry(12, 42, 330, 604);
    dgConstList->OnDblClick = [this] { dgConstListDblClick(); };

    auto* choose = new QGroupBox(U("データ処理方法を選択してください"), pnlMenu);
    choose->setObjectName("gbChoose");
    choose->setAccessibleName(choose->title());
    choose->setGeometry(352, 18, 555, 251);
    struct {
        QPushButton** button;
        const char* name;
        const char* caption;
        const char* note;
    } const buttons[] = {
        {&btnNew, "btnNew", "新規登録", "データを新規に作成します。"},
        {&btnEdit, "btnEdit", "編　　集", "”工事一覧”で選択さているデータを編集します。"},
        {&btnDel, "btnDel", "削　　除", "”工事一覧”で選択されているデータを削除します。"},
        {&btnImp, "btnImp", "データ取り込み", "FD等よりデータを取り込みます。"},
        {&btnSummary, "btnSummary", "集　　計", "技術ごとに評価点を集計します。"},
        {&bbtnClose, "bbtnClose", "閉じる(&C)", "プログラムを終了します。"},
    };
    int y = 24;
    for (const auto& b : buttons) {
        *b.button = MakeButton(choose, b.name, b.caption, QRect(14, y, 130, 30));
        MakeLabel(choose, b.note, QRect(156, y + 6, 390, 20));
        y += 37;
    }
    btnNew->setAccessibleName(U("新規登録"));
    connect(btnNew, &QPushButton::clicked, this, [this] { btnNewClick(); });
    connect(btnEdit, &QPushButton::clicked, this, [this] { btnEditClick(); });
    connect(btnDel, &QPushButton::clicked, this, [this] { btnDelClick(); });
    connect(btnImp, &QPushButton::clicked, this, [this] { btnImpClick("btnImp"); });
    connect(btnSummary, &QPushButton::clicked, this, [this] { btnSummaryClick(); });
    connect(bbtnClose, &QPushButton::clicked, this, [this] { close(); });

    mmHelp = new QPlainTextEdit(pnlMenu);
    mmHelp->setObjectName("mmHelp");
    mmHelp->setAccessibleName(U("ヘルプ"));
    mmHelp->setReadOnly(true);
    mmHelp->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmHelp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmHelp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmHelp->setGeometry(352, 275, 553, 372);
}

void TfrmMain::BuildSheetPages() {
    btnReturnMenu = MakeButton(this, "btnReturnMenu", "メニュー画面に戻る", QRect(6, 2, 150, 24));
    btnHelp = MakeButton(this, "btnHelp", "ヘルプ", QRect(162, 2, 90, 24));
    bbtnSubmit = MakeButton(this, "bbtnSubmit", "保存", QRect(258, 2, 90, 24));
    connect(btnReturnMenu, &QPushButton::clicked, this, [this] { btnReturnMenuClick(); });
    connect(btnHelp, &QPushButton::clicked, this, [this] { btnHelpClick(); });
    connect(bbtnSubmit, &QPushButton::clicked, this, [this] { bbtnSubmitClick(); });

    pnlHeader = new QWidget(this);
    pnlHeader->setObjectName("pnlHeader");
    pnlHeader->setGeometry(0, 28, kWindowWidth, kHeaderHeight);

    pcSarvenu = new QTabWidget(this);
    pcSarvenu->setObjectName("pcSarvenu");
    pcSarvenu->setAccessibleName(U("調査表"));
    pcSarvenu->setGeometry(2, 28 + kHeaderHeight, kWindowWidth - 4,
                           kWindowHeight - 30 - kHeaderHeight);
    pcSarvenu->setUsesScrollButtons(true);
    pcSarvenu->setElideMode(Qt::ElideNone);
    connect(pcSarvenu, &QTabWidget::currentChanged, this, [this](int index) { TabShown(index); });
    BuildPreviewTab();
}

void TfrmMain::BuildPreviewTab() {
    tsPrintPreview = new QWidget;
    tsPrintPreview->setObjectName("tsPrintPreview");
    tcPrintPreview = new QTabBar(tsPrintPreview);
    tcPrintPreview->setObjectName("tcPrintPreview");
    tcPrintPreview->setAccessibleName(U("印刷する様式"));
    tcPrintPreview->setExpanding(false);
    for (const char* choice : kPreviewChoices) tcPrintPreview->addTab(U(choice));
    tcPrintPreview->setGeometry(4, 4, 754, 26);
    btnPrintAll = MakeButton(tsPrintPreview, "btnPrintAll", "一括印刷", QRect(762, 4, 76, 26));
    btnPrint = MakeButton(tsPrintPreview, "btnPrint", "印刷", QRect(842, 4, 64, 26));
    wbPreview = new QTextBrowser(tsPrintPreview);
    wbPreview->setObjectName("wbPreview");
    wbPreview->setAccessibleName(U("印刷プレビュー"));
    wbPreview->setGeometry(4, 34, kSheetPanelWidth + 14, kSheetViewHeight - 34);
    wbPreview->setOpenLinks(false);
    browser_ = std::make_unique<TPreviewBrowser>(wbPreview);
    connect(tcPrintPreview, &QTabBar::currentChanged, this,
            [this](int) { tcPrintPreviewChange(); });
    connect(btnPrint, &QPushButton::clicked, this, [this] { btnPrintClick(); });
    connect(btnPrintAll, &QPushButton::clicked, this, [this] { btnPrintAllClick(); });
}

void TfrmMain::BuildSummaryPage() {
    pnlSummary = new TSummaryPanel(this);
    pnlSummary->hide();
    pnlSummary->OnClose = [this] { SummaryClose(); };
    pnlSummary->OnOpenWork = [this](const std::string& number) { SummaryOpenWork(number); };
}

void TfrmMain::FormCreate() {
    setWindowTitle(platform::Cp932ToQString(GetAppTitle()) + U("　Ver") +
                   platform::Cp932ToQString(ReadSystemInfo("MAIN", "APP_VERSION")));
    helpAvailable_ = SetHelpFile(nullptr, mmHelp);
    if (!helpAvailable_) btnHelp->setEnabled(false);
    ReturnMenu();
    // The mode is fixed for the whole run. A value that is not a whole number
    // selects the contractor mode, as every value other than 101 does.
    const std::string userId = ReadSystemInfo("MAIN", "USR_ID");
    char* end = nullptr;
    const long id = std::strtol(userId.c_str(), &end, 10);
    orderingOffice_ = !userId.empty() && end && *end == '\0' && id == 101;
    btnImp->setVisible(true);
    if (!orderingOffice_) {
        for (int position : {7, 5, 4, 3, 2, 1, 0}) tcPrintPreview->removeTab(position);
        btnPrintAll->hide();
        btnPrint->move(btnPrintAll->pos());
    }
    exportChoices_ = {true, true, true, true, true};
    importRunning_ = false;
    DataNoEdit();
}

void TfrmMain::CreateDataModule() {
    dm_ = std::make_unique<TdmCdsModule>(*this, exeDir_);
    dgConstList->Bind(&dm_->dsEV_TBL_MAIN,
                      {{"CON_NAME", U("工事名"), 160}, {"TECH_TITLE", U("技術名称"), 160}});
    BuildSheets();
    ApplyMode();
    WireEntries();
    WirePoints();
    WireDateEntries();
    WirePictures();
    FillDateLists();
    DataNoEdit();
    dgConstList->RefreshRows();
}

void TfrmMain::BuildSheets() {
    TSheetContext context{*dm_, orderingOffice_};
    BuildHeader(pnlHeader, context);
    for (const TSheetDef& def : SheetDefs()) {
        if (!orderingOffice_ && QString(def.tab) != "tsInvCon") continue;
        auto* tab = new QWidget;
        tab->setObjectName(def.tab);
        auto* view = new QWidget(tab);
        view->setObjectName(QString(def.panel) + "View");
        view->setGeometry(0, 0, kSheetPanelWidth, kSheetViewHeight);
        auto* panel = new QWidget(view);
        panel->setObjectName(def.panel);
        panel->setGeometry(0, 0, kSheetPanelWidth, def.height);
        def.build(panel, context);
        auto* bar = new QScrollBar(Qt::Vertical, tab);
        bar->setObjectName(def.scrollBar);
        bar->setAccessibleName(U("スクロールバー"));
        bar->setGeometry(kSheetPanelWidth + 2, 0, 17, kSheetViewHeight);
        bar->setRange(0, def.height - kSheetViewHeight);
        bar->setSingleStep(26);
        bar->setPageStep(kSheetViewHeight);
        connect(bar, &QScrollBar::valueChanged, panel,
                [panel](int position) { panel->move(0, -position); });
        sheetTabs_[def.tab] = {tab, panel, bar};
        pcSarvenu->addTab(tab, U(def.caption));
    }
    pcSarvenu->addTab(tsPrintPreview, U("印刷プレビュー"));
    for (int i = 0; i < pcSarvenu->count(); ++i)
        pcSarvenu->widget(i)->setAccessibleName(pcSarvenu->tabText(i));
    for (auto* edit : findChildren<QWidget*>()) edit->installEventFilter(this);
}

void TfrmMain::ApplyMode() {
    if (auto* importButton = FindControl<QPushButton>("btnImpCon")) {
        importButton->setVisible(orderingOffice_);
        connect(importButton, &QPushButton::clicked, this, [this] { btnImpClick("btnImpCon"); });
    }
    if (auto* exportButton = FindControl<QPushButton>("btnExp"))
        connect(exportButton, &QPushButton::clicked, this, [this] { btnExpClick(); });
    if (orderingOffice_) return;
    for (const char* name :
         {"lblInvCostPoint1", "lblInvCostPoint2", "lblInvCostPoint3", "lblInvCostPoint4",
          "lblInvCostPoint5", "lblCostSubtractionCon2", "lblInvOldCostCon2", "lblCostPointCon",
          "lblInvProcessPoint1", "lblInvProcessPoint2", "lblInvProcessPoint3",
          "lblInvProcessPoint4", "lblInvProcessPoint5", "lblProcessSubtractionCon2",
          "lblInvProcessOld", "lblInvProcessPointCon"})
        if (QWidget* label = findChild<QWidget*>(name)) label->hide();
}

QScrollBar* TfrmMain::SheetScrollBar(const QString& tabName) const {
    auto it = sheetTabs_.find(tabName);
    return it == sheetTabs_.end() ? nullptr : it->second.scrollBar;
}

void TfrmMain::TabShown(int index) {
    QWidget* page = pcSarvenu->widget(index);
    if (!page) return;
    if (page == tsPrintPreview) {
        if (sheetPages_) tsPrintPreviewShow();
        return;
    }
    auto it = sheetTabs_.find(page->objectName());
    if (it == sheetTabs_.end()) return;
    if (page->objectName() == "tsInvAdd") SetPointAvg();
    it->second.scrollBar->setValue(0);
    it->second.panel->move(0, 0);
    const QString name = page->objectName();
    if (name == "tsPlan" || name == "tsReport" || name == "tsInvAdd" || name == "tsInvAdd2")
        if (isVisible()) it->second.scrollBar->setFocus();
}

void TfrmMain::FormMouseWheel(int steps) {
    QWidget* page = pcSarvenu->currentWidget();
    if (!page || !pcSarvenu->isVisible()) return;
    QScrollBar* bar = SheetScrollBar(page->objectName());
    if (!bar) return;
    bar->setValue(bar->value() + 26 * steps);
}

namespace {

// True when the widget lies in a scrollable area of its own (a long memo,
// the print preview) that can scroll its content.
bool ScrollsItself(QObject* watched, QWidget* window) {
    for (QObject* o = watched; o && o != window; o = o->parent()) {
        auto* area = qobject_cast<QAbstractScrollArea*>(o);
        if (area && area->verticalScrollBar() && area->verticalScrollBar()->maximum() > 0)
            return true;
    }
    return false;
}

}  // namespace

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && sheetPages_ && !ScrollsItself(watched, this)) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        QWidget* page = pcSarvenu->currentWidget();
        // Only a sheet page scrolls by the window's 26-pixel steps; a page
        // without a sheet scroll bar (the preview) keeps its own wheel.
        if (page && SheetScrollBar(page->objectName())) {
            // A notch is 120; a touchpad's small deltas add up to whole steps.
            wheelRemainder_ += wheel->angleDelta().y();
            const int steps = wheelRemainder_ / 120;
            wheelRemainder_ -= steps * 120;
            if (steps != 0) FormMouseWheel(-steps);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Tables that could not be opened are named once the window is up, so
    // that the box stands over the program it concerns.
    if (dm_ && !openFailuresReported_) {
        openFailuresReported_ = true;
        QMetaObject::invokeMethod(
            this, [this] { ReportOpenFailures(); }, Qt::QueuedConnection);
    }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // An error while saving, abandoning or writing keeps the window open
    // with what the user entered; the error is shown here, since a close
    // event left accepted would end the program without writing the tables.
    bool close = false;
    try {
        close = FormCloseQuery();
    } catch (const std::exception& error) {
        ShowException(error);
    }
    if (close)
        event->accept();
    else
        event->ignore();
}

void TfrmMain::btnHelpClick() {
    if (!helpAvailable_) return;
    if (!frmHelp_) {
        frmHelp_ = new TfrmHelp(this);
        frmHelp_->OnClosed = [this] { frmHelp_ = nullptr; };
        if (!frmHelp_->FormCreate()) {
            // The file went away after start-up: warned once, and the button
            // stays off for the rest of the run instead of opening an empty window.
            helpAvailable_ = false;
            btnHelp->setEnabled(false);
            delete frmHelp_;
            frmHelp_ = nullptr;
            return;
        }
    }
    frmHelp_->show();
    frmHelp_->raise();
    frmHelp_->activateWindow();
}

}  // namespace sarvenu
