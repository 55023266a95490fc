// The print-preview tab through the window: showing it previews the first
// form, changing the form previews it, printing goes to numbered PDF files
// when SARVENU_PRINT_DIR is set, and the batch prints the seven other forms
// in order and ends on the plan form.
#include <cstdlib>

#include "platform/codepage.h"
#include "shell/tests/window_fixture.h"

namespace window_test {
namespace {

class PrintTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        Open();
        printDir = installation->Root() / "printed";
        setenv("SARVENU_PRINT_DIR", printDir.c_str(), 1);
        window->btnNew->click();
        Edit(TTableId::Main, "CON_NAME")->SetTextCp932(platform::Utf8ToCp932("橋梁補修"));
    }
    void TearDown() override {
        unsetenv("SARVENU_PRINT_DIR");
        WindowTest::TearDown();
    }
    int Printed() {
        if (!fs::exists(printDir)) return 0;
        int count = 0;
        for (const auto& entry : fs::directory_iterator(printDir))
            if (entry.path().extension() == ".pdf" && fs::file_size(entry.path()) > 0) ++count;
        return count;
    }
    QString Page() { return window->wbPreview->toPlainText(); }
    fs::path printDir;
};

TEST_F(PrintTest, ShowingTheTabPreviewsTheFirstFormWithTheCurrentValues) {
    window->tcPrintPreview->setCurrentIndex(3);
    window->pcSarvenu->setCurrentWidget(window->tsPrintPreview);
    EXPECT_EQ(window->tcPrintPreview->currentIndex(), 0);
    EXPECT_TRUE(Page().contains(QString::fromUtf8("様式1"))) << Page().toStdString();
    EXPECT_TRUE(Page().contains(QString::fromUtf8("橋梁補修"))) << "unsaved edits are previewed";
    window->tcPrintPreview->setCurrentIndex(2);
    EXPECT_TRUE(Page().contains(QString::fromUtf8("様式6"))) << "集計表(1/2) is form 6";
    EXPECT_TRUE(fs::exists(installation->Root() / "html" / "Graph.gif"));
}

TEST_F(PrintTest, PrintButtonPrintsTheShownForm) {
    window->pcSarvenu->setCurrentWidget(window->tsPrintPreview);
    window->btnPrint->click();
    EXPECT_EQ(Printed(), 1);
    EXPECT_EQ(window->Browser().LastPrintFile(), (printDir / "print-001.pdf").string());
}

TEST_F(PrintTest, BatchStartsOnlyFromThePlanForm) {
    window->pcSarvenu->setCurrentWidget(window->tsPrintPreview);
    window->tcPrintPreview->setCurrentIndex(1);
    boxes.shown.clear();
    window->btnPrintAll->click();
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0],
              "一括印刷を利用する場合は、【印刷プレビュー】の「計画書」タブを選択してから\r\n"
              "一括印刷ボタンをクリックしてください");
    EXPECT_EQ(Printed(), 0);

    // Cancel at the question prints nothing either.
    window->tcPrintPreview->setCurrentIndex(0);
    boxes.answers = {idCancel};
    window->btnPrintAll->click();
    EXPECT_EQ(Printed(), 0);
}

TEST_F(PrintTest, BatchPrintsSevenFormsAndEndsOnThePlan) {
    window->pcSarvenu->setCurrentWidget(window->tsPrintPreview);
    std::vector<int> previewed;
    QObject::connect(window->tcPrintPreview, &QTabBar::currentChanged,
                     [&previewed](int index) { previewed.push_back(index); });
    boxes.answers = {idOK};
    window->btnPrintAll->click();
    EXPECT_EQ(Printed(), 7);
    EXPECT_EQ(previewed, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 0}));
    EXPECT_EQ(window->tcPrintPreview->currentIndex(), 0);
    EXPECT_TRUE(Page().contains(QString::fromUtf8("様式1")));
}

TEST_F(PrintTest, MissingTemplateIsAnErrorAndKeepsTheWindow) {
    fs::remove(installation->Root() / "html" / "Template1.htm");
    EXPECT_ANY_THROW(window->PrintPreview());
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
}  // namespace window_test
