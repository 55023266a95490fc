// The main window's record workflow, driven through its named controls with
// scripted answers: creating, filling, saving, reopening, abandoning and
// deleting works, what reaches the table files, and the contractor mode.
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "platform/codepage.h"
#include "records/entry_names.h"
#include "shell/help.h"
#include "shell/tests/sample_work.h"
#include "shell/tests/window_fixture.h"

namespace window_test {
namespace {

const std::string kSaveQuestion = "編集データを保存しますか？";

TEST_F(WindowTest, StartsOnTheMenuPageWithCaptionAndHelp) {
    Open();
    EXPECT_TRUE(window->pnlMenu->isVisible());
    EXPECT_FALSE(window->pcSarvenu->isVisible());
    EXPECT_FALSE(window->bbtnSubmit->isVisible());
    EXPECT_EQ(window->windowTitle().toStdString(), "調査システム　Ver2.010");
    EXPECT_EQ(window->mmHelp->toPlainText().toStdString(), "操作の手引き\n達成率100％");
    EXPECT_EQ(window->pcSarvenu->count(), 8);
    EXPECT_EQ(window->size(), QSize(927, 664));
}

TEST_F(WindowTest, NewWorkFilledSavedAndReopenedKeepsEveryValueOnDisk) {
    Open();
    window->btnNew->click();
    EXPECT_TRUE(window->pcSarvenu->isVisible());
    EXPECT_EQ(CurrentTab(), "tsPlan");
    EXPECT_TRUE(window->HasUnsavedChanges());
    sample_work::FillSampleWork(*window);

    boxes.answers = {idYes};
    window->bbtnSubmit->click();
    ASSERT_EQ(boxes.Texts(), std::vector<std::string>{kSaveQuestion});
    EXPECT_FALSE(window->HasUnsavedChanges());
    EXPECT_TRUE(window->pcSarvenu->isVisible()) << "saving stays on the sheets";

    // Reopen from the menu and compare what each entry shows.
    window->btnReturnMenu->click();
    EXPECT_TRUE(window->pnlMenu->isVisible());
    ASSERT_EQ(window->dgConstList->RowTotal(), 1);
    EXPECT_EQ(Cell(0, 0), "一般国道４号　千代田橋梁補修工事");
    window->btnEdit->click();
    EXPECT_EQ(Edit(TTableId::InvCon, "INV_OLD_COST")->TextCp932(), "1250.5");
    EXPECT_EQ(Date("cmbTechConDatePlanS").day->currentText().toStdString(), "上旬");
    EXPECT_EQ(window->findChild<QLabel*>("lblNendoAdd1")->text().toStdString(), "2006");
    EXPECT_FALSE(window->HasUnsavedChanges()) << "opening a work is not an edit";

    window->btnReturnMenu->click();
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(boxes.shown.size(), 1u) << "closing on the menu page asks nothing";

    const auto main = ReadTable(installation->TablePath(TTableId::Main));
    ASSERT_EQ(main.size(), 1u);
    EXPECT_EQ(main[0].at("CONST_NO"), "CYY-XX0001");
    EXPECT_EQ(platform::Cp932ToUtf8(main[0].at("TECH_TITLE")), "高耐久性床版防水システム");
    EXPECT_EQ(main[0].at("CON_TYPE"), "5");
    const auto plan = ReadTable(installation->TablePath(TTableId::Plan));
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].at("REG_DATE"), "2006/04/01");
    EXPECT_EQ(plan[0].at("TECH_CON_DATE_S"), "2006/06/01");
    EXPECT_EQ(plan[0].at("TECH_CON_DATE_E"), "2006/11/28");
    EXPECT_EQ(plan[0].at("CON_COST_YN"), "1");
    EXPECT_EQ(plan[0].at("CON_CHARGE_MIC"), "123-456");
    // An entry that was never left keeps its widths.
    EXPECT_EQ(platform::Cp932ToUtf8(plan[0].at("CON_CONTENT")),
              "橋梁上部工の床版補修\r\n床版防水工　Ａ＝１，２００ｍ２");
    const auto report = ReadTable(installation->TablePath(TTableId::Report));
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0].at("REG_DATE"), "2007/03/31");
    const auto chief = ReadTable(installation->TablePath(TTableId::InvChief));
    ASSERT_EQ(chief.size(), 1u);
    EXPECT_EQ(chief[0].at("INV_TECH_CON_DATE_E"), "2006/11/28");
    EXPECT_EQ(chief[0].at("INV_COMMON"), "0");
    for (int point = 1; point <= 5; ++point)
        EXPECT_FALSE(chief[0].at("INV_QUALITY_EVAL_POINT" + std::to_string(point)).empty());
    const auto con = ReadTable(installation->TablePath(TTableId::InvCon));
    ASSERT_EQ(con.size(), 1u);
    EXPECT_EQ(con[0].at("INV_PROCESS_NEW"), "30");
    EXPECT_EQ(platform::Cp932ToUtf8(con[0].at("PICTURE_B")), "防水層の施工状況");
}

TEST_F(WindowTest, AbandoningANewWorkRemovesItFromTheListAndTheFiles) {
    Open();
    window->btnNew->click();
    Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
    boxes.answers = {idNo};
    window->btnReturnMenu->click();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kSaveQuestion});
    EXPECT_TRUE(window->pnlMenu->isVisible());
    EXPECT_EQ(window->dgConstList->RowTotal(), 0);
    ASSERT_TRUE(CloseWindow());
    EXPECT_TRUE(ReadTable(installation->TablePath(TTableId::Main)).empty());
    EXPECT_TRUE(ReadTable(installation->TablePath(TTableId::Plan)).empty());
}

TEST_F(WindowTest, WorkSavedWithOnlyItsNameHasEverySheetButTheReport) {
    Open();
    window->btnNew->click();
    Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
    boxes.answers = {idYes};
    window->btnReturnMenu->click();
    ASSERT_TRUE(CloseWindow());
    for (TTableId table : {TTableId::Main, TTableId::Plan, TTableId::InvSection, TTableId::InvChief,
                           TTableId::InvCon})
        EXPECT_EQ(ReadTable(installation->TablePath(table)).size(), 1u) << TableDef(table).name;
    EXPECT_TRUE(ReadTable(installation->TablePath(TTableId::Report)).empty());
    EXPECT_EQ(ReadTable(installation->TablePath(TTableId::Plan)).at(0).at("CON_COST_YN"), "0");
}

TEST_F(WindowTest, SavingWithoutAWorkNameIsRefusedAndFocusesTheName) {
    Open();
    window->btnNew->click();
    boxes.answers = {idYes};
    window->bbtnSubmit->click();
    EXPECT_EQ(boxes.Texts(),
              (std::vector<std::string>{kSaveQuestion, "工事名を入力してください。"}));
    EXPECT_EQ(boxes.shown.back().icon, miError);
    EXPECT_TRUE(window->HasUnsavedChanges());
    EXPECT_EQ(QApplication::focusWidget(), Edit(TTableId::Main, "CON_NAME"));

    // Closing with Yes and a failing check refuses to close.
    boxes.answers = {idYes};
    EXPECT_FALSE(CloseWindow());
    EXPECT_TRUE(window->isVisible());
    // No abandons the new work; the window closes and writes nothing of it.
    boxes.answers = {idNo};
    EXPECT_TRUE(CloseWindow());
    EXPECT_TRUE(ReadTable(installation->TablePath(TTableId::Main)).empty());
}

TEST_F(WindowTest, EditAndDoubleClickOnAnEmptyListStartANewWork) {
    Open();
    window->btnEdit->click();
    EXPECT_TRUE(window->pcSarvenu->isVisible());
    EXPECT_EQ(window->dm().cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText(), "CYY-XX0001");
    boxes.answers = {idNo};
    window->btnReturnMenu->click();
    window->dgConstListDblClick();
    EXPECT_TRUE(window->pcSarvenu->isVisible());
}

TEST_F(WindowTest, DeletingAsksWithTheQuotedNameAndEmptyListIsReported) {
    Open();
    window->btnDel->click();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"削除するデータがありません。"});
    EXPECT_EQ(boxes.shown.back().icon, miWarning);

    window->btnNew->click();
    Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
    boxes.answers = {idYes};
    window->btnReturnMenu->click();
    ASSERT_EQ(window->dgConstList->RowTotal(), 1);

    boxes.shown.clear();
    boxes.answers = {idNo};
    window->btnDel->click();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"\"橋梁補修\"を削除します。"});
    EXPECT_EQ(boxes.shown.back().buttons, mbYesNo);
    EXPECT_EQ(window->dgConstList->RowTotal(), 1);
    boxes.answers = {idYes};
    window->btnDel->click();
    EXPECT_EQ(window->dgConstList->RowTotal(), 0);
    ASSERT_TRUE(CloseWindow());
    EXPECT_TRUE(ReadTable(installation->TablePath(TTableId::Main)).empty());
}

TEST_F(WindowTest, LongDoubleByteWorkNameIsKeptWhole) {
    Open();
    window->btnNew->click();
    TDBEdit* name = Edit(TTableId::Main, "CON_NAME");
    // 127 double-byte characters and one ASCII letter: 255 bytes.
    std::string text;
    for (int i = 0; i < 127; ++i) text += platform::Utf8ToCp932("橋");
    text += "A";
    name->SetTextCp932(text);
    name->setFocus();
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("梁"));
    QApplication::sendEvent(name, &press);
    EXPECT_EQ(name->TextCp932(), text) << "the 256th byte is refused";
    boxes.answers = {idYes};
    window->bbtnSubmit->click();
    window->btnReturnMenu->click();
    EXPECT_EQ(window->dgConstList->CellText(0, 0), text);
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(ReadTable(installation->TablePath(TTableId::Main)).at(0).at("CON_NAME"), text);
}

TEST_F(WindowTest, KeyFiltersAndEnterMovesOn) {
    Open();
    window->btnNew->click();
    TDBEdit* regNo = Edit(TTableId::Main, "REG_NO");
    regNo->setFocus();
    QTest::keyClicks(regNo, "x-1!");
    EXPECT_EQ(regNo->text().toStdString(), "x-1");
    TDBEdit* mic = Edit(TTableId::Plan, "CON_CHARGE_MIC");
    mic->setFocus();
    QTest::keyClicks(mic, "x12-3.");
    EXPECT_EQ(mic->text().toStdString(), "12-3");
    // The contractor's cost entries open for a contractor proposal.
    Find<TDBLookupComboBox>("dblcmbConType")->SelectCode("6");
    ShowTab("tsInvCon");
    TDBEdit* cost = Edit(TTableId::InvCon, "INV_OLD_COST");
    cost->setFocus();
    QTest::keyClicks(cost, "1a2.5-");
    EXPECT_EQ(cost->text().toStdString(), "12.5");
    EXPECT_TRUE(cost->alignment() & Qt::AlignRight);

    TDBEdit* name = Edit(TTableId::Main, "CON_NAME");
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_NE(QApplication::focusWidget(), name);
}

TEST_F(WindowTest, SpacesCollapseWhileTypingAndWidthsNormaliseWhenLeft) {
    Open();
    window->btnNew->click();
    TDBEdit* name = Edit(TTableId::Main, "CON_NAME");
    name->setFocus();
    TypeText(name, QString::fromUtf8("a　　b"));
    EXPECT_EQ(name->text().toStdString(), "a b");
    TDBEdit* title = Edit(TTableId::Main, "TECH_TITLE");
    title->setFocus();
    TypeText(title, QString::fromUtf8("ＡＢＣ１２３ｶﾞｲﾄﾞ"));
    name->setFocus();
    EXPECT_EQ(title->text().toStdString(), "ABC123ガイド");
    TDBMemo* content = Memo(TTableId::Plan, "CON_CONTENT");
    content->setFocus();
    content->SetTextCp932("line\r\n\r\n");
    name->setFocus();
    EXPECT_EQ(content->TextCp932(), "line");
}

TEST_F(WindowTest, OfficeListFollowsTheBureauAndNameDisplaysFollowTheLists) {
    Open();
    window->btnNew->click();
    auto* office = Find<TDBLookupComboBox>("dblcmbHacSai");
    office->showPopup();
    office->hidePopup();
    EXPECT_EQ(office->count(), 0) << "no bureau chosen: the list is empty";

    auto* bureau = Find<TDBLookupComboBox>("dblcmbGatherMoc");
    bureau->SelectCode("3");
    office->showPopup();
    office->hidePopup();
    std::vector<std::string> offered;
    for (int i = 0; i < office->count(); ++i) offered.push_back(office->itemText(i).toStdString());
    std::vector<std::string> expected;
    std::vector<TOfficeRow> rows;
    for (const TOfficeRow& row : ShippedOffices())
        if (OfficeBelongsToBureau(row.cd, 3)) rows.push_back(row);
    std::sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.sortId < b.sortId; });
    for (const TOfficeRow& row : rows) expected.push_back(row.name);
    EXPECT_EQ(offered, expected);

    office->SelectCode(std::to_string(rows.front().cd));
    auto* display = Find<TDBMemo>("dbmmHacSaiPlan");
    EXPECT_EQ(display->toPlainText().toStdString(), rows.front().name);
    EXPECT_EQ(Find<TDBMemo>("dbmmGatherMocSec")->toPlainText().toStdString(), "関東地方整備局");

    // The Delete key empties the bureau, and with it the office that belonged
    // to it: the displays are unbound.
    EXPECT_FALSE(window->dm().cdsEV_TBL_MAIN.FieldNamed("OFFICE_CD").GetText().empty());
    bureau->setFocus();
    QTest::keyClick(bureau, Qt::Key_Delete);
    EXPECT_TRUE(window->dm().cdsEV_TBL_MAIN.FieldNamed("MOC_CD").GetText().empty());
    EXPECT_TRUE(window->dm().cdsEV_TBL_MAIN.FieldNamed("OFFICE_CD").GetText().empty());
    EXPECT_TRUE(Find<TDBMemo>("dbmmGatherMocPlan")->toPlainText().isEmpty());
    EXPECT_TRUE(Find<TDBMemo>("dbmmHacSaiPlan")->toPlainText().isEmpty());

    // Back to the menu clears the office filter.
    boxes.answers = {idNo};
    window->btnReturnMenu->click();
    EXPECT_FALSE(window->dm().cdsMV_STBL_HAC_SAI.Filtered());
}

TEST_F(WindowTest, SheetScrollBarsWheelAndTabShow) {
    Open();
    window->btnNew->click();
    QScrollBar* chief = window->SheetScrollBar("tsInvChief");
    ASSERT_NE(chief, nullptr);
    EXPECT_EQ(chief->maximum(), 3889 - 442);
    EXPECT_EQ(chief->singleStep(), 26);
    ShowTab("tsInvChief");
    window->FormMouseWheel(1);
    window->FormMouseWheel(1);
    EXPECT_EQ(chief->value(), 52);
    EXPECT_EQ(window->findChild<QWidget*>("pnlInvChief")->y(), -52);
    window->FormMouseWheel(-5);
    EXPECT_EQ(chief->value(), 0);
    chief->setValue(1000);
    ShowTab("tsPlan");
    ShowTab("tsInvChief");
    EXPECT_EQ(chief->value(), 0) << "showing a tab scrolls it back to the top";
    ShowTab("tsPrintPreview");
    window->FormMouseWheel(1);  // nothing to scroll; must not fail
}

// The real wheel: a sheet scrolls by 26 pixels per notch, small touchpad
// deltas add up to whole steps, and the print preview scrolls itself.
TEST_F(WindowTest, WheelEventsScrollSheetsByNotchesAndLeaveThePreviewItsOwn) {
    Open();
    window->btnNew->click();
    auto wheel = [](QWidget* target, int delta) {
        QWheelEvent event(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    };
    ShowTab("tsInvChief");
    QScrollBar* chief = window->SheetScrollBar("tsInvChief");
    QWidget* panel = window->findChild<QWidget*>("pnlInvChief");
    for (int i = 0; i < 3; ++i) wheel(panel, -30);
    EXPECT_EQ(chief->value(), 0) << "three small deltas are less than a notch";
    wheel(panel, -30);
    EXPECT_EQ(chief->value(), 26);
    wheel(panel, -240);
    EXPECT_EQ(chief->value(), 78);

    ShowTab("tsPrintPreview");
    QString text;
    for (int i = 0; i < 300; ++i) text += QString("line %1\n").arg(i);
    window->wbPreview->setPlainText(text);
    window->wbPreview->resize(400, 200);
    QApplication::processEvents();
    ASSERT_GT(window->wbPreview->verticalScrollBar()->maximum(), 0);
    wheel(window->wbPreview->viewport(), -120);
    EXPECT_GT(window->wbPreview->verticalScrollBar()->value(), 0) << "the preview scrolls";
}

TEST_F(WindowTest, ContractorModeShowsOnlyItsSheetAndOneChoice) {
    Open(/*userId=*/205);
    EXPECT_EQ(window->pcSarvenu->count(), 2);
    EXPECT_EQ(window->tcPrintPreview->count(), 1);
    EXPECT_EQ(window->tcPrintPreview->tabText(0).toStdString(), "請負者・技術開発者提出用");
    EXPECT_FALSE(window->btnPrintAll->isVisibleTo(window.get()));
    EXPECT_EQ(window->btnPrint->x(), window->btnPrintAll->x());
    window->btnNew->click();
    EXPECT_EQ(CurrentTab(), "tsInvCon");
    EXPECT_FALSE(window->findChild<QWidget*>("btnImpCon")->isVisibleTo(window.get()));
    EXPECT_FALSE(window->findChild<QWidget*>("lblInvCostPoint1")->isVisibleTo(window.get()));
    EXPECT_EQ(window->findChild<QWidget*>("dbePlan_CON_PLACE"), nullptr);
    sample_work::FillSampleWork(*window);
    boxes.answers = {idYes};
    window->bbtnSubmit->click();
    ASSERT_TRUE(CloseWindow());
    const auto con = ReadTable(installation->TablePath(TTableId::InvCon));
    ASSERT_EQ(con.size(), 1u);
    EXPECT_EQ(platform::Cp932ToUtf8(con[0].at("INV_NATURAL_ENV")),
              "河川上の橋梁で、騒音・振動の規制がある。");
}

TEST_F(WindowTest, MissingHelpFileWarnsOnceAndDisablesHelp) {
    Open(101, /*withHelp=*/false);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"ヘルプファイルを開けません。"});
    EXPECT_TRUE(window->mmHelp->toPlainText().isEmpty());
    EXPECT_FALSE(window->btnHelp->isEnabled());
    window->btnNew->click();
    EXPECT_TRUE(window->pcSarvenu->isVisible()) << "the rest of the start-up went on";
}

TEST_F(WindowTest, HelpButtonShowsOneWindow) {
    Open();
    window->btnNew->click();
    window->btnHelp->click();
    TfrmHelp* first = window->HelpWindow();
    ASSERT_NE(first, nullptr);
    window->btnHelp->click();
    EXPECT_EQ(window->HelpWindow(), first);
    first->close();
    QApplication::processEvents();
    EXPECT_EQ(window->HelpWindow(), nullptr);
    window->btnHelp->click();
    EXPECT_NE(window->HelpWindow(), nullptr);
    window->HelpWindow()->close();
    QApplication::processEvents();

    // The file gone after start-up: one warning, no empty window, and the
    // button stays off.
    fs::remove(installation->Root() / "help" / "help.txt");
    boxes.shown.clear();
    window->btnHelp->click();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"ヘルプファイルを開けません。"});
    EXPECT_EQ(window->HelpWindow(), nullptr);
    EXPECT_FALSE(window->btnHelp->isEnabled());
    window->btnHelp->click();
    EXPECT_EQ(boxes.shown.size(), 1u);
}

}  // namespace
}  // namespace window_test
