// Data-aware controls over real table files: showing a field and following
// the table, writing what the user types or chooses, byte limits, key hooks,
// the lookup list with its code table, the grid, the date lists and the file
// dialog's filter and default extension.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QInputDevice>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "dataset/client_table.h"
#include "platform/codepage.h"
#include "records/table_file_writer.h"
#include "shell/db_controls.h"
#include "shell/file_dialog.h"
#include "shell/tests/qt_app.h"
#include "test_support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace sarvenu;

// Key events create Qt's keyboard device, parented to the application, whose
// registry is a global made on first use. Making that registry before the
// (static) application object makes it outlive the application at exit.
const bool kDeviceRegistryFirst = (QInputDevice::devices(), true);

// Two works and a code table of three bureaus, written as table files and
// opened through the client layer.
class ControlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(kDeviceRegistryFirst);
        window_test::EnsureQtApp();
        if (!std::getenv("SARVENU_REGISTRY"))
            ::setenv("SARVENU_REGISTRY", (dir / "registry.reg").c_str(), 1);
        using K = TColumnKind;
        Write("W.cds",
              {{"CONST_NO", K::Text, 30},
               {"CON_NAME", K::Text, 10},
               {"NOTE", K::Text, 40},
               {"FLAG", K::Text, 1},
               {"GRADE", K::Text, 2},
               {"MOC_CD", K::Text, 10}},
              {{"C1", platform::Utf8ToCp932("橋梁"), platform::Utf8ToCp932("一行目\r\n二行目"), "1",
                "2", "2"},
               {"C2", platform::Utf8ToCp932("道路"), "", "0", "", ""}});
        Write("B.cds", {{"CD", K::Integer, 0}, {"NAME", K::Text, 20}},
              {{"1", platform::Utf8ToCp932("北海道")},
               {"2", platform::Utf8ToCp932("東北")},
               {"3", platform::Utf8ToCp932("関東")}});
        works.SetFileName((dir / "W.cds").string());
        works.SetIndexFieldNames("CONST_NO");
        works.OpenTable();
        bureaus.SetFileName((dir / "B.cds").string());
        bureaus.SetIndexFieldNames("CD");
        bureaus.OpenTable();
        works.AfterEdit = [this](TClientTable&) { ++edits; };
        bureaus.AfterScroll = [this](TClientTable&) { ++bureauScrolls; };
        form = std::make_unique<QWidget>();
    }
    void TearDown() override {
        form.reset();  // controls go before the tables they show
    }
    void Write(const std::string& name, std::vector<TColumnDef> columns,
               const std::vector<std::vector<std::string>>& rows) {
        WriteTableFile((dir / name).string(), {TTableId::Main, name, name, true, "", columns},
                       rows);
    }
    std::string Field(const char* name) { return works.FieldNamed(name).GetText(); }
    std::string BureauCode() { return bureaus.FieldNamed("CD").GetText(); }

    sarvenu_test::TempDir temp{"sarvenu_controls"};
    const fs::path dir{temp.path()};
    TClientTable works, bureaus;
    TTableSource worksSource{&works}, bureauSource{&bureaus};
    int edits = 0, bureauScrolls = 0;
    std::unique_ptr<QWidget> form;
};

TEST_F(ControlsTest, BoundControlsShowTheCurrentRecordAndFollowScrolling) {
    auto* edit = new TDBEdit(form.get(), "dbeName");
    auto* memo = new TDBMemo(form.get(), "dbmmNote");
    auto* box = new TDBCheckBox(form.get(), "dbcbFlag", "flag");
    auto* grade = MakeGradeGroup(form.get(), "dbrgGrade", "grade");
    edit->Bind(&worksSource, "CON_NAME");
    memo->Bind(&worksSource, "NOTE");
    box->Bind(&worksSource, "FLAG");
    grade->Bind(&worksSource, "GRADE");
    EXPECT_EQ(edit->text().toStdString(), "橋梁");
    EXPECT_EQ(memo->toPlainText().toStdString(), "一行目\n二行目");
    EXPECT_EQ(memo->TextCp932(), platform::Utf8ToCp932("一行目\r\n二行目"));
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(grade->ItemIndex(), 0);

    works.MoveNext();
    EXPECT_EQ(edit->text().toStdString(), "道路");
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(grade->ItemIndex(), -1) << "an empty grade is not answered";
    EXPECT_EQ(edits, 0) << "showing a record never edits it";

    edit->Bind(nullptr, "CON_NAME");
    EXPECT_TRUE(edit->text().isEmpty()) << "unbound";
}

TEST_F(ControlsTest, ReadOnlyDisplaysNeverWriteWhatTheProgramPutsThere) {
    auto* display = new TDBMemo(form.get(), "dbmmName");
    display->setReadOnly(true);
    display->Bind(&bureauSource, "NAME");
    EXPECT_EQ(display->toPlainText().toStdString(), "北海道");
    display->setPlainText(QString::fromUtf8("東北"));
    display->SetTextCp932(platform::Utf8ToCp932("関東"));
    EXPECT_FALSE(bureaus.IsEditing());
    EXPECT_EQ(bureaus.FieldNamed("NAME").GetText(), platform::Utf8ToCp932("北海道"));
}

TEST_F(ControlsTest, TypingWritesTheFieldAndPutsTheTableIntoEditing) {
    auto* edit = new TDBEdit(form.get(), "dbeName");
    auto* mirror = new TDBEdit(form.get(), "dbeName2");
    edit->Bind(&worksSource, "CON_NAME");
    mirror->Bind(&worksSource, "CON_NAME");
    int changes = 0;
    edit->OnChange = [&] { ++changes; };
    edit->SetTextCp932(platform::Utf8ToCp932("橋梁"));
    EXPECT_FALSE(works.IsEditing()) << "an unchanged value starts no edit";

    QTest::keyClicks(edit, "AB");
    EXPECT_EQ(works.State(), dsEdit);
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(Field("CON_NAME"), platform::Utf8ToCp932("橋梁AB"));
    EXPECT_EQ(mirror->text().toStdString(), "橋梁AB") << "other controls follow";
    EXPECT_EQ(changes, 3);
    works.DiscardRecord();
    EXPECT_EQ(edit->text().toStdString(), "橋梁");

    auto* memo = new TDBMemo(form.get(), "dbmmNote");
    memo->Bind(&worksSource, "NOTE");
    memo->moveCursor(QTextCursor::End);
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "z");
    EXPECT_EQ(Field("NOTE"), platform::Utf8ToCp932("一行目\r\n二行目\r\nz"));
    auto* box = new TDBCheckBox(form.get(), "dbcbFlag", "flag");
    box->Bind(&worksSource, "FLAG");
    box->click();
    EXPECT_EQ(Field("FLAG"), "0");
}

TEST_F(ControlsTest, ByteLimitsRefuseTypingBeyondTheLimit) {
    auto* edit = new TDBEdit(form.get(), "dbeName");
    edit->Bind(&worksSource, "CON_NAME");
    edit->SetMaxBytes(7);
    edit->end(false);
    // 4 bytes held: "a" and "b" fit, a double-byte character does not, "c" does.
    QTest::keyClicks(edit, "ab");
    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString::fromUtf8("あ"),
                        Qt::NoModifier);
    QTest::keyClicks(edit, "cd");
    EXPECT_EQ(Field("CON_NAME"), platform::Utf8ToCp932("橋梁abc"));
    edit->SetTextCp932(platform::Utf8ToCp932("あいうえ"));
    EXPECT_EQ(Field("CON_NAME"), platform::Utf8ToCp932("あいう")) << "cut at a whole character";

    auto* memo = new TDBMemo(form.get(), "dbmmNote");
    memo->SetMaxBytes(4);
    QTest::keyClicks(memo, "ab");
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "c");
    EXPECT_EQ(memo->TextCp932(), "ab\r\n") << "a line break counts two bytes";
    memo->SetTextCp932("abc\r\ndef");
    EXPECT_EQ(memo->TextCp932(), "abc") << "never cut inside a line break";
    memo->clear();
    memo->insertPlainText("123456");
    EXPECT_EQ(memo->TextCp932(), "1234") << "pasted text keeps what fits";
}

// Assistive technology and outside automation set texts through the
// accessibility interfaces, not through key presses.
TEST_F(ControlsTest, TextSetThroughAccessibilityReachesTheRecord) {
    auto* edit = new TDBEdit(form.get(), "dbeName");
    edit->Bind(&worksSource, "CON_NAME");
    edit->SetMaxBytes(10);
    int changes = 0;
    edit->OnChange = [&] { ++changes; };
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(edit);
    ASSERT_NE(access, nullptr);
    ASSERT_NE(access->editableTextInterface(), nullptr);

    access->setText(QAccessible::Value, QString::fromUtf8("新橋"));
    EXPECT_EQ(works.State(), dsEdit);
    EXPECT_EQ(Field("CON_NAME"), platform::Utf8ToCp932("新橋"));
    EXPECT_EQ(changes, 1) << "the window's change handler runs as for typing";
    access->editableTextInterface()->insertText(2, "A1");
    EXPECT_EQ(Field("CON_NAME"), platform::Utf8ToCp932("新橋A1"));
    access->editableTextInterface()->replaceText(0, 2, QString::fromUtf8("旧"));
    access->editableTextInterface()->deleteText(2, 3);
    EXPECT_EQ(Field("CON_NAME"), platform::Utf8ToCp932("旧A"));
    // Beyond the byte limit the text is refused, as typing it would be.
    access->setText(QAccessible::Value, QString::fromUtf8("あいうえおか"));
    access->editableTextInterface()->insertText(0, QString::fromUtf8("あいうえ"));
    EXPECT_EQ(Field("CON_NAME"), platform::Utf8ToCp932("旧A"));
    EXPECT_EQ(edit->text().toStdString(), "旧A");
    works.CommitRecord();
    EXPECT_EQ(Field("CON_NAME"), platform::Utf8ToCp932("旧A")) << "posted";

    auto* memo = new TDBMemo(form.get(), "dbmmNote");
    memo->Bind(&worksSource, "NOTE");
    memo->SetMaxBytes(12);
    QAccessibleInterface* memoAccess = QAccessible::queryAccessibleInterface(memo);
    ASSERT_NE(memoAccess, nullptr);
    memoAccess->setText(QAccessible::Value, QString::fromUtf8("上\n下"));
    EXPECT_EQ(Field("NOTE"), platform::Utf8ToCp932("上\r\n下"));
    ASSERT_NE(memoAccess->editableTextInterface(), nullptr);
    memoAccess->editableTextInterface()->insertText(0, "x");
    EXPECT_EQ(Field("NOTE"), platform::Utf8ToCp932("x上\r\n下"));
    memoAccess->editableTextInterface()->insertText(0, "123456789");
    EXPECT_EQ(Field("NOTE"), memo->TextCp932());
    EXPECT_LE(Field("NOTE").size(), 12u) << "beyond the limit only what fits, as pasted";

    // A read-only entry stays as the table has it.
    works.MoveNext();
    edit->setReadOnly(true);
    access->setText(QAccessible::Value, "zz");
    EXPECT_EQ(Field("CON_NAME"), platform::Utf8ToCp932("道路"));
    EXPECT_EQ(edit->text().toStdString(), "道路");
    EXPECT_FALSE(works.IsEditing());
}

TEST_F(ControlsTest, KeyHooksDiscardCharactersAndSwallowKeys) {
    auto* edit = new TDBEdit(form.get(), "dbeCost");
    std::vector<char16_t> seen;
    edit->OnKeyPress = [&](char16_t& key) {
        seen.push_back(key);
        if (!(key == 8 || (key >= u'0' && key <= u'9'))) key = 0;
    };
    int returns = 0;
    edit->OnKeyDown = [&](int key) { return key == Qt::Key_Return && ++returns; };
    QTest::keyClicks(edit, "1a2.");
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_TRUE(edit->text().isEmpty()) << "backspace removed 2, delete removed 1";
    EXPECT_EQ(returns, 1);
    // Only characters reach the key-press hook, backspace as 8.
    EXPECT_EQ(seen, (std::vector<char16_t>{u'1', u'a', u'2', u'.', 8}));
}

TEST_F(ControlsTest, RadioGroupsWriteTheirValuesAndClear) {
    auto* grade = MakeGradeGroup(form.get(), "dbrgGrade", QString::fromUtf8("経済性"));
    auto* plusOne = grade->findChild<QRadioButton*>("dbrgGrade_1");
    ASSERT_NE(plusOne, nullptr);
    EXPECT_EQ(plusOne->text(), QStringLiteral("+1"));
    EXPECT_EQ(plusOne->accessibleName().toStdString(), "経済性-+1");
    grade->Bind(&worksSource, "GRADE");
    int clicks = 0;
    grade->OnClick = [&] { ++clicks; };
    plusOne->click();
    EXPECT_EQ(Field("GRADE"), "1");
    grade->SetItemIndex(4);
    grade->SetItemIndex(4);
    EXPECT_EQ(Field("GRADE"), "-2");
    EXPECT_EQ(clicks, 2) << "choosing the chosen item again is no click";
    grade->SetItemIndex(-1);
    EXPECT_EQ(Field("GRADE"), "");
    EXPECT_EQ(grade->ItemIndex(), -1);
    works.FieldNamed("GRADE").SetText("9");
    EXPECT_EQ(grade->ItemIndex(), -1) << "a value that is no item";
    works.FieldNamed("GRADE").SetText("0");
    EXPECT_EQ(grade->ItemIndex(), 2);
    EXPECT_EQ(clicks, 3) << "values from the table are no clicks";
}

class LookupTest : public ControlsTest {
  protected:
    void SetUp() override {
        ControlsTest::SetUp();
        list = new TDBLookupComboBox(form.get(), "dblcmbGatherMoc");
        list->Bind(&worksSource, "MOC_CD");
        list->SetListSource(&bureauSource, "CD", "NAME");
        list->OnClick = [this] { ++clicks; };
        name = new TDBText(form.get(), "lblBureau");
        name->Bind(&bureauSource, "NAME");
    }
    TDBLookupComboBox* list = nullptr;
    TDBText* name = nullptr;
    int clicks = 0;
};

TEST_F(LookupTest, ShowsTheNameAndKeepsTheCodeTableOnTheCode) {
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(platform::Cp932ToUtf8(list->TextCp932()), "東北");
    EXPECT_EQ(name->text().toStdString(), "東北") << "displays bound to the code table";
    works.MoveNext();
    EXPECT_EQ(list->TextCp932(), "") << "a work without a bureau";

    list->SelectCode("3");
    EXPECT_EQ(Field("MOC_CD"), "3");
    EXPECT_EQ(works.State(), dsEdit);
    EXPECT_EQ(name->text().toStdString(), "関東");
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(Field("MOC_CD"), "2") << "a choice by keyboard";
    EXPECT_EQ(clicks, 2);
    bool emptiedFirst = false;
    list->OnKeyDown = [&](int) { return emptiedFirst = Field("MOC_CD").empty(); };
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_TRUE(emptiedFirst) << "the hook runs after Delete emptied the field";
    EXPECT_EQ(list->TextCp932(), "");
    list->SelectCode("99");
    EXPECT_EQ(clicks, 2) << "no such code";
}

TEST_F(LookupTest, ReadingTheListIsNoMoveAndTheDropDownReadsItAgain) {
    bureauScrolls = 0;
    list->RefreshList();
    EXPECT_EQ(bureauScrolls, 0) << "the table's scroll handler did not run";
    EXPECT_EQ(BureauCode(), "2");
    list->OnDropDown = [this] {
        bureaus.SetFilter("CD >= 2");
        bureaus.SetFiltered(true);
    };
    list->showPopup();
    list->hidePopup();
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(BureauCode(), "2") << "the filter moved the table; the list put it back";
}

TEST_F(LookupTest, CodeMovingTheCodeTableIsNotPulledBackWhileItRuns) {
    ASSERT_TRUE(bureaus.Locate("CD", "1"));
    EXPECT_EQ(bureaus.FieldNamed("NAME").GetText(), platform::Utf8ToCp932("北海道"));
    std::vector<std::string> seen;
    for (bureaus.MoveFirst(); !bureaus.AtEnd(); bureaus.MoveNext()) seen.push_back(BureauCode());
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "3"}));
    QApplication::processEvents();
    EXPECT_EQ(BureauCode(), "2") << "back on the work's code once the reader is done";

    delete list;  // a list that is gone keeps nothing
    bureaus.MoveLast();
    QApplication::processEvents();
    EXPECT_EQ(BureauCode(), "3");
}

TEST_F(ControlsTest, GridShowsRowsFollowsTheTableAndMovesIt) {
    auto* grid = new TDBGrid(form.get(), "dgConstList");
    grid->Bind(&worksSource, {{"CONST_NO", "No", 60}, {"CON_NAME", "Name", 120}});
    form->show();
    ASSERT_EQ(grid->RowTotal(), 2);
    EXPECT_EQ(grid->CellText(1, 1), platform::Utf8ToCp932("道路"));
    EXPECT_EQ(grid->columnWidth(1), 120);
    grid->selectRow(1);
    EXPECT_EQ(Field("CONST_NO"), "C2") << "picking a row moves the table";
    works.MoveFirst();
    EXPECT_EQ(grid->currentIndex().row(), 0) << "the selection follows the table";

    works.StartInsert();
    works.FieldNamed("CONST_NO").SetText("C3");
    grid->selectRow(1);
    EXPECT_EQ(works.State(), dsInsert) << "a table being edited is never moved";
    works.CommitRecord();
    EXPECT_EQ(grid->RowTotal(), 3);
    works.MoveFirst();
    works.StartEdit();
    works.FieldNamed("CON_NAME").SetText(platform::Utf8ToCp932("新橋"));
    works.CommitRecord();
    EXPECT_EQ(grid->CellText(0, 1), platform::Utf8ToCp932("新橋"));
}

TEST_F(ControlsTest, DateListsTellUserChangesFromTheProgramsOwn) {
    TDateCombos date = MakeDateCombos(form.get(), "cmbReg", QString::fromUtf8("記入日"));
    EXPECT_EQ(date.day->objectName(), QStringLiteral("cmbReg_Day"));
    EXPECT_EQ(date.month->accessibleName().toStdString(), "記入日-月");
    int changes = 0;
    date.month->OnChange = [&] { ++changes; };
    date.month->OnDropDown = [&] { date.month->SetItemsSilently({"1", "2", "3"}); };
    date.month->SetTextSilently("12");
    EXPECT_EQ(changes, 0);
    date.month->showPopup();
    date.month->hidePopup();
    EXPECT_EQ(date.month->count(), 3);
    EXPECT_EQ(date.month->TextCp932(), "12") << "new items keep the text";
    date.month->setCurrentIndex(1);
    date.month->setEditText("5");
    EXPECT_EQ(changes, 2) << "choosing and typing are changes";
}

TEST(FileDialog, FiltersTakeQtsFormAndSaveNamesTheDefaultExtension) {
    EXPECT_EQ(QtFileFilter(platform::Utf8ToCp932("画像ファイル|*.gif;*.jpg;*.jpeg;")),
              "画像ファイル (*.gif *.jpg *.jpeg)");
    EXPECT_EQ(QtFileFilter(platform::Utf8ToCp932("LZH|*.lzh|すべて|*.*")),
              "LZH (*.lzh);;すべて (*.*)");
    SetFileDialogHandler([](const TFileDialogCall& call) { return call.fileName; });
    EXPECT_EQ(FileDialog(nullptr, {fdSave, "", "", "lzh", "/tmp/a.b/out"}), "/tmp/a.b/out.lzh");
    EXPECT_EQ(FileDialog(nullptr, {fdSave, "", "", "lzh", "/tmp/out.zip"}), "/tmp/out.zip");
    EXPECT_EQ(FileDialog(nullptr, {fdOpen, "", "", "lzh", "/tmp/out"}), "/tmp/out");
    SetFileDialogHandler({});
}

}  // namespace
