// The evaluation points through the window: which cost entries the
// construction type unlocks, the cost and process points with their copies on
// the other sheets and the totals tab, "表記無し" in the contractor column, the
// aspect scores, the automatic tick of an optional item and the averages.
#include "platform/codepage.h"
#include "records/entry_names.h"
#include "shell/tests/window_fixture.h"

namespace window_test {
namespace {

class PointsTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        Open();
        window->btnNew->click();
        Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
    }
    void ChooseType(const std::string& code) {
        Find<TDBLookupComboBox>("dblcmbConType")->SelectCode(code);
    }
    // Types a value into an entry and leaves it, as the user would.
    void Enter(TTableId sheet, const std::string& field, const std::string& text) {
        TDBEdit* entry = Edit(sheet, field);
        ASSERT_NE(entry, nullptr);
        entry->SetTextCp932(text);
        ASSERT_TRUE(entry->OnExit) << field;
        entry->OnExit();
    }
    std::string Shown(const char* name) { return platform::Cp932ToUtf8(window->DisplayText(name)); }
    bool Unlocked(TTableId sheet) {
        TDBEdit* entry = Edit(sheet, "INV_OLD_COST");
        return entry->isEnabled() && !entry->isReadOnly();
    }
    void Answer(TTableId sheet, const std::string& field, int index) {
        auto* group = Find<TDBRadioGroup>(EntryName(sheet, field));
        ASSERT_NE(group, nullptr) << field;
        group->SetItemIndex(index);
    }
};

TEST_F(PointsTest, OrderingTypeTakesTheSectionChiefsCostsAndMarksTheContractorColumn) {
    ChooseType("3");
    EXPECT_TRUE(Unlocked(TTableId::InvSection));
    EXPECT_FALSE(Unlocked(TTableId::InvCon));
    EXPECT_FALSE(Edit(TTableId::InvSection, "INV_OLD_COST")->isHidden());

    Enter(TTableId::InvSection, "INV_OLD_COST", "100");
    Enter(TTableId::InvSection, "INV_NEW_COST", "85.55");
    EXPECT_EQ(Shown("lblCostSubtractionSec"), "14.45");
    EXPECT_EQ(Shown("lblCostPointSec"), "115") << "114.45 -> 114.5 -> 115";
    EXPECT_EQ(Shown("lblCostPointChief"), "115");
    EXPECT_EQ(Shown("lblInvOldCostChief"), "100");
    EXPECT_EQ(Shown("lblCostPointChiefAdd1"), "115");
    EXPECT_EQ(Shown("lblCostPointConAdd1"), "表記無し");
    EXPECT_TRUE(Find<QLabel>("lblCostPointConAdd1")->styleSheet().contains("blue"));
    EXPECT_EQ(Shown("lblCostPointCon"), "") << "the contractor's sheet shows no cost point";
    EXPECT_EQ(Shown("lblInvOldCostAdd2"), "100");

    // New cost beyond twice the conventional one gives 0, a new cost of 0 gives 200.
    Enter(TTableId::InvSection, "INV_NEW_COST", "250");
    EXPECT_EQ(Shown("lblCostPointSec"), "0");
    Enter(TTableId::InvSection, "INV_NEW_COST", "0");
    EXPECT_EQ(Shown("lblCostPointSec"), "200");
}

TEST_F(PointsTest, ContractorProposalTakesTheContractorsCosts) {
    ChooseType("5");
    EXPECT_TRUE(Unlocked(TTableId::InvCon));
    EXPECT_FALSE(Unlocked(TTableId::InvSection));
    EXPECT_TRUE(Edit(TTableId::InvSection, "INV_OLD_COST")->isHidden());
    EXPECT_FALSE(Find<QLabel>("lblConOldCostSec")->isHidden());

    Enter(TTableId::InvCon, "INV_OLD_COST", "200");
    Enter(TTableId::InvCon, "INV_NEW_COST", "150");
    EXPECT_EQ(Shown("lblCostPointCon"), "125");
    EXPECT_EQ(Shown("lblCostPointChief"), "125");
    EXPECT_EQ(Shown("lblCostPointConAdd1"), "125");
    EXPECT_FALSE(Find<QLabel>("lblCostPointConAdd1")->styleSheet().contains("blue"));
    EXPECT_EQ(Shown("lblCostPointAvgAdd2"), "125");

    // Back to an ordering type: the section chief's (empty) pair blanks the points.
    ChooseType("0");
    EXPECT_TRUE(Unlocked(TTableId::InvSection));
    EXPECT_EQ(Shown("lblCostPointChief"), "");
    EXPECT_EQ(Shown("lblCostPointConAdd1"), "表記無し");
}

TEST_F(PointsTest, NoTypeLocksBothAndBadNumbersKeepTheDisplays) {
    EXPECT_FALSE(Unlocked(TTableId::InvSection));
    EXPECT_FALSE(Unlocked(TTableId::InvCon));

    ChooseType("3");
    Enter(TTableId::InvSection, "INV_OLD_COST", "100");
    Enter(TTableId::InvSection, "INV_NEW_COST", "90");
    ASSERT_EQ(Shown("lblCostPointSec"), "110");
    boxes.shown.clear();
    Enter(TTableId::InvSection, "INV_NEW_COST", "9..0");
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "入力された数値に誤りがあります。");
    EXPECT_EQ(boxes.shown[0].icon, miError);
    EXPECT_EQ(Shown("lblCostPointSec"), "110") << "the displays keep their contents";

    // Process points from the contractor's days; a conventional 0 gives 0.
    Enter(TTableId::InvCon, "INV_PROCESS_OLD", "45");
    Enter(TTableId::InvCon, "INV_PROCESS_NEW", "30");
    EXPECT_EQ(Shown("lblProcessSubtractionCon2"), "15");
    EXPECT_EQ(Shown("lblProcessPointChiefAdd1"), "133");
    Enter(TTableId::InvCon, "INV_PROCESS_OLD", "0");
    EXPECT_EQ(Shown("lblProcessPointAvgAdd1"), "0");
    Enter(TTableId::InvCon, "INV_PROCESS_OLD", "");
    EXPECT_EQ(Shown("lblProcessPointAvgAdd1"), "") << "a blank entry blanks the points";
}

TEST_F(PointsTest, AspectScoresOptionalTicksAndAverages) {
    // Five fixed +2 answers of the chief supervisor: score 10, point 200.
    ShowTab("tsInvChief");
    for (int item = 1; item <= 5; ++item)
        Answer(TTableId::InvChief, "INV_QUALITY_EVAL_POINT" + std::to_string(item), 0);
    EXPECT_EQ(Shown("lblQualityScoreChief"), "10");
    EXPECT_EQ(Shown("lblQualityPointChief"), "200");
    EXPECT_EQ(Shown("lblQualityPointAvgAdd1"), "200");

    // An optional answer on the active sheet ticks its item, which then counts.
    Answer(TTableId::InvChief, "INV_QUALITY_EVAL_POINT6", 4);
    EXPECT_EQ(window->dm().cdsEV_TBL_INV_CHIEF.FieldNamed("INV_QUALITY_EVAL_YN1").GetText(), "1");
    EXPECT_EQ(Shown("lblQualityScoreChief"), "8");

    // The contractor's answer on another tab than the shown one ticks nothing.
    Answer(TTableId::InvCon, "INV_QUALITY_EVAL_POINT7", 0);
    EXPECT_NE(window->dm().cdsEV_TBL_INV_CON.FieldNamed("INV_QUALITY_EVAL_YN2").GetText(), "1");
    EXPECT_EQ(Shown("lblQualityScoreCon"), "") << "an unticked optional answer does not count";

    ShowTab("tsInvCon");
    for (int item = 1; item <= 5; ++item)
        Answer(TTableId::InvCon, "INV_QUALITY_EVAL_POINT" + std::to_string(item), 2);
    EXPECT_EQ(Shown("lblQualityPointCon"), "100");
    // 100 + 50 * 8 / 6 = 166.67 -> 166.7 -> 167; the mean of 167 and 100 is
    // 133.5, which rounds up.
    EXPECT_EQ(Shown("lblQualityPointChiefAdd1"), "167");
    EXPECT_EQ(Shown("lblQualityPointAvgAdd1"), "134");

    // Showing the totals tab takes the averages over what has a value.
    ShowTab("tsInvAdd");
    EXPECT_EQ(Shown("lblChiefPointAvgAdd1"), "167");
    EXPECT_EQ(Shown("lblPointAvgAdd1"), "134");
    EXPECT_EQ(Shown("lblPointAvgAdd2"), "134");
}

TEST_F(PointsTest, ReopeningAWorkRecomputesItsPoints) {
    ChooseType("3");
    Enter(TTableId::InvSection, "INV_OLD_COST", "100");
    Enter(TTableId::InvSection, "INV_NEW_COST", "85.55");
    boxes.answers = {idYes};
    window->btnReturnMenu->click();
    ASSERT_TRUE(CloseWindow());
    window.reset();
    Open();
    window->btnEdit->click();
    EXPECT_EQ(Shown("lblCostPointSec"), "115");
    EXPECT_EQ(Shown("lblCostPointConAdd1"), "表記無し");
}

}  // namespace
}  // namespace window_test
