// Text entry on the sheets beyond the keyboard: widening half-width katakana
// when an entry is left (a text that would no longer fit the entry is neither
// cut nor converted; the user is told the entry's width and brought back to
// it), and texts set through the accessibility interface, which reach the
// record and the table file as typed ones do.
#include <QAccessible>
#include <QApplication>

#include "platform/codepage.h"
#include "shell/tests/window_fixture.h"

namespace window_test {
namespace {

class TextEntryTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        Open();
        window->btnNew->click();
        ShowTab("tsPlan");
        boxes.shown.clear();
    }
    // Focuses the entry, then moves the focus on to another, as leaving it does.
    void Leave(QWidget* entry, QWidget* next) {
        entry->setFocus(Qt::OtherFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), entry);
        next->setFocus(Qt::TabFocusReason);
    }
    std::string Field(TTableId table, const char* field) {
        return window->dm().TableNamed(TableDef(table).name)->FieldNamed(field).GetText();
    }
    static std::string Repeat(const std::string& text, int times) {
        std::string repeated;
        for (int i = 0; i < times; ++i) repeated += text;
        return repeated;
    }
};

TEST_F(TextEntryTest, AnEntryTooNarrowForItsWidenedTextKeepsItAndTheFocus) {
    TDBEdit* place = Edit(TTableId::Plan, "CON_PLACE");
    TDBEdit* charge = Edit(TTableId::Plan, "CON_CHARGE_MIC");
    ASSERT_EQ(place->MaxBytes(), 255);
    // 200 half-width characters fit 255 bytes; widened they would take 400.
    const std::string typed = Repeat(platform::Utf8ToCp932("ｱ"), 200);
    place->SetTextCp932(typed);
    Leave(place, charge);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].icon, miError);
    const std::string message = boxes.Texts()[0];
    EXPECT_NE(message.find("入力できる文字数を超えます。（全角127文字まで）"), std::string::npos)
        << message;
    EXPECT_NE(message.find(place->accessibleName().toStdString()), std::string::npos) << message;
    EXPECT_EQ(place->TextCp932(), typed) << "nothing typed is lost";
    EXPECT_EQ(Field(TTableId::Plan, "CON_PLACE"), typed);
    EXPECT_EQ(QApplication::focusWidget(), place) << "brought back to the entry";

    // Shortened so that the widened text fits: converted on leaving, no message.
    place->SetTextCp932(Repeat(platform::Utf8ToCp932("ｱ"), 127));
    Leave(place, charge);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(Field(TTableId::Plan, "CON_PLACE"), Repeat(platform::Utf8ToCp932("ア"), 127));
    // Full-width letters narrow as they widen the katakana: the sum counts.
    place->SetTextCp932(Repeat(platform::Utf8ToCp932("Ａ"), 100) +
                        Repeat(platform::Utf8ToCp932("ｶﾞ"), 25));
    Leave(place, charge);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(Field(TTableId::Plan, "CON_PLACE"),
              Repeat("A", 100) + Repeat(platform::Utf8ToCp932("ガ"), 25));
}

TEST_F(TextEntryTest, AMemoTooNarrowForItsWidenedTextKeepsIt) {
    TDBMemo* content = Memo(TTableId::Plan, "CON_CONTENT");
    TDBEdit* place = Edit(TTableId::Plan, "CON_PLACE");
    const std::string typed = Repeat(platform::Utf8ToCp932("ﾃｽﾄ"), 400) + "\r\n\r\n";
    content->SetTextCp932(typed);
    ASSERT_EQ(content->TextCp932(), typed);
    Leave(content, place);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.Texts()[0].find("（全角1000文字まで）"), std::string::npos) << boxes.Texts()[0];
    EXPECT_EQ(Field(TTableId::Plan, "CON_CONTENT"), typed);
    EXPECT_EQ(QApplication::focusWidget(), content);
}

TEST_F(TextEntryTest, TwoTooNarrowEntriesDoNotPassTheFocusToAndFro) {
    TDBEdit* place = Edit(TTableId::Plan, "CON_PLACE");
    TDBEdit* cost = Edit(TTableId::Plan, "CON_COST");
    const std::string first = Repeat(platform::Utf8ToCp932("ｲ"), 200),
                      second = Repeat(platform::Utf8ToCp932("ｳ"), 200);
    place->SetTextCp932(first);
    cost->SetTextCp932(second);
    Leave(place, cost);
    EXPECT_EQ(boxes.shown.size(), 1u) << "one message, for the entry left";
    EXPECT_EQ(QApplication::focusWidget(), place);
    EXPECT_EQ(Field(TTableId::Plan, "CON_PLACE"), first);
    EXPECT_EQ(Field(TTableId::Plan, "CON_COST"), second);
}

TEST_F(TextEntryTest, TextsSetThroughAccessibilityAreSavedAsTypedOnes) {
    TDBEdit* name = Edit(TTableId::Main, "CON_NAME");
    TDBEdit* place = Edit(TTableId::Plan, "CON_PLACE");
    TDBMemo* content = Memo(TTableId::Plan, "CON_CONTENT");
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(name);
    ASSERT_NE(access, nullptr);
    access->setText(QAccessible::Value, QString::fromUtf8("橋梁補修"));
    EXPECT_TRUE(window->HasUnsavedChanges()) << "a change by the user";
    // Through the editable-text interface, then left: widened as typed text is.
    QAccessibleInterface* placeAccess = QAccessible::queryAccessibleInterface(place);
    ASSERT_NE(placeAccess, nullptr);
    ASSERT_NE(placeAccess->editableTextInterface(), nullptr);
    placeAccess->editableTextInterface()->insertText(0, QString::fromUtf8("ﾄｳｷｮｳ"));
    Leave(place, name);
    EXPECT_EQ(Field(TTableId::Plan, "CON_PLACE"), platform::Utf8ToCp932("トウキョウ"));
    QAccessibleInterface* contentAccess = QAccessible::queryAccessibleInterface(content);
    ASSERT_NE(contentAccess, nullptr);
    contentAccess->setText(QAccessible::Value, QString::fromUtf8("一行目\n二行目"));

    boxes.answers = {idYes};
    window->bbtnSubmit->click();
    window->btnReturnMenu->click();
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(ReadTable(installation->TablePath(TTableId::Main)).at(0).at("CON_NAME"),
              platform::Utf8ToCp932("橋梁補修"));
    const Row plan = ReadTable(installation->TablePath(TTableId::Plan)).at(0);
    EXPECT_EQ(plan.at("CON_PLACE"), platform::Utf8ToCp932("トウキョウ"));
    EXPECT_EQ(plan.at("CON_CONTENT"), platform::Utf8ToCp932("一行目\r\n二行目"));
}

}  // namespace
}  // namespace window_test
