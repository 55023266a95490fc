// The entry checks against a scripted screen: which rule fails first, its
// message, tab, scroll position and focus, the rules that only run for some
// works, and the date order test.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "records/check_con.h"
#include "records/entry_names.h"

namespace {

using namespace sarvenu;

// A screen on which every entry is filled, every date is 2006/04/01, every
// grade answered and nothing ticked, until a test says otherwise.
class FakeScreen : public TCheckHost {
  public:
    std::set<std::string> blank;
    std::map<std::string, std::string> dates;
    std::set<std::string> ticked;
    std::set<std::string> unanswered;
    std::set<TTableId> costSheets{TTableId::InvSection, TTableId::InvCon};
    std::vector<TCheckFailure> failures;

    std::string EntryText(const std::string& name) override { return blank.count(name) ? "" : "x"; }
    std::string DateText(const std::string& base) override {
        auto it = dates.find(base);
        return it == dates.end() ? "2006/04/01" : it->second;
    }
    bool Ticked(const std::string& name) override { return ticked.count(name) > 0; }
    bool Answered(const std::string& name) override { return unanswered.count(name) == 0; }
    bool CostEntriesEnabled(TTableId sheet) override { return costSheets.count(sheet) > 0; }
    void ShowCheckFailure(const TCheckFailure& failure) override { failures.push_back(failure); }
};

struct Sheet {
    bool (*run)(TCheckHost&);
    const char* tab;
    const char* scrollBar;
};
const Sheet kHeader{CheckMainItems, "", ""};
const Sheet kSave{CheckBeforeSave, "", ""};
const Sheet kPlan{CheckPlanSheet, "tsPlan", "sclPlan"};
const Sheet kReport{CheckReportSheet, "tsReport", "sclReport"};
const Sheet kSection{CheckSectionSheet, "tsInvSection", "sclInvSection"};
const Sheet kChief{CheckChiefSheet, "tsInvChief", "sclInvChief"};
const Sheet kCon{CheckConSheet, "tsInvCon", "sclInvCon"};

// Runs the sheet's checks and expects exactly one failure, the given one.
void ExpectFails(FakeScreen& screen, const Sheet& sheet, const char* message, int scroll,
                 const std::string& focus) {
    screen.failures.clear();
    EXPECT_FALSE(sheet.run(screen));
    ASSERT_EQ(screen.failures.size(), 1u) << "one message per run";
    const TCheckFailure& failure = screen.failures.front();
    EXPECT_EQ(platform::Cp932ToUtf8(failure.message), message);
    EXPECT_EQ(failure.tab, sheet.tab);
    EXPECT_EQ(failure.scrollBar, sheet.scrollBar);
    EXPECT_EQ(failure.scroll, scroll);
    EXPECT_EQ(failure.focus, focus);
}

void ExpectPasses(FakeScreen& screen, const Sheet& sheet) {
    screen.failures.clear();
    EXPECT_TRUE(sheet.run(screen));
    EXPECT_TRUE(screen.failures.empty());
}

std::string Name(TTableId sheet, const std::string& field) {
    return EntryName(sheet, field);
}

TEST(HeaderCheckTest, SaveAsksOnlyForTheWorkName) {
    FakeScreen screen;
    screen.blank = {Name(TTableId::Main, "TECH_TITLE"), "dblcmbGatherMoc", "dblcmbHacSai"};
    ExpectPasses(screen, kSave);
    screen.blank.insert(Name(TTableId::Main, "CON_NAME"));
    ExpectFails(screen, kSave, "工事名を入力してください。", 0, "dbeMain_CON_NAME");
}

TEST(HeaderCheckTest, EachHeaderRuleInTurn) {
    FakeScreen screen;
    ExpectPasses(screen, kHeader);
    // Blanking from the last rule to the first, each run reports the newest.
    const std::vector<std::pair<std::string, const char*>> rules = {
        {"dblcmbHacSai", "実施事務所を選択してください。"},
        {"dblcmbGatherMoc", "実施整備局を選択してください。"},
        {"dbeMain_REG_NO", "登録番号を入力してください。"},
        {"dbeMain_TECH_TITLE", "技術名称を入力してください。"},
        {"dbeMain_CON_NAME", "工事名を入力してください。"},
    };
    for (const auto& [entry, message] : rules) {
        screen.blank.insert(entry);
        ExpectFails(screen, kHeader, message, 0, entry);
    }
}

TEST(PlanCheckTest, RulesInTheirOrder) {
    FakeScreen screen;
    ExpectPasses(screen, kPlan);
    const std::string condition = Name(TTableId::Plan, "CON_PLACE_CONDITION");
    screen.blank.insert(condition);
    ExpectFails(screen, kPlan, "工事概要-現場施工条件を入力してください。", 460, condition);
    screen.blank.insert("dbmmPlan_CON_CONTENT");
    ExpectFails(screen, kPlan, "工事概要-内容を入力してください。", 295, "dbmmPlan_CON_CONTENT");
    screen.dates["cmbConDatePlanE"] = "";
    ExpectFails(screen, kPlan, "工事期間(終)を選択入力してください。", 240, "cmbConDatePlanE_Year");
    screen.blank.insert("dbePlan_CON_PLACE");
    ExpectFails(screen, kPlan, "施工場所を入力してください。", 200, "dbePlan_CON_PLACE");
    screen.dates["cmbRegDatePlan"] = "";
    ExpectFails(screen, kPlan, "作成を選択入力してください。", 0, "cmbRegDatePlan_Year");
}

TEST(PlanCheckTest, PeriodsMustNotEndBeforeTheyStart) {
    FakeScreen screen;
    screen.dates["cmbConDatePlanS"] = "2006/05/01";
    screen.dates["cmbConDatePlanE"] = "2006/04/30";
    ExpectFails(screen, kPlan, "工事期間に矛盾があります。", 240, "cmbConDatePlanE_Year");
    screen.dates["cmbConDatePlanS"] = "2006/04/30";
    ExpectPasses(screen, kPlan);
    // The new technology's period is optional, but not in reverse.
    screen.dates["cmbTechConDatePlanS"] = "2006/11/28";
    screen.dates["cmbTechConDatePlanE"] = "";
    ExpectPasses(screen, kPlan);
    screen.dates["cmbTechConDatePlanE"] = "2006/11/15";
    ExpectFails(screen, kPlan, "新技術施工期間に矛盾があります。", 267, "cmbTechConDatePlanE_Year");
}

TEST(PlanCheckTest, OnlyTickedReasonsNeedTheirComment) {
    FakeScreen screen;
    for (const char* field :
         {"CON_COST", "CON_PROCESS", "CON_QUALITY", "CON_SAFETY", "CON_CONSTRUCT", "CON_ENV"})
        screen.blank.insert(Name(TTableId::Plan, field));
    ExpectPasses(screen, kPlan);
    screen.ticked = {"dbcbPlan_CON_ENV_YN", "dbcbPlan_CON_PROCESS_YN"};
    ExpectFails(screen, kPlan, "活用理由-工程を入力してください。", 460, "dbePlan_CON_PROCESS");
    screen.blank.erase("dbePlan_CON_PROCESS");
    ExpectFails(screen, kPlan, "活用理由-環境を入力してください。", 460, "dbePlan_CON_ENV");
}

TEST(ReportCheckTest, NeedsTheEntryDate) {
    FakeScreen screen;
    ExpectPasses(screen, kReport);
    screen.dates["cmbRegDateReport"] = "";
    ExpectFails(screen, kReport, "記入日を選択入力してください。", 0, "cmbRegDateReport_Year");
}

TEST(SectionCheckTest, CostsOnlyWhileTheSheetAnswersThem) {
    FakeScreen screen;
    screen.blank = {"dbeSec_INV_COST_UNIT", "dbeSec_INV_NEW_COST"};
    screen.costSheets = {};
    ExpectPasses(screen, kSection);
    screen.costSheets = {TTableId::InvSection};
    ExpectFails(screen, kSection, "Ⅰ経済性-従来工法を入力してください。", 116,
                "dbeSec_INV_COST_UNIT");
    screen.blank.erase("dbeSec_INV_COST_UNIT");
    ExpectFails(screen, kSection, "Ⅰ経済性-新技術を入力してください。", 116, "dbeSec_INV_NEW_COST");
    screen.blank.insert("dbeSec_INV_NAME");
    ExpectFails(screen, kSection, "調査者-氏名を入力してください。", 100, "dbeSec_INV_NAME");
}

TEST(ChiefCheckTest, FirstUnansweredFixedGradeIsFocused) {
    FakeScreen screen;
    // The optional questions 6 and 7 are never asked for.
    screen.unanswered = {"dbrgChief_INV_QUALITY_EVAL_POINT6", "dbrgChief_INV_QUALITY_EVAL_POINT7"};
    ExpectPasses(screen, kChief);
    screen.unanswered.insert("dbrgChief_INV_QUALITY_EVAL_POINT5");
    screen.unanswered.insert("dbrgChief_INV_QUALITY_EVAL_POINT3");
    ExpectFails(screen, kChief, "Ⅲ品質・出来形-評価点を選択してください。", 1242,
                "dbrgChief_INV_QUALITY_EVAL_POINT3");
    // Workability has six fixed questions.
    screen.unanswered = {"dbrgChief_INV_CONSTRUCT_EVAL_POINT6"};
    ExpectFails(screen, kChief, "Ⅴ施工性-評価点を選択してください。", 2235,
                "dbrgChief_INV_CONSTRUCT_EVAL_POINT6");
    screen.unanswered.clear();
    screen.blank = {"dbmmChief_INV_ENV_RESULT"};
    ExpectFails(screen, kChief, "Ⅵ環境-調査結果を入力して下さい。", 3085,
                "dbmmChief_INV_ENV_RESULT");
}

TEST(ChiefCheckTest, PeriodsComeFirst) {
    FakeScreen screen;
    screen.blank = {Name(TTableId::InvChief, "INV_CON_AMOUNT")};
    screen.dates["cmbTechConDateChiefS"] = "2007/01/10";
    screen.dates["cmbTechConDateChiefE"] = "2007/01/09";
    ExpectFails(screen, kChief, "新技術施工期間に矛盾があります。", 445,
                "cmbTechConDateChiefE_Year");
    screen.dates["cmbConDateChiefS"] = "";
    ExpectFails(screen, kChief, "工事期間(始)を選択入力してください。", 415,
                "cmbConDateChiefS_Year");
}

TEST(ChiefCheckTest, FurtherItemsNeedTheirTextsOnlyWhenTicked) {
    FakeScreen screen;
    const std::string note = Name(TTableId::InvChief, "INV_OTHER_NOTE2");
    screen.blank = {"dbeChief_INV_OTHER_CONTENT2", note, "dbmmChief_INV_OTHER_RESULT"};
    ExpectPasses(screen, kChief);
    screen.ticked = {"dbcbChief_INV_OTHER_YN3"};
    ExpectFails(screen, kChief, "Ⅶその他-調査結果を入力してください。", 3436,
                "dbmmChief_INV_OTHER_RESULT");
    screen.ticked.insert("dbcbChief_INV_OTHER_YN2");
    ExpectFails(screen, kChief, "Ⅶその他-その他-（　）内を入力してください。", 3325,
                "dbeChief_INV_OTHER_CONTENT2");
    screen.blank.erase("dbeChief_INV_OTHER_CONTENT2");
    ExpectFails(screen, kChief, "Ⅶその他-その他-文章を入力してください。", 3325, note);
}

TEST(ConCheckTest, CostsGatedButTheirResultAlwaysAsked) {
    FakeScreen screen;
    screen.costSheets = {};
    screen.blank = {"dbeCon_INV_OLD_COST", "dbmmCon_INV_COST_RESULT"};
    ExpectFails(screen, kCon, "Ⅰ経済性-調査結果を入力してください。", 949,
                "dbmmCon_INV_COST_RESULT");
    screen.costSheets = {TTableId::InvCon};
    ExpectFails(screen, kCon, "Ⅰ経済性-従来工法を入力してください。", 814, "dbeCon_INV_OLD_COST");
    screen.blank.insert("dbmmCon_INV_SURROUND_ENV");
    ExpectFails(screen, kCon, "当該現場条件-周辺環境を入力してください。", 565,
                "dbmmCon_INV_SURROUND_ENV");
}

TEST(ConCheckTest, LaterRulesWithTheirScrollPositions) {
    FakeScreen screen;
    ExpectPasses(screen, kCon);
    screen.blank = {"dbmmCon_INV_CON_RESULT"};
    ExpectFails(screen, kCon, "総合的な所見を入力してください。", 3800, "dbmmCon_INV_CON_RESULT");
    screen.ticked = {"dbcbCon_INV_OTHER_YN1"};
    screen.blank.insert("dbeCon_INV_OTHER_CONTENT1");
    ExpectFails(screen, kCon, "Ⅶその他-その他-（　）内を入力してください。", 3407,
                "dbeCon_INV_OTHER_CONTENT1");
    screen.blank.insert("dbmmCon_INV_ENV_RESULT");
    ExpectFails(screen, kCon, "Ⅵ環境-調査結果を入力してください。", 3255, "dbmmCon_INV_ENV_RESULT");
    screen.unanswered = {"dbrgCon_INV_SAFETY_EVAL_POINT1"};
    ExpectFails(screen, kCon, "Ⅳ安全性-評価点を選択してください。", 1908,
                "dbrgCon_INV_SAFETY_EVAL_POINT1");
    screen.blank.insert("dbeCon_INV_PROCESS_NEW");
    ExpectFails(screen, kCon, "Ⅱ工程-新技術を入力してください。", 1100, "dbeCon_INV_PROCESS_NEW");
}

TEST(DateOrderTest, ComparesWholeDatesAsNumbers) {
    EXPECT_TRUE(DateNotBefore("2006/05/01", ""));
    EXPECT_TRUE(DateNotBefore("", "2006/05/01"));
    EXPECT_TRUE(DateNotBefore("2006/04/30", "2006/04/30"));
    EXPECT_TRUE(DateNotBefore("2006/04/30", "2006/05/01"));
    EXPECT_FALSE(DateNotBefore("2007/01/01", "2006/12/31"));
    // A shorter year is a smaller number, not a later text.
    EXPECT_TRUE(DateNotBefore("999/12/31", "2006/01/01"));
    EXPECT_FALSE(DateNotBefore("2006/01/01", "999/12/31"));
}

}  // namespace
