// Stored dates the date lists cannot show (no calendar date, as an import or
// an older release may leave): the warning when the work opens, keeping the
// stored text through saves of its sheet, and replacing it by the user's
// choice.
#include <algorithm>

#include "platform/codepage.h"
#include "shell/tests/window_fixture.h"

namespace window_test {
namespace {

const char* const kWork = "CYY-XX0001";

class UnshownDateTest : public WindowTest {
  protected:
    // One work whose plan and chief supervisor's sheets hold dates that do
    // not exist beside ones that do; the window opens over it.
    void SetUp() override {
        WindowTest::SetUp();
        Open();
        ASSERT_TRUE(CloseWindow());
        window.reset();
        installation->WriteRows(
            TTableId::Main,
            {{{"CONST_NO", kWork}, {"CON_NAME", platform::Utf8ToCp932("橋梁補修")}}});
        installation->WriteRows(TTableId::Plan, {{{"CONST_NO", kWork},
                                                  {"REG_DATE", "2006/02/30"},
                                                  {"CON_DATE_S", "2006/04/01"},
                                                  {"TECH_CON_DATE_E", "2006/13/28"}}});
        installation->WriteRows(TTableId::InvChief,
                                {{{"CONST_NO", kWork}, {"INV_CON_DATE_E", "2007-03-31"}}});
        for (TTableId sheet : {TTableId::Report, TTableId::InvSection, TTableId::InvCon})
            installation->WriteRows(sheet, {{{"CONST_NO", kWork}}});
        Open();
        boxes.shown.clear();
    }
    std::string Stored(TTableId table, const char* field) {
        return ReadTable(installation->TablePath(table)).at(0).at(field);
    }
    bool ListsEmpty(const std::string& base) {
        const TDateCombos entry = Date(base);
        return entry.year->currentText().isEmpty() && entry.month->currentText().isEmpty() &&
               entry.day->currentText().isEmpty();
    }
    // Saves with Yes, goes back to the menu and closes the window (which
    // writes the tables).
    void SaveAndClose() {
        boxes.answers = {idYes};
        window->bbtnSubmit->click();
        window->btnReturnMenu->click();
        ASSERT_TRUE(CloseWindow());
    }
};

TEST_F(UnshownDateTest, OpeningTheWorkNamesEachDateTheListsCannotShow) {
    window->btnEdit->click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].icon, miWarning);
    EXPECT_EQ(boxes.shown[0].buttons, mbOK);
    const std::string text = boxes.Texts()[0];
    for (const char* line :
         {"［新技術活用等計画書］作成：2006/02/30",
          "［新技術活用等計画書］新技術施工期間(終)：2006/13/28", "工事期間(終)：2007-03-31"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " missing in\n" << text;
    EXPECT_EQ(text.find("2006/04/01"), std::string::npos) << "a real date is shown, not named";
    EXPECT_TRUE(ListsEmpty("cmbRegDatePlan"));
    EXPECT_EQ(Date("cmbConDatePlanS").day->currentText().toStdString(), "1");
    EXPECT_FALSE(window->HasUnsavedChanges()) << "opening is no change";

    // Back on the menu and into the work again: told again, once.
    window->btnReturnMenu->click();
    window->dgConstListDblClick();
    EXPECT_EQ(boxes.shown.size(), 2u);
    // A new work has nothing of the kind.
    window->btnReturnMenu->click();
    window->btnNew->click();
    EXPECT_EQ(boxes.shown.size(), 2u);
    EXPECT_TRUE(ListsEmpty("cmbRegDatePlan"));
}

TEST_F(UnshownDateTest, SavingTheSheetKeepsTheStoredTextsUntilTheUserPicksADate) {
    window->btnEdit->click();
    // Edits on both sheets write all their dates at save.
    Edit(TTableId::Plan, "CON_PLACE")->SetTextCp932(platform::Utf8ToCp932("東京都"));
    ChooseDate("cmbConDateChiefS", "2006", "4", "1");
    SaveAndClose();
    EXPECT_EQ(Stored(TTableId::Plan, "REG_DATE"), "2006/02/30");
    EXPECT_EQ(Stored(TTableId::Plan, "TECH_CON_DATE_E"), "2006/13/28");
    EXPECT_EQ(Stored(TTableId::Plan, "CON_DATE_S"), "2006/04/01");
    EXPECT_EQ(Stored(TTableId::Plan, "CON_PLACE"), platform::Utf8ToCp932("東京都"));
    EXPECT_EQ(Stored(TTableId::InvChief, "INV_CON_DATE_E"), "2007-03-31");
    EXPECT_EQ(Stored(TTableId::InvChief, "INV_CON_DATE_S"), "2006/04/01");

    // The user's choice replaces the stored text; an entry the user typed
    // into and emptied again saves as no date.
    window.reset();
    Open();
    window->btnEdit->click();
    ChooseDate("cmbRegDatePlan", "2006", "2", "28");
    Date("cmbTechConDatePlanE").year->setEditText("2");
    Date("cmbTechConDatePlanE").year->setEditText("");
    SaveAndClose();
    EXPECT_EQ(Stored(TTableId::Plan, "REG_DATE"), "2006/02/28");
    EXPECT_EQ(Stored(TTableId::Plan, "TECH_CON_DATE_E"), "");
    EXPECT_EQ(Stored(TTableId::InvChief, "INV_CON_DATE_E"), "2007-03-31");

    window.reset();
    boxes.shown.clear();
    Open();
    window->btnEdit->click();
    const std::vector<std::string> texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].find("2006/02"), std::string::npos) << "the plan's dates now show";
    EXPECT_EQ(Date("cmbRegDatePlan").day->currentText().toStdString(), "28");
}

TEST_F(UnshownDateTest, AStoredTextBelongsToItsWorkOnly) {
    window->btnEdit->click();
    window->btnReturnMenu->click();
    window->btnNew->click();
    Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("道路改良"));
    Edit(TTableId::Plan, "CON_PLACE")->SetTextCp932(platform::Utf8ToCp932("大阪府"));
    SaveAndClose();
    const std::vector<Row> plans = ReadTable(installation->TablePath(TTableId::Plan));
    ASSERT_EQ(plans.size(), 2u);
    const auto fresh = std::find_if(plans.begin(), plans.end(),
                                    [](const Row& row) { return row.at("CONST_NO") != kWork; });
    ASSERT_NE(fresh, plans.end());
    EXPECT_EQ(fresh->at("REG_DATE"), "");
    EXPECT_EQ(fresh->at("TECH_CON_DATE_E"), "");
}

}  // namespace
}  // namespace window_test
