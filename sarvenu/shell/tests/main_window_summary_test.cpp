// The summary page through the window: four stored works of three
// technologies in different fiscal years, bureaus, offices and types. The
// menu's button opens the page with one row per technology and its figures;
// each filter narrows the rows, choosing a technology lists its works and
// draws its chart, a double-click opens a work as the menu's list does, and
// the totals go out as a CSV file and as a printed PDF.
#include <cstdlib>

#include "platform/codepage.h"
#include "shell/summary_page.h"
#include "shell/tests/window_fixture.h"

namespace window_test {
namespace {

// One stored work: its main record, report date, process days and the
// quality answers of both sides (the five fixed items alike).
struct TStoredWork {
    const char* number;
    const char* name;  // UTF-8
    const char* regNo;
    const char* title;  // UTF-8
    const char* bureau;
    const char* office;
    const char* conType;
    const char* reported;
    const char* processOld;
    const char* processNew;
    const char* chiefQuality;  // empty: not answered
    const char* conQuality;
};

// Technology A: works 1 and 2 (fiscal 2006 and 2007, bureau 3, offices 301
// and 302, types 3 and 4); B: work 3 (reported February 2007, so fiscal
// 2006; bureau 4); C: work 4 (fiscal 2008, bureau 3, office 301).
const TStoredWork kWorks[] = {
    {"C18-01-0001", "工事Ａ１", "KT-000001A", "技術甲", "3", "301", "3", "2006/10/01", "100", "80",
     "1", "0"},
    {"C18-01-0002", "工事Ａ２", "KT-000001A", "技術甲", "3", "302", "4", "2007/06/01", "100", "90",
     "2", "1"},
    {"C18-01-0003", "工事Ｂ１", "KT-000002A", "技術乙", "4", "401", "3", "2007/02/10", "50", "40",
     "", ""},
    {"C18-01-0004", "工事Ｃ１", "QS-000003A", "技術丙", "3", "301", "3", "2008/04/01", "100", "100",
     "", ""},
};

// Columns of the technology list.
constexpr int kCount = 2;
constexpr int kProcessOffice = 3 + 3 * 1;
constexpr int kQualityOffice = 3 + 3 * 2;
constexpr int kQualityContractor = kQualityOffice + 1;
constexpr int kQualityAverage = kQualityOffice + 2;
constexpr int kOfficeAverage = 21;
constexpr int kOverall = 22;

Row QualityAnswers(const char* number, const char* answer) {
    Row row{{"CONST_NO", number}};
    if (*answer)
        for (int slot = 1; slot <= 5; ++slot)
            row["INV_QUALITY_EVAL_POINT" + std::to_string(slot)] = answer;
    return row;
}

class SummaryTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        StoreWorks(UserId());
    }
    virtual int UserId() const { return 101; }
    void TearDown() override {
        unsetenv("SARVENU_PRINT_DIR");
        WindowTest::TearDown();
    }

    // Writes the works into a fresh installation and opens the window over it.
    void StoreWorks(int userId) {
        Open(userId);
        ASSERT_TRUE(CloseWindow());
        window.reset();
        std::vector<Row> main, report, chief, con, empty;
        for (const TStoredWork& w : kWorks) {
            main.push_back({{"CONST_NO", w.number},
                            {"CON_NAME", platform::Utf8ToCp932(w.name)},
                            {"REG_NO", w.regNo},
                            {"TECH_TITLE", platform::Utf8ToCp932(w.title)},
                            {"MOC_CD", w.bureau},
                            {"OFFICE_CD", w.office},
                            {"CON_TYPE", w.conType}});
            report.push_back({{"CONST_NO", w.number}, {"REG_DATE", w.reported}});
            chief.push_back(QualityAnswers(w.number, w.chiefQuality));
            Row contractor = QualityAnswers(w.number, w.conQuality);
            contractor["INV_PROCESS_OLD"] = w.processOld;
            contractor["INV_PROCESS_NEW"] = w.processNew;
            con.push_back(contractor);
            empty.push_back({{"CONST_NO", w.number}});
        }
        installation->WriteRows(TTableId::Main, main);
        installation->WriteRows(TTableId::Plan, empty);
        installation->WriteRows(TTableId::Report, report);
        installation->WriteRows(TTableId::InvSection, empty);
        installation->WriteRows(TTableId::InvChief, chief);
        installation->WriteRows(TTableId::InvCon, con);
        Open(userId);
        boxes.shown.clear();
    }

    TSummaryPanel& Page() { return *window->pnlSummary; }
    std::string Cell(QTableWidget* grid, int row, int column) {
        QTableWidgetItem* item = grid->item(row, column);
        return item ? item->text().toStdString() : std::string();
    }
    std::vector<std::string> Column(QTableWidget* grid, int column) {
        std::vector<std::string> cells;
        for (int row = 0; row < grid->rowCount(); ++row) cells.push_back(Cell(grid, row, column));
        return cells;
    }
    std::vector<std::string> Technologies() { return Column(Page().gdSummary, 0); }
    std::vector<std::string> ListedWorks() { return Column(Page().gdSummaryWorks, 0); }
    std::vector<std::string> Items(QComboBox* list) {
        std::vector<std::string> items;
        for (int i = 0; i < list->count(); ++i) items.push_back(list->itemText(i).toStdString());
        return items;
    }
    // Chooses the item shown with that text, as the user would.
    void Choose(QComboBox* list, const char* text) {
        const int index = list->findText(QString::fromUtf8(text));
        ASSERT_GE(index, 0) << text;
        list->setCurrentIndex(index);
    }
    void SelectTechnology(int row) { Page().gdSummary->selectRow(row); }
};

TEST_F(SummaryTest, OpensWithOneRowPerTechnologyAndItsFigures) {
    window->btnSummary->click();
    EXPECT_TRUE(Page().isVisible());
    EXPECT_FALSE(window->pnlMenu->isVisible());
    ASSERT_EQ(Technologies(), (std::vector<std::string>{"KT-000001A", "KT-000002A", "QS-000003A"}));
    QTableWidget* grid = Page().gdSummary;
    EXPECT_EQ(Column(grid, 1), (std::vector<std::string>{"技術甲", "技術乙", "技術丙"}));
    EXPECT_EQ(Column(grid, kCount), (std::vector<std::string>{"2", "1", "1"}));
    // Technology A: process 120 and 110; quality 150/100 and 200/150.
    EXPECT_EQ(Cell(grid, 0, kProcessOffice), "115");
    EXPECT_EQ(Cell(grid, 0, kQualityOffice), "175");
    EXPECT_EQ(Cell(grid, 0, kQualityContractor), "125");
    EXPECT_EQ(Cell(grid, 0, kQualityAverage), "150");
    EXPECT_EQ(Cell(grid, 0, kOfficeAverage), "145");
    EXPECT_EQ(Cell(grid, 0, kOverall), "132.5");
    EXPECT_EQ(Cell(grid, 0, kOverall + 1), "122.5");
    EXPECT_EQ(Cell(grid, 0, kOverall + 2), "142.5");
    EXPECT_EQ(Cell(grid, 0, 3), "") << "no cost pair: no cost figure, not 0";
    // Technology B: only the process point, 120.
    EXPECT_EQ(Cell(grid, 1, kQualityAverage), "");
    EXPECT_EQ(Cell(grid, 1, kOverall), "120");
    EXPECT_EQ(Page().lblSummaryCount->text().toStdString(), "技術 3件　工事 4件");

    // Every choice has an empty one for all works; years are those of the works.
    EXPECT_EQ(Items(Page().cmbSummaryNendo),
              (std::vector<std::string>{"", "2006", "2007", "2008"}));
    EXPECT_EQ(Items(Page().cmbSummaryGatherMoc).size(), ShippedBureaus().size() + 1);
    EXPECT_EQ(Items(Page().cmbSummaryGatherMoc)[3], "関東地方整備局");
    EXPECT_EQ(Items(Page().cmbSummaryConType).size(), ShippedConTypes().size() + 1);
    EXPECT_EQ(Items(Page().cmbSummaryHacSai), (std::vector<std::string>{""}))
        << "no bureau chosen: no office to choose";

    Page().btnSummaryClose->click();
    EXPECT_FALSE(Page().isVisible());
    EXPECT_TRUE(window->pnlMenu->isVisible());
}

TEST_F(SummaryTest, EachFilterNarrowsTheRows) {
    window->btnSummary->click();
    Choose(Page().cmbSummaryNendo, "2006");
    EXPECT_EQ(Technologies(), (std::vector<std::string>{"KT-000001A", "KT-000002A"}));
    EXPECT_EQ(Cell(Page().gdSummary, 0, kCount), "1");
    EXPECT_EQ(Cell(Page().gdSummary, 0, kOverall), "122.5");
    Choose(Page().cmbSummaryNendo, "");

    Choose(Page().cmbSummaryGatherMoc, "関東地方整備局");
    EXPECT_EQ(Technologies(), (std::vector<std::string>{"KT-000001A", "QS-000003A"}));
    EXPECT_EQ(
        Items(Page().cmbSummaryHacSai),
        (std::vector<std::string>{"", "東京港湾事務所", "常陸河川国道事務所", "宇都宮国道事務所",
                                  "高崎河川国道事務所", "横浜国道事務所"}));
    Choose(Page().cmbSummaryHacSai, "宇都宮国道事務所");
    EXPECT_EQ(Technologies(), (std::vector<std::string>{"KT-000001A"}));
    EXPECT_EQ(Cell(Page().gdSummary, 0, kOverall), "142.5");
    // Another bureau offers its own offices and lets all of them through.
    Choose(Page().cmbSummaryGatherMoc, "北陸地方整備局");
    EXPECT_EQ(Page().cmbSummaryHacSai->currentText().toStdString(), "");
    EXPECT_EQ(Items(Page().cmbSummaryHacSai)[1], "新潟国道事務所");
    EXPECT_EQ(Technologies(), (std::vector<std::string>{"KT-000002A"}));
    Choose(Page().cmbSummaryGatherMoc, "");

    Choose(Page().cmbSummaryConType, "フィールド提供型");
    EXPECT_EQ(Technologies(), (std::vector<std::string>{"KT-000001A"}));
    Choose(Page().cmbSummaryNendo, "2006");
    EXPECT_TRUE(Technologies().empty());
    EXPECT_EQ(Page().gdSummaryWorks->rowCount(), 0);
    EXPECT_EQ(Page().lblSummaryCount->text().toStdString(), "集計する工事がありません。");
}

TEST_F(SummaryTest, ChoosingATechnologyListsExactlyItsWorksAndDrawsItsChart) {
    window->btnSummary->click();
    SelectTechnology(0);
    EXPECT_EQ(ListedWorks(), (std::vector<std::string>{"C18-01-0001", "C18-01-0002"}));
    EXPECT_EQ(Column(Page().gdSummaryWorks, 1), (std::vector<std::string>{"工事Ａ１", "工事Ａ２"}));
    EXPECT_EQ(Column(Page().gdSummaryWorks, 2), (std::vector<std::string>{"2006", "2007"}));
    EXPECT_EQ(Column(Page().gdSummaryWorks, 3), (std::vector<std::string>{"122.5", "142.5"}));
    ASSERT_FALSE(Page().imgSummaryChart->pixmap().isNull());
    const QImage chartA = Page().imgSummaryChart->pixmap().toImage();

    SelectTechnology(1);
    EXPECT_EQ(ListedWorks(), (std::vector<std::string>{"C18-01-0003"}));
    EXPECT_NE(Page().imgSummaryChart->pixmap().toImage(), chartA) << "each technology its chart";

    // A filter keeps the chosen technology and lists only its works it lets through.
    SelectTechnology(0);
    Choose(Page().cmbSummaryNendo, "2007");
    ASSERT_NE(Page().SelectedRow(), nullptr);
    EXPECT_EQ(Page().SelectedRow()->regNo, "KT-000001A");
    EXPECT_EQ(ListedWorks(), (std::vector<std::string>{"C18-01-0002"}));
}

TEST_F(SummaryTest, DoubleClickingAWorkOpensItAsTheMenuListDoes) {
    window->btnSummary->click();
    SelectTechnology(0);
    Page().gdSummaryWorks->cellDoubleClicked(1, 0);
    EXPECT_TRUE(window->SheetPagesShown());
    EXPECT_FALSE(Page().isVisible());
    EXPECT_EQ(window->dm().cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText(), "C18-01-0002");
    EXPECT_EQ(Edit(TTableId::Main, "CON_NAME")->text().toStdString(), "工事Ａ２");
    EXPECT_FALSE(window->HasUnsavedChanges());

    // Back from the sheets is the menu, and the summary opens again from there.
    window->btnReturnMenu->click();
    EXPECT_TRUE(window->pnlMenu->isVisible());
    EXPECT_FALSE(Page().isVisible());
    window->btnSummary->click();
    SelectTechnology(2);
    Page().gdSummaryWorks->cellDoubleClicked(0, 0);
    EXPECT_EQ(window->dm().cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText(), "C18-01-0004");
}

TEST_F(SummaryTest, ReadsTheWorksAgainEachTimeItOpens) {
    window->btnSummary->click();
    Page().btnSummaryClose->click();
    // Deleting technology B's only work takes its row away.
    ASSERT_TRUE(window->dm().cdsEV_TBL_MAIN.Locate("CONST_NO", "C18-01-0003"));
    boxes.answers = {idYes};
    window->btnDel->click();
    window->btnSummary->click();
    EXPECT_EQ(Technologies(), (std::vector<std::string>{"KT-000001A", "QS-000003A"}));
    EXPECT_EQ(Items(Page().cmbSummaryNendo),
              (std::vector<std::string>{"", "2006", "2007", "2008"}));
}

TEST_F(SummaryTest, CsvGoesToTheChosenFileAndAFailureIsShown) {
    window->btnSummary->click();
    Choose(Page().cmbSummaryNendo, "2006");
    const fs::path file = installation->Root() / "集計.csv";
    boxes.files = {file.string()};
    Page().btnSummaryCsv->click();
    ASSERT_EQ(boxes.dialogs.size(), 1u);
    EXPECT_EQ(boxes.dialogs[0].kind, fdSave);
    EXPECT_EQ(boxes.dialogs[0].defaultExt, "csv");
    const std::string csv = platform::Cp932ToUtf8(ReadBytes(file));
    EXPECT_EQ(csv.rfind("\"登録番号\",\"技術名称\"", 0), 0u) << csv;
    EXPECT_NE(csv.find("\r\n\"KT-000001A\",\"技術甲\",1,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\"KT-000002A\""), std::string::npos);
    EXPECT_EQ(csv.find("QS-000003A"), std::string::npos) << "the filtered rows only";
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].icon, miInformation);

    // A directory that does not exist: an error box, no file.
    const fs::path missing = installation->Root() / "none" / "out.csv";
    boxes.files = {missing.string()};
    Page().btnSummaryCsv->click();
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].icon, miError);
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(SummaryTest, PrintWritesThePageAndItsChartAndPrintsAPdf) {
    const fs::path printDir = installation->Root() / "printed";
    setenv("SARVENU_PRINT_DIR", printDir.c_str(), 1);
    window->btnSummary->click();
    Choose(Page().cmbSummaryGatherMoc, "関東地方整備局");
    SelectTechnology(0);
    Page().btnSummaryPrint->click();
    EXPECT_TRUE(boxes.shown.empty()) << boxes.Texts().front();
    const fs::path pdf = printDir / "print-001.pdf";
    ASSERT_TRUE(fs::exists(pdf));
    EXPECT_GT(fs::file_size(pdf), 0u);
    EXPECT_EQ(Page().Browser().LastPrintFile(), pdf.string());
    const fs::path html = installation->Root() / "html";
    EXPECT_TRUE(fs::exists(html / "SummaryGraph.gif"));
    const std::string page = platform::Cp932ToUtf8(ReadBytes(html / "Summary.htm"));
    EXPECT_NE(page.find("実施整備局: 関東地方整備局"), std::string::npos) << page;
    EXPECT_EQ(page.find("KT-000002A"), std::string::npos) << "the filtered rows only";
}

class SummaryContractorTest : public SummaryTest {
  protected:
    int UserId() const override { return 205; }
};

TEST_F(SummaryContractorTest, FiguresComeFromTheContractorSheetOnly) {
    window->btnSummary->click();
    ASSERT_EQ(Technologies().size(), 3u);
    QTableWidget* grid = Page().gdSummary;
    EXPECT_EQ(Cell(grid, 0, kQualityOffice), "") << "no chief supervisor's sheet";
    EXPECT_EQ(Cell(grid, 0, kQualityContractor), "125");
    EXPECT_EQ(Cell(grid, 0, kOfficeAverage), "");
}

}  // namespace
}  // namespace window_test
