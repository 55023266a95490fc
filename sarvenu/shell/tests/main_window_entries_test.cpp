// The checks as the window runs them (message, tab, scroll position, focus)
// and the date entries (lists, composing, clearing, fiscal year, the chief
// supervisor's dates on the report tab).
#include <QDate>
#include <QTest>

#include "platform/codepage.h"
#include "records/check_con.h"
#include "shell/tests/sample_work.h"
#include "shell/tests/window_fixture.h"

namespace window_test {
namespace {

class CheckTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        Open();
        window->btnNew->click();
    }
    // The last box's text, its tab, the sheet's scroll position and whether
    // the focused control is (or lies in) the named one and is in view.
    void ExpectFailure(const std::string& message, const char* tab, int scroll,
                       const std::string& focus) {
        ASSERT_FALSE(boxes.shown.empty());
        EXPECT_EQ(platform::Cp932ToUtf8(boxes.shown.back().text), message);
        EXPECT_EQ(boxes.shown.back().icon, miError);
        EXPECT_EQ(CurrentTab().toStdString(), tab);
        QScrollBar* bar = window->SheetScrollBar(tab);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->value(), scroll);
        QWidget* target = window->findChild<QWidget*>(QString::fromStdString(focus));
        ASSERT_NE(target, nullptr) << focus;
        QWidget* focused = QApplication::focusWidget();
        EXPECT_TRUE(focused == target || (focused && target->isAncestorOf(focused)))
            << "focus is on " << (focused ? focused->objectName().toStdString() : "nothing");
        QWidget* view = window->findChild<QWidget*>(QString(tab).replace("ts", "pnl") + "View");
        ASSERT_NE(view, nullptr);
        const QRect shown = QRect(target->mapTo(view, QPoint(0, 0)), target->size());
        EXPECT_TRUE(view->rect().contains(shown.topLeft())) << focus << " is out of view";
    }
};

TEST_F(CheckTest, FullSampleWorkPassesEveryCheck) {
    sample_work::FillSampleWork(*window);
    boxes.shown.clear();
    EXPECT_TRUE(CheckMainItems(*window));
    EXPECT_TRUE(CheckPlanSheet(*window));
    EXPECT_TRUE(CheckReportSheet(*window));
    EXPECT_TRUE(CheckSectionSheet(*window));
    EXPECT_TRUE(CheckChiefSheet(*window));
    EXPECT_TRUE(CheckConSheet(*window));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(CheckTest, PlanPeriodInTheWrongOrderIsRefusedAtTheEndDate) {
    sample_work::FillSampleWork(*window);
    ChooseDate("cmbConDatePlanS", "2006", "5", "1");
    ChooseDate("cmbConDatePlanE", "2006", "4", "30");
    ShowTab("tsInvCon");
    EXPECT_FALSE(CheckPlanSheet(*window));
    ExpectFailure("工事期間に矛盾があります。", "tsPlan", 240, "cmbConDatePlanE_Year");
    ChooseDate("cmbConDatePlanS", "2006", "4", "30");
    EXPECT_TRUE(CheckPlanSheet(*window)) << "the same day passes";
}

TEST_F(CheckTest, TickedReasonWithoutCommentWins) {
    sample_work::FillSampleWork(*window);
    Edit(TTableId::Plan, "CON_PROCESS")->SetTextCp932("");
    Edit(TTableId::Plan, "CON_ENV")->SetTextCp932("");
    EXPECT_FALSE(CheckPlanSheet(*window));
    ExpectFailure("活用理由-工程を入力してください。", "tsPlan", 460,
                  EntryName(TTableId::Plan, "CON_PROCESS"));
}

TEST_F(CheckTest, UnansweredGradeFocusesItsGroupAndStaysUnanswered) {
    sample_work::FillSampleWork(*window);
    auto* third = Find<TDBRadioGroup>(EntryName(TTableId::InvChief, "INV_QUALITY_EVAL_POINT3"));
    third->SetItemIndex(-1);
    Find<TDBRadioGroup>(EntryName(TTableId::InvChief, "INV_QUALITY_EVAL_POINT6"))->SetItemIndex(-1);
    EXPECT_FALSE(CheckChiefSheet(*window));
    ExpectFailure("Ⅲ品質・出来形-評価点を選択してください。", "tsInvChief", 1242,
                  EntryName(TTableId::InvChief, "INV_QUALITY_EVAL_POINT3"));
    EXPECT_FALSE(third->HasValue());
    third->SetItemIndex(0);
    EXPECT_TRUE(CheckChiefSheet(*window)) << "optional grades are not checked";
}

TEST_F(CheckTest, ContractorRulesBringTheirEntriesIntoView) {
    sample_work::FillSampleWork(*window);
    Memo(TTableId::InvCon, "INV_CON_RESULT")->SetTextCp932("");
    EXPECT_FALSE(CheckConSheet(*window));
    ExpectFailure("総合的な所見を入力してください。", "tsInvCon", 3800,
                  EntryName(TTableId::InvCon, "INV_CON_RESULT"));
    Memo(TTableId::InvCon, "INV_ENV_RESULT")->SetTextCp932("");
    EXPECT_FALSE(CheckConSheet(*window));
    ExpectFailure("Ⅵ環境-調査結果を入力してください。", "tsInvCon", 3255,
                  EntryName(TTableId::InvCon, "INV_ENV_RESULT"));
    Edit(TTableId::InvCon, "INV_PROCESS_OLD")->SetTextCp932("");
    EXPECT_FALSE(CheckConSheet(*window));
    ExpectFailure("Ⅱ工程-従来技術を入力してください。", "tsInvCon", 1100,
                  EntryName(TTableId::InvCon, "INV_PROCESS_OLD"));
}

TEST_F(CheckTest, HeaderRulesNeedNoTab) {
    EXPECT_FALSE(CheckMainItems(*window));
    EXPECT_EQ(platform::Cp932ToUtf8(boxes.shown.back().text), "工事名を入力してください。");
    Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
    Edit(TTableId::Main, "TECH_TITLE")->SetTextCp932(platform::Utf8ToCp932("新工法"));
    Edit(TTableId::Main, "REG_NO")->SetTextCp932("KT-1");
    EXPECT_FALSE(CheckMainItems(*window));
    EXPECT_EQ(platform::Cp932ToUtf8(boxes.shown.back().text), "実施整備局を選択してください。");
    EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>("dblcmbGatherMoc"));
}

TEST_F(WindowTest, DayListsFollowYearAndMonth) {
    Open();
    window->btnNew->click();
    TDateCombos entry = Date("cmbConDatePlanS");
    ASSERT_NE(entry.year, nullptr);
    EXPECT_EQ(entry.year->itemText(0).toStdString(), "1998");
    EXPECT_EQ(entry.year->itemText(entry.year->count() - 1).toInt(),
              QDate::currentDate().year() + 5);
    EXPECT_EQ(entry.month->count(), 12);

    auto daysOffered = [&](const char* year, const char* month) {
        entry.year->setEditText(year);
        entry.month->setEditText(month);
        entry.day->showPopup();
        entry.day->hidePopup();
        return entry.day->count();
    };
    EXPECT_EQ(daysOffered("2008", "2"), 29);
    EXPECT_EQ(daysOffered("1900", "2"), 28);
    EXPECT_EQ(daysOffered("2000", "2"), 29);
    EXPECT_EQ(daysOffered("2006", "4"), 30);

    TDateCombos period = Date("cmbTechConDatePlanE");
    period.year->setEditText("2007");
    period.month->setEditText("3");
    period.day->showPopup();
    period.day->hidePopup();
    ASSERT_EQ(period.day->count(), 3);
    EXPECT_EQ(period.day->itemText(2).toStdString(), "下旬");
    period.day->setEditText(period.day->itemText(2));
    EXPECT_EQ(window->DateText("cmbTechConDatePlanE"), "2007/03/28");

    // A new year empties month and day: the composed date is empty.
    ChooseDate("cmbRegDatePlan", "2006", "4", "1");
    EXPECT_EQ(window->DateText("cmbRegDatePlan"), "2006/04/01");
    Date("cmbRegDatePlan").year->setEditText("2007");
    EXPECT_TRUE(Date("cmbRegDatePlan").month->currentText().isEmpty());
    EXPECT_TRUE(window->DateText("cmbRegDatePlan").empty());
}

TEST_F(WindowTest, FiscalYearAndChiefDatesOnOtherTabs) {
    Open();
    window->btnNew->click();
    auto nendo = [&](const char* name) {
        return window->findChild<QLabel*>(name)->text().toStdString();
    };
    ChooseDate("cmbRegDateReport", "2007", "3", "31");
    EXPECT_EQ(nendo("lblNendoAdd1"), "2006");
    EXPECT_EQ(nendo("lblNendoAdd2"), "2006");
    EXPECT_EQ(nendo("lblNendo2Add2"), "2006");
    ChooseDate("cmbRegDateReport", "2007", "4", "1");
    EXPECT_EQ(nendo("lblNendoAdd1"), "2007");
    Date("cmbRegDateReport").year->setEditText("2008");
    EXPECT_EQ(nendo("lblNendoAdd1"), "") << "no month, no fiscal year";

    ChooseDate("cmbConDateChiefS", "2006", "4", "1");
    EXPECT_EQ(nendo("lblConDateChiefS_Year"), "2006");
    EXPECT_EQ(nendo("lblConDateChiefS_Month"), "04");
    EXPECT_EQ(nendo("lblConDateChiefS_Day"), "01");
}

TEST_F(WindowTest, ChangingADateOfASavedWorkIsAnUnsavedChange) {
    Open();
    window->btnNew->click();
    Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
    ChooseDate("cmbRegDateReport", "2007", "3", "31");
    boxes.answers = {idYes};
    window->bbtnSubmit->click();
    window->btnReturnMenu->click();
    window->btnEdit->click();
    EXPECT_FALSE(window->HasUnsavedChanges());
    EXPECT_EQ(Date("cmbRegDateReport").day->currentText().toStdString(), "31");
    Date("cmbRegDateReport").day->setEditText("30");
    EXPECT_TRUE(window->HasUnsavedChanges());
    boxes.answers = {idYes};
    window->btnReturnMenu->click();
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(ReadTable(installation->TablePath(TTableId::Report)).at(0).at("REG_DATE"),
              "2007/03/30");
}

}  // namespace
}  // namespace window_test
