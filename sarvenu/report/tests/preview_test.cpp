// The print preview on a throw-away installation: the page operations, the
// choice of form, every substitution rule on small templates written for the
// case, the total forms with their averages and chart, failures that must
// not leave a wrong page, and the shipped templates filled with a whole work.
#include <QCoreApplication>
#include <QGuiApplication>
#include <memory>
#include <regex>
#include <set>

#include "platform/codepage.h"
#include "records/tests/store_fixture.h"
#include "report/preview.h"
#include "report/preview_page.h"
#include "report/radar_chart.h"

namespace store_test {
namespace {

using sarvenu::TPreviewPoints;

const char* const kWork = "CYY-XX0001";
const char* const kCaptions[] = {
    "計画書",      "報告書",      "発注課長用", "主任監督員用", "請負者・技術開発者提出用",
    "集計表(1/2)", "集計表(2/2)", "全様式"};

// The chart's labels need fonts, which need a GUI application.
void EnsureGuiApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "sarvenu_report_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

long CountOf(const std::string& text, const std::string& part) {
    long n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(PreviewPageTest, ReplacesEveryOccurrenceOnceAndKeepsCrLfLines) {
    sarvenu::TPreviewPage page("a<%=X%>b<%=X%>\nc\rd");
    EXPECT_EQ(page.Text(), "a<%=X%>b<%=X%>\r\nc\r\nd\r\n");
    // A replacement holding the placeholder is not searched again.
    page.ReplaceName("X", "<%=X%><%=X%>");
    page.Replace("", "never");
    // Line ends brought in by values are written as CR LF.
    page.Replace("\r\nc", "\nC\rE");
    EXPECT_EQ(page.FileBytes(), "a<%=X%><%=X%>b<%=X%><%=X%>\r\nC\r\nE\r\nd\r\n");
    EXPECT_EQ(sarvenu::PageText("one\r\ntwo\nthree\r\n"), "one<BR>two\nthree<BR>");
}

TEST(PreviewPageTest, TabCaptionsChooseTemplateAndForm) {
    const int forms[] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (int i = 0; i < 8; ++i) {
        const sarvenu::TPreviewForm chosen =
            sarvenu::PreviewFormOfCaption(platform::Utf8ToCp932(kCaptions[i]));
        EXPECT_EQ(chosen.number, forms[i]) << kCaptions[i];
        EXPECT_EQ(chosen.templateName, "Template" + std::to_string(forms[i]) + ".htm");
    }
    EXPECT_EQ(sarvenu::PreviewFormOfCaption(platform::Utf8ToCp932("印刷")).templateName,
              "Template8.htm");
}

class PreviewTest : public ::testing::Test {
  protected:
    Installation install;
    TestHost host;
    std::unique_ptr<TdmCdsModule> dm;
    sarvenu::TPreviewRequest request;

    void SetUp() override {
        EnsureGuiApplication();
        for (int entry = 0; entry < sarvenu::kPreviewDateCount; ++entry)
            request.dates.texts[entry] = "D" + std::to_string(entry);
        request.dates.nendo = "2006";
    }

    // Writes the work's records (CONST_NO is added) and opens the store on it.
    void Open(const std::map<TTableId, Row>& records) {
        for (const auto& [id, row] : records) {
            Row withKey = row;
            withKey["CONST_NO"] = kWork;
            install.WriteRows(id, {withKey});
        }
        dm = std::make_unique<TdmCdsModule>(host, install.ExeDir());
        ASSERT_TRUE(dm->cdsEV_TBL_MAIN.Locate("CONST_NO", kWork));
    }

    // An edit not yet saved, as the preview sees it.
    static void Set(TClientTable& table, const std::string& field, const std::string& value) {
        if (!table.IsEditing()) table.StartEdit();
        table.FieldNamed(field).SetText(value);
    }

    fs::path Html(const std::string& name) const { return install.Root() / "html" / name; }

    void WriteTemplate(int form, const std::string& utf8) {
        WriteBytes(Html("Template" + std::to_string(form) + ".htm"), platform::Utf8ToCp932(utf8));
    }

    // Builds the form of a caption, by default with the points the records
    // give; returns the page as UTF-8.
    std::string Preview(const char* caption, bool computePoints = true) {
        request.caption = platform::Utf8ToCp932(caption);
        if (computePoints) request.points = ComputePreviewPoints(*dm, request.orderingMode);
        const std::string path = PrintPreview(*dm, request);
        EXPECT_EQ(fs::path(path), Html("Preview.htm"));
        return platform::Cp932ToUtf8(ReadBytes(path));
    }

    std::string PreviewOf(int form, const std::string& templateUtf8) {
        WriteTemplate(form, templateUtf8);
        return Preview(kCaptions[form - 1]);
    }
};

TEST_F(PreviewTest, ValuesKeepLineBreaksAsBrAndShowMarkupAsTyped) {
    Open({{TTableId::Main,
           {{"CON_NAME", platform::Utf8ToCp932("一行目\r\n鋼材<SS400>")},
            {"TECH_TITLE", "<b>A&B</b> \"q\""},
            {"CON_TYPE", "3"}}}});
    EXPECT_EQ(PreviewOf(1, "[<%=CON_NAME%>][<%=TECH_TITLE%>][<%=CONST_NO%>]\n[<%=REG_NO%>]"),
              "[一行目<BR>鋼材&lt;SS400&gt;][&lt;b&gt;A&amp;B&lt;/b&gt; &quot;q&quot;][CYY-XX0001]"
              "\r\n[]\r\n");
}

TEST_F(PreviewTest, ConstructionTypeGivesItsNameOrTurnsTheTemplatesStarsIntoBr) {
    Open({{TTableId::Main, {{"CON_TYPE", "3"}, {"CON_NAME", "a*b"}}}});
    std::string typeName;
    for (const auto& row : ShippedConTypes())
        if (row.cd == 3) typeName = row.name;
    EXPECT_EQ(PreviewOf(1,
                        "<%=CON_TYPE%> <%=CON_TYPE3%> <%=CON_TYPE5%> <%=CON_TYPE_MODE%> * "
                        "<%=CON_NAME%>"),
              typeName + " * <%=CON_TYPE5%> * * a&#42;b\r\n");

    // No type: the type's marker and the page's own "*" become line breaks;
    // a "*" the user typed stays a star.
    Set(dm->cdsEV_TBL_MAIN, "CON_TYPE", "");
    EXPECT_EQ(Preview(kCaptions[0]), "<BR> <%=CON_TYPE3%> <%=CON_TYPE5%> <BR> <BR> a&#42;b\r\n");
}

TEST_F(PreviewTest, BureauAndOfficeNamesComeFromTheCodeTables) {
    const TOfficeRow& office = ShippedOffices().front();
    const TBureauRow* bureau = nullptr;
    for (const TBureauRow& row : ShippedBureaus())
        if (OfficeBelongsToBureau(office.cd, row.cd)) bureau = &row;
    ASSERT_NE(bureau, nullptr);
    Open({{TTableId::Main,
           {{"MOC_CD", std::to_string(bureau->cd)}, {"OFFICE_CD", std::to_string(office.cd)}}}});
    EXPECT_EQ(PreviewOf(1, "<%=GATHER_MOC%>/<%=HAC_SAI%>"),
              std::string(bureau->name) + "/" + office.name + "\r\n");
    EXPECT_TRUE(dm->cdsMV_STBL_HAC_SAI.Filtered());
    EXPECT_EQ(dm->cdsMV_STBL_HAC_SAI.Filter(), "CD = " + std::to_string(office.cd));

    // Codes the lists do not know show nothing and build no filter.
    dm->cdsMV_STBL_HAC_SAI.SetFiltered(false);
    Set(dm->cdsEV_TBL_MAIN, "MOC_CD", "98765");
    Set(dm->cdsEV_TBL_MAIN, "OFFICE_CD", "1 or 1=1");
    EXPECT_EQ(Preview(kCaptions[0]), "<%=GATHER_MOC%>/<%=HAC_SAI%>\r\n");
    EXPECT_FALSE(dm->cdsMV_STBL_HAC_SAI.Filtered());
}

TEST_F(PreviewTest, PlanMarksTickedReasonsAndPrintsDatesAndQuantity) {
    Open({{TTableId::Main, {{"CON_TYPE", "3"}}},
          {TTableId::Plan,
           {{"CON_COST_YN", "1"},
            {"CON_PROCESS_YN", "0"},
            {"REG_DATE", "2006/04/01"},
            {"TECH_CON_DATE_E", "2006/10/15"},
            {"CON_OBJECT_QUANTITY", "12000"},
            {"CON_PLACE", "12000"}}}});
    EXPECT_EQ(PreviewOf(1,
                        "<%=CON_COST_YN1%><%=CON_COST_YN1_FS%>|<%=CON_COST_YN1_FE%>|"
                        "<%=CON_COST_YN0%><%=CON_COST_YN0_FS%><%=CON_COST_YN0_FE%>|"
                        "<%=CON_PROCESS_YN0%>|<%=CON_PROCESS_YN1%>|<%=REG_DATE%>|"
                        "<%=TECH_CON_DATE_E%>|<%=CON_OBJECT_QUANTITY%>|<%=CON_PLACE%>"),
              "*<FONT COLOR=\"RED\">|</FONT>|<%=CON_COST_YN0%><%=CON_COST_YN0_FS%>"
              "<%=CON_COST_YN0_FE%>|*|<%=CON_PROCESS_YN1%>|D0|D4|12,000|12000\r\n");

    // A quantity with a unit or a decimal point prints as entered.
    for (const char* quantity : {"12000m3", "1.5"}) {
        Set(dm->cdsEV_TBL_PLAN, "CON_OBJECT_QUANTITY", quantity);
        EXPECT_NE(Preview(kCaptions[0]).find(std::string("|") + quantity + "|12000"),
                  std::string::npos);
    }
}

TEST_F(PreviewTest, ChiefSupervisorsFormMarksAnswersAndSeparatesSharedFields) {
    Open({{TTableId::Main, {{"CON_TYPE", "3"}}},
          {TTableId::InvSection, {{"INV_BELONG", "S"}}},
          {TTableId::InvChief,
           {{"INV_BELONG", "H"},
            {"INV_QUALITY_EVAL_POINT2", "-1"},
            {"INV_COMMON", "0"},
            {"INV_OTHER_YN2", "1"},
            {"INV_CON_DATE_S", "2006/04/01"},
            {"INV_CON_AMOUNT", "1234"}}},
          {TTableId::InvCon,
           {{"INV_BELONG", "C"}, {"INV_QUALITY_EVAL_POINT2", "2"}, {"INV_ENV_EVAL_YN1", "1"}}}});
    // Marker fields fill only their markers, never their plain placeholder;
    // the section chief's affiliation comes first, the others by suffix.
    EXPECT_EQ(PreviewOf(4,
                        "<%=INV_QUALITY_EVAL_POINT2-1%><%=INV_QUALITY_EVAL_POINT22%>|"
                        "<%=INV_QUALITY_EVAL_POINT2_CON2%><%=INV_QUALITY_EVAL_POINT2_CON-1%>|"
                        "<%=INV_COMMON0%><%=INV_COMMON1%>|<%=INV_OTHER_YN21%>|"
                        "<%=INV_ENV_EVAL_YN1_CON1%>|<%=INV_QUALITY_EVAL_POINT2%>\n"
                        "<%=INV_BELONG%>|<%=INV_BELONG_CHIEF%>|<%=INV_BELONG_CON%>|"
                        "<%=INV_CON_DATE_S_R%>|<%=INV_CON_DATE_S%>|<%=INV_CON_AMOUNT%>"),
              "*<%=INV_QUALITY_EVAL_POINT22%>|*<%=INV_QUALITY_EVAL_POINT2_CON-1%>|"
              "*<%=INV_COMMON1%>|*|*|<%=INV_QUALITY_EVAL_POINT2%>\r\n"
              "S|H|C|D6|2006/04/01|1,234\r\n");
}

TEST_F(PreviewTest, CostPlaceholdersFollowTheConstructionType) {
    Open({{TTableId::Main, {{"CON_TYPE", "3"}}},
          {TTableId::InvSection,
           {{"INV_OLD_COST", "100"}, {"INV_NEW_COST", "85.55"}, {"INV_COST_UNIT", "m"}}},
          {TTableId::InvCon,
           {{"INV_OLD_COST", "200"}, {"INV_NEW_COST", "250"}, {"INV_COST_UNIT", "t"}}}});
    EXPECT_EQ(PreviewOf(3,
                        "<%=INV_OLD_COST%>|<%=INV_NEW_COST_CHF%>|<%=INV_COST_UNIT_ADD%>|"
                        "<%=INV_OLD_COST_CON%>|<%=COST_SUBSTRACTION%>|"
                        "<%=COST_SUBSTRACTION_CON%>|<%=COST_POINT%>|<%=COST_POINT_CHF%>|"
                        "<%=COST_POINT_CON%>|<%=COST_POINT_AVG%>"),
              "100|85.55|m|<%=INV_OLD_COST_CON%>|14.45|<%=COST_SUBSTRACTION_CON%>|115|115|"
              "<%=COST_POINT_CON%>|115\r\n");

    Set(dm->cdsEV_TBL_MAIN, "CON_TYPE", "5");
    EXPECT_EQ(Preview(kCaptions[2]), "200|250|t|200|-50|-50|75|75|75|75\r\n");

    Set(dm->cdsEV_TBL_MAIN, "CON_TYPE", "");
    const std::string untouched = Preview(kCaptions[2]);
    for (const char* name : {"INV_OLD_COST", "COST_SUBSTRACTION", "COST_POINT", "COST_POINT_AVG"})
        EXPECT_NE(untouched.find(std::string("<%=") + name + "%>"), std::string::npos) << name;
}

TEST_F(PreviewTest, ContractorModeKeepsPointsOffTheContractorsForm) {
    Open({{TTableId::Main, {{"CON_TYPE", "5"}}},
          {TTableId::InvCon,
           {{"INV_OLD_COST", "100"},
            {"INV_NEW_COST", "90"},
            {"INV_PROCESS_OLD", "10"},
            {"INV_PROCESS_NEW", "8"}}}});
    request.orderingMode = false;
    EXPECT_EQ(
        PreviewOf(5,
                  "<%=PROCESS_POINT%>|<%=PROCESS_SUBTRACTION%>|<%=COST_POINT%>|"
                  "<%=COST_POINT_CON%>|<%=COST_POINT_COMENT1%>|<%=COST_POINT_COMENT2%>|"
                  "<%=COST_POINT_COMENT3%>|<%=PROCESS_POINT_COMENT1%>|"
                  "<%=PROCESS_POINT_COMENT2%>|<%=PROCESS_POINT_COMENT3%>"),
        "<%=PROCESS_POINT%>|2|110|<%=COST_POINT_CON%>|　|<%=COST_POINT_COMENT2%>|"
        "<%=COST_POINT_COMENT3%>|　|<%=PROCESS_POINT_COMENT2%>|<%=PROCESS_POINT_COMENT3%>\r\n");

    request.orderingMode = true;
    EXPECT_EQ(
        Preview(kCaptions[4]),
        "120|2|110|110|評価点<br>|＝１００＋１００×コスト差／従来技術コスト(０～２００点)<br>|"
        "＝|評価点<br>|＝１００＋１００×短縮日数／従来技術の施工日数(０～２００点)<br>|＝\r\n");
}

TEST_F(PreviewTest, PicturesBecomeImageTagsSizedFromTheFile) {
    // A GIF header of 400 x 300 pixels.
    WriteBytes(install.PicturePath("CYY-XX0001A.gif"),
               std::string("GIF89a\x90\x01\x2c\x01\x80\x00\x00", 13) + std::string(32, '\0'));
    Open(
        {{TTableId::Main, {{"CON_TYPE", "3"}}},
         {TTableId::InvCon,
          {{"FILE_NAME_A", "C:\\old\\img\\CYY-XX0001A.gif"}, {"FILE_NAME_B", "CYY-XX0001B.jpg"}}}});
    const std::string dir = install.ExeDir() + "img/";
    EXPECT_EQ(PreviewOf(5, "<%=FILE_NAME_A%>|<%=FILE_NAME_B%>|<%=FILE_NAME_C%>"),
              "<img src=\"" + dir + "CYY-XX0001A.gif\" width=\"200\" height=\"150\">|<img src=\"" +
                  dir + "CYY-XX0001B.jpg\" width=\"200\" height=\"160\">|<%=FILE_NAME_C%>\r\n");

    // After an import only the bare name is stored; a quote cannot break the tag.
    Set(dm->cdsEV_TBL_INV_CON, "FILE_NAME_A", "CYY-XX0001A.gif");
    Set(dm->cdsEV_TBL_INV_CON, "FILE_NAME_B", "a\"b&.jpg");
    const std::string page = Preview(kCaptions[4]);
    EXPECT_NE(page.find(dir + "CYY-XX0001A.gif\" width=\"200\" height=\"150\">"),
              std::string::npos);
    EXPECT_NE(page.find(dir + "a&quot;b&amp;.jpg\""), std::string::npos);
}

TEST_F(PreviewTest, EachFormRunsOnlyItsSteps) {
    Open({{TTableId::Main, {{"CON_TYPE", "3"}, {"CON_NAME", "M"}}},
          {TTableId::Plan, {{"CON_PLACE", "P"}}},
          {TTableId::Report, {{"REG_DATE", "2006/05/01"}}},
          {TTableId::InvSection, {{"INV_CON_COMPANY", "S"}}},
          {TTableId::InvChief, {{"INV_CHIEF_RESULT", "H"}}},
          {TTableId::InvCon, {{"INV_CON_RESULT", "C"}}}});
    request.points.chief[0].point = "100";
    // Main, plan, report, section chief, chief supervisor, explanations,
    // contractor, totals; "." where a form skips the step.
    const char* const expected[] = {"MP......",       "MP2006SH...",   "MP.S.＝C.",
                                    "MP.SH＝C.",      "M....＝C.",     "MP2006SH＝C100",
                                    "MP2006SH＝C100", "MP2006SH＝C100"};
    for (int form = 1; form <= 8; ++form)
        WriteTemplate(form,
                      "<%=CON_NAME%><%=CON_PLACE%><%=NENDO%><%=INV_CON_COMPANY%>"
                      "<%=INV_CHIEF_RESULT%><%=COST_POINT_COMENT3%><%=INV_CON_RESULT%>"
                      "<%=QUALITY_POINT_AVG%>");
    for (int form = 1; form <= 8; ++form) {
        const std::string page = Preview(kCaptions[form - 1], false);
        EXPECT_EQ(std::regex_replace(page, std::regex("<%=[A-Z0-9_]*%>"), "."),
                  std::string(expected[form - 1]) + "\r\n")
            << form;
    }
}

TEST_F(PreviewTest, TotalsAverageTheDisplayedPointsAndDrawTheChart) {
    Open({{TTableId::Main, {{"CON_TYPE", "3"}}}});
    TPreviewPoints& p = request.points;
    p.costPoint = p.orderingCostText = "115";
    p.processPoint = "120";
    p.chief = {{{"2", "110"}, {"-1", "90"}, {"", ""}, {"-2", "80"}}};
    p.contractor = {{{"4", "120"}, {"0", "100"}, {"-1", "90"}, {"1", "110"}}};
    p.contractorCostText = platform::Utf8ToCp932("表記無し");
    const std::string tmpl =
        "<%=QUALITY_POINT_AVG%>|<%=SAFETY_POINT_AVG%>|<%=CONSTRUCT_POINT_AVG%>|<%=ENV_POINT_AVG%>|"
        "<%=CHIEF_POINT_AVG%>|<%=CON_POINT_AVG%>|<%=POINT_AVG%>\n"
        "<%=COST_POINT_CON_ADD_FONT%>|<%=COST_POINT_CON_ADD_FS%><%=COST_POINT_CON_ADD%>"
        "<%=COST_POINT_CON_ADD_FE%>\n"
        "<%=COST_POINT_ADD_FONT%>|<%=COST_POINT_ADD_FS%><%=COST_POINT_ADD%><%=COST_POINT_ADD_FE%>";
    WriteTemplate(6, tmpl);
    const fs::path chart = Html(sarvenu::kChartFileName);
    // Ordering side: 115 + 120 + 110 + 90 + 80 over five; contractor side:
    // 420 over four; overall: 115, 120, 115, 95, 90, 95 over six.
    EXPECT_EQ(Preview(kCaptions[5], false),
              "115|95|90|95|103|105|105\r\n|<FONT COLOR=\"BLUE\">表記無し</FONT>\r\n"
              "right|<%=COST_POINT_ADD_FS%>115<%=COST_POINT_ADD_FE%>\r\n");
    EXPECT_TRUE(fs::exists(chart));

    // Without a type the cost point stays out of the overall point.
    fs::remove(chart);
    Set(dm->cdsEV_TBL_MAIN, "CON_TYPE", "");
    EXPECT_NE(Preview(kCaptions[5], false).find("|103|105|103\r\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(chart));

    // Other forms leave the chart alone.
    fs::remove(chart);
    WriteTemplate(5, tmpl);
    Preview(kCaptions[4], false);
    EXPECT_FALSE(fs::exists(chart));
}

TEST_F(PreviewTest, FailuresKeepThePreviousPage) {
    Open({{TTableId::Main, {{"CON_TYPE", "3"}}}});
    WriteTemplate(6, "<%=CHIEF_POINT_AVG%>");
    request.points.costPoint = "100";
    const std::string good = Preview(kCaptions[5], false);
    EXPECT_EQ(good, "100\r\n");

    // A displayed point that is not a number ends the preview.
    request.points.chief[1].point = "abc";
    EXPECT_THROW(Preview(kCaptions[5], false), sarvenu::EPreviewError);
    EXPECT_EQ(platform::Cp932ToUtf8(ReadBytes(Html("Preview.htm"))), good);

    // A missing template is an error, not the last form shown again.
    try {
        Preview(kCaptions[1], false);
        ADD_FAILURE() << "no error for a missing template";
    } catch (const sarvenu::EPreviewError& error) {
        EXPECT_NE(platform::Cp932ToUtf8(error.what()).find("Template2.htm"), std::string::npos);
    }
    EXPECT_EQ(platform::Cp932ToUtf8(ReadBytes(Html("Preview.htm"))), good);
}

TEST_F(PreviewTest, PointsComputedFromTheRecordsFollowTypeAndMode) {
    Open({{TTableId::Main, {{"CON_TYPE", "3"}}},
          {TTableId::InvSection, {{"INV_OLD_COST", "100"}, {"INV_NEW_COST", "85.55"}}},
          {TTableId::InvChief, {{"INV_SAFETY_EVAL_POINT1", "2"}, {"INV_SAFETY_EVAL_POINT6", "2"}}},
          {TTableId::InvCon,
           {{"INV_NEW_COST", "x"},
            {"INV_OLD_COST", "10"},
            {"INV_PROCESS_OLD", "20"},
            {"INV_PROCESS_NEW", "15"}}}});
    TPreviewPoints p = ComputePreviewPoints(*dm, true);
    EXPECT_EQ(
        p.costDifference + " " + p.costPoint + " " + p.processDifference + " " + p.processPoint,
        "14.45 115 5 125");
    // The unticked optional answer does not count.
    EXPECT_EQ(p.chief[1].score + " " + p.chief[1].point + " [" + p.chief[0].point + "]",
              "2 200 []");
    EXPECT_EQ(p.orderingCostText + " " + platform::Cp932ToUtf8(p.contractorCostText),
              "115 表記無し");

    // The contractor's pair does not convert: no cost point.
    Set(dm->cdsEV_TBL_MAIN, "CON_TYPE", "6");
    p = ComputePreviewPoints(*dm, true);
    EXPECT_EQ(p.costPoint + p.contractorCostText, "");

    // The contractor's version has no chief supervisor, no totals columns and
    // no cost point for the ordering office's types.
    Set(dm->cdsEV_TBL_MAIN, "CON_TYPE", "3");
    p = ComputePreviewPoints(*dm, false);
    EXPECT_EQ(p.costPoint + p.chief[1].point + p.contractorCostText + "|" + p.processPoint, "|125");
}

// The shipped templates, filled with a work that has every field set.
class ShippedTemplateTest : public PreviewTest {
  protected:
    std::string type_;

    void SetUp() override {
        PreviewTest::SetUp();
        const fs::path source = fs::path(__FILE__).parent_path() / "../../../install/templates";
        for (int form = 1; form <= 8; ++form) {
            const std::string name = "Template" + std::to_string(form) + ".htm";
            const std::string utf8 = ReadBytes(source / name);
            ASSERT_FALSE(utf8.empty()) << name;
            // As the installation ships them: code page 932 with CR LF, and
            // no character lost to the code page.
            const std::string cp932 = platform::Utf8ToCp932(utf8);
            EXPECT_EQ(CountOf(cp932, "?"), CountOf(utf8, "?")) << name;
            WriteBytes(Html(name), sarvenu::WithCrLfLines(cp932));
        }
    }

    // Flags and ticks hold "1", grades "-1", numbers where numbers go.
    static Row FullRecord(TTableId id) {
        Row row;
        for (const TColumnDef& column : TableDef(id).columns) {
            const std::string& f = column.name;
            std::string value = platform::Utf8ToCp932("値") + f;
            if (f.find("_YN") != std::string::npos || f == "INV_COMMON") value = "1";
            if (f.find("EVAL_POINT") != std::string::npos) value = "-1";
            if (f == "INV_OLD_COST" || f == "INV_PROCESS_OLD") value = "100";
            if (f == "INV_NEW_COST" || f == "INV_PROCESS_NEW") value = "90";
            if (f.find("FILE_NAME") != std::string::npos) value = "CYY-XX0001A.jpg";
            // "値" and ASCII: cut to the column without splitting a character.
            if (column.width > 0) value = value.substr(0, column.width);
            row[f] = value;
        }
        if (id != TTableId::Main) return row;
        const TOfficeRow& office = ShippedOffices().front();
        for (const TBureauRow& bureau : ShippedBureaus())
            if (OfficeBelongsToBureau(office.cd, bureau.cd))
                row["MOC_CD"] = std::to_string(bureau.cd);
        row["OFFICE_CD"] = std::to_string(office.cd);
        return row;
    }

    void OpenFullWork(const std::string& type) {
        type_ = type;
        std::map<TTableId, Row> records;
        for (TTableId id : {TTableId::Main, TTableId::Plan, TTableId::Report, TTableId::InvSection,
                            TTableId::InvChief, TTableId::InvCon})
            records[id] = FullRecord(id);
        records[TTableId::Main]["CON_TYPE"] = type;
        Open(records);
    }

    // A placeholder left by design: the marker of a value the field does not
    // hold, the colour markers of a number in a cost cell, and the names the
    // type or mode does not fill.
    bool LeftByDesign(const std::string& name, const std::set<std::string>& extra) const {
        if (extra.count(name)) return true;
        if (name == "CON_TYPE" + type_) return false;
        static const std::regex marker(
            "(CON_TYPE[0-9]+|CON_[A-Z]+_YN0(_FS|_FE)?|"
            "INV_(COMMON|EFFECT_YN|CST_YN|EXECUTION_YN|PURSUIT_YN)0|"
            "INV_[A-Z]+_EVAL_POINT[1-8](_CON)?(1|0|2|-2)|INV_[A-Z]+_EVAL_YN[12](_CON)?0|"
            "INV_OTHER_YN[123](_CON)?0|COST_POINT(_CON)?_ADD_F[SE])");
        return std::regex_match(name, marker);
    }

    void ExpectFilled(const std::set<std::string>& extra, std::initializer_list<int> forms) {
        const char* const titles[] = {"新技術活用等計画書", "新技術活用実施報告書",
                                      "活用効果調査表(1)",  "活用効果調査表(2)",
                                      "活用効果調査表(3)",  "集計表(1/2)",
                                      "集計表(2/2)",        "新技術活用等計画書"};
        static const std::regex placeholder("<%=([^%<>]*)%>");
        for (int form : forms) {
            const std::string page = Preview(kCaptions[form - 1]);
            EXPECT_NE(page.find(titles[form - 1]), std::string::npos) << form;
            EXPECT_NE(page.find("<td colspan=\"3\">値CON_NAME</td>"), std::string::npos) << form;
            for (auto it = std::sregex_iterator(page.begin(), page.end(), placeholder);
                 it != std::sregex_iterator(); ++it)
                EXPECT_TRUE(LeftByDesign((*it)[1], extra)) << form << ": " << it->str();
            const std::string bytes = ReadBytes(Html("Preview.htm"));
            const long lines = CountOf(bytes, "\r\n");
            EXPECT_GT(lines, 20) << form;
            EXPECT_EQ(CountOf(bytes, "\n") + CountOf(bytes, "\r"), 2 * lines) << form;
        }
    }
};

TEST_F(ShippedTemplateTest, OrderingOfficeFormsLeaveOnlyUnheldMarkers) {
    OpenFullWork("3");
    ExpectFilled({"INV_COST_UNIT_CON", "INV_OLD_COST_CON", "INV_NEW_COST_CON",
                  "COST_SUBSTRACTION_CON", "COST_POINT_CON"},
                 {1, 2, 3, 4, 5, 6, 7, 8});
    const std::string all = Preview(kCaptions[7]);
    for (const char* part :
         {"新技術活用実施報告書", "活用効果調査表(3)", "集計表(2/2)", "<img src=\"Graph.gif\""})
        EXPECT_NE(all.find(part), std::string::npos) << part;
}

TEST_F(ShippedTemplateTest, ContractorProposalFillsEveryCostPlace) {
    OpenFullWork("5");
    ExpectFilled({}, {1, 2, 3, 4, 5, 6, 7, 8});
}

TEST_F(ShippedTemplateTest, ContractorsVersionLeavesOnlyThePointsItHides) {
    OpenFullWork("6");
    request.orderingMode = false;
    ExpectFilled({"PROCESS_POINT", "COST_POINT_CON", "COST_POINT_COMENT2", "COST_POINT_COMENT3",
                  "PROCESS_POINT_COMENT2", "PROCESS_POINT_COMENT3"},
                 {5});
}

}  // namespace
}  // namespace store_test
