// The header and the seven sheet panels, built over a real data store in
// both program modes: every entered column has its entry, named, bound and
// limited to the column's width; every control has an accessible name unique
// on its tab; nothing lies outside its panel, overlaps another control or is
// cut off; the names the window looks up exist once; and every entry a check
// focuses is in view at the scroll position the check uses.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLayout>
#include <QRadioButton>
#include <map>
#include <memory>
#include <set>

#include "records/check_con.h"
#include "records/entry_names.h"
#include "records/tests/store_fixture.h"
#include "shell/sheet_layout.h"
#include "shell/sheets.h"
#include "shell/tests/qt_app.h"

namespace {

using namespace store_test;
using namespace sarvenu;

// The header and the panels of one mode, destroyed before the data store.
class SheetsTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        window_test::EnsureQtApp();
        dm = std::make_unique<TdmCdsModule>(host, installation.ExeDir());
        context = std::make_unique<TSheetContext>(TSheetContext{*dm, GetParam()});
        header = std::make_unique<QWidget>();
        header->setObjectName("pnlHeader");
        header->resize(kWindowWidth, kHeaderHeight);
        BuildHeader(header.get(), *context);
        for (const TSheetDef& def : SheetDefs()) {
            auto panel = std::make_unique<QWidget>();
            panel->setObjectName(def.panel);
            panel->resize(kSheetPanelWidth, def.height);
            def.build(panel.get(), *context);
            panels[def.tab] = std::move(panel);
        }
        // Lay out the groups' buttons as showing would. The panels are not
        // shown: a process that showed top-level windows crashes when the
        // shared static application object is destroyed at exit.
        for (QWidget* panel : All()) {
            panel->ensurePolished();
            for (QGroupBox* group : panel->findChildren<QGroupBox*>())
                if (group->layout()) group->layout()->activate();
        }
    }
    void TearDown() override {
        panels.clear();
        header.reset();
        dm.reset();
    }

    std::vector<QWidget*> All() const {
        std::vector<QWidget*> all{header.get()};
        for (const auto& [tab, panel] : panels) all.push_back(panel.get());
        return all;
    }
    // The panel that edits a table.
    QWidget* PanelOf(TTableId table) const {
        static const std::map<TTableId, const char*> tabs = {{TTableId::Plan, "tsPlan"},
                                                             {TTableId::Report, "tsReport"},
                                                             {TTableId::InvSection, "tsInvSection"},
                                                             {TTableId::InvChief, "tsInvChief"},
                                                             {TTableId::InvCon, "tsInvCon"}};
        return table == TTableId::Main ? header.get() : panels.at(tabs.at(table)).get();
    }
    // How many widgets carry a name across the header and all panels.
    int NameCount(const QString& name) const {
        int count = 0;
        for (QWidget* panel : All())
            count += static_cast<int>(panel->findChildren<QWidget*>(name).size());
        return count;
    }

    Installation installation;
    TestHost host;
    std::unique_ptr<TdmCdsModule> dm;
    std::unique_ptr<TSheetContext> context;
    std::unique_ptr<QWidget> header;
    std::map<std::string, std::unique_ptr<QWidget>> panels;
};

// Columns no entry edits: keys, the data version, the second type code,
// picture files and the dates (entered through the date lists).
bool Entered(const std::string& column) {
    return column != "CONST_NO" && column != "CON_TYPE_MODE" && column != "REG_VERSION" &&
           column.rfind("FILE_NAME_", 0) != 0 && column.find("DATE") == std::string::npos;
}

// Widgets that make up another control (a list's edit line, a memo's viewport).
bool InsideOther(const QWidget* widget, const QWidget* panel) {
    for (QWidget* up = widget->parentWidget(); up && up != panel; up = up->parentWidget())
        if (qobject_cast<QComboBox*>(up) || qobject_cast<QAbstractScrollArea*>(up)) return true;
    return false;
}

// Controls a user or a screen reader meets: everything but static captions.
std::vector<QWidget*> Controls(QWidget* panel) {
    std::vector<QWidget*> controls;
    for (QWidget* widget : panel->findChildren<QWidget*>()) {
        if (InsideOther(widget, panel)) continue;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            const bool display = dynamic_cast<TDBText*>(label) || label->text().isEmpty() ||
                                 !label->accessibleName().isEmpty();
            if (display) controls.push_back(widget);
        } else if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                   qobject_cast<QAbstractScrollArea*>(widget) || qobject_cast<QComboBox*>(widget) ||
                   qobject_cast<QGroupBox*>(widget)) {
            controls.push_back(widget);
        }
    }
    return controls;
}

std::string Describe(const QWidget* widget) {
    return widget->objectName().toStdString() + " \"" + widget->accessibleName().toStdString() +
           "\"";
}

TEST_P(SheetsTest, EveryEnteredColumnHasOneBoundEntryOfItsKind) {
    for (TTableId table : {TTableId::Main, TTableId::Plan, TTableId::Report, TTableId::InvSection,
                           TTableId::InvChief, TTableId::InvCon}) {
        QWidget* panel = PanelOf(table);
        for (const TColumnDef& column : TableDef(table).columns) {
            if (!Entered(column.name)) continue;
            const QString name = QString::fromStdString(EntryName(table, column.name));
            SCOPED_TRACE(name.toStdString());
            QWidget* widget = panel->findChild<QWidget*>(name);
            ASSERT_NE(widget, nullptr);
            EXPECT_EQ(NameCount(name), 1) << "the window finds the first of equal names";

            TFieldLink* link = nullptr;
            const std::string prefix =
                table == TTableId::Main ? std::string() : EntryPrefix(table, column.name);
            if (auto* list = dynamic_cast<TDBLookupComboBox*>(widget)) {
                link = &list->Link();
            } else if (auto* edit = dynamic_cast<TDBEdit*>(widget)) {
                EXPECT_TRUE(prefix.empty() || prefix == "dbe");
                EXPECT_EQ(edit->MaxBytes(), static_cast<int>(column.width));
                link = &edit->Link();
            } else if (auto* memo = dynamic_cast<TDBMemo*>(widget)) {
                EXPECT_EQ(prefix, "dbmm");
                EXPECT_FALSE(memo->isReadOnly());
                link = &memo->Link();
            } else if (auto* box = dynamic_cast<TDBCheckBox*>(widget)) {
                EXPECT_EQ(prefix, "dbcb");
                link = &box->Link();
            } else if (auto* group = dynamic_cast<TDBRadioGroup*>(widget)) {
                EXPECT_EQ(prefix, "dbrg");
                EXPECT_EQ(group->Count(), column.name == "INV_COMMON" ? 2 : 5);
                link = &group->Link();
            }
            ASSERT_NE(link, nullptr) << "not a data-aware entry";
            EXPECT_EQ(link->Source(), SourceOf(*dm, table));
            EXPECT_EQ(link->FieldName(), column.name);
        }
    }
    // The plan tab chooses the utilization type too, among the five codes.
    auto* type = panels.at("tsPlan")->findChild<TDBRadioGroup*>(kConTypePlanGroup);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->Link().Source(), &dm->dsEV_TBL_MAIN);
    EXPECT_EQ(type->Link().FieldName(), "CON_TYPE");
    EXPECT_EQ(type->Count(), 5);
}

TEST_P(SheetsTest, TextEntriesTakeNoMoreThanTheirColumn) {
    TClientTable& main = dm->cdsEV_TBL_MAIN;
    main.StartInsert();
    main.FieldNamed("CONST_NO").SetText("CYY-XX0001");
    for (TTableId table : {TTableId::Main, TTableId::Plan, TTableId::InvSection, TTableId::InvChief,
                           TTableId::InvCon}) {
        for (const TColumnDef& column : TableDef(table).columns) {
            if (!Entered(column.name) || column.width < 6) continue;  // flags, grades, codes
            QWidget* widget = PanelOf(table)->findChild<QWidget*>(
                QString::fromStdString(EntryName(table, column.name)));
            SCOPED_TRACE(EntryName(table, column.name));
            const std::string tooLong(column.width + 3, '7');
            if (auto* edit = dynamic_cast<TDBEdit*>(widget)) {
                edit->SetTextCp932(tooLong);
                EXPECT_EQ(edit->TextCp932().size(), column.width);
            } else if (auto* memo = dynamic_cast<TDBMemo*>(widget)) {
                memo->SetTextCp932(tooLong);
                EXPECT_EQ(memo->TextCp932().size(), column.width);
            } else if (column.name != "MOC_CD" && column.name != "OFFICE_CD" &&
                       column.name != "CON_TYPE") {
                ADD_FAILURE() << "no text entry";
            }
        }
    }
}

TEST_P(SheetsTest, AccessibleNamesAreSetAndUniqueOnEachTab) {
    for (QWidget* panel : All()) {
        SCOPED_TRACE(panel->objectName().toStdString());
        std::map<QString, QWidget*> seen;
        int controls = 0;
        for (QWidget* control : Controls(panel)) {
            ++controls;
            EXPECT_FALSE(control->accessibleName().trimmed().isEmpty()) << Describe(control);
            if (!qobject_cast<QLabel*>(control)) {
                EXPECT_FALSE(control->objectName().isEmpty())
                    << "the window cannot find " << Describe(control);
            }
            auto [it, added] = seen.emplace(control->accessibleName(), control);
            EXPECT_TRUE(added) << Describe(control) << " repeats " << Describe(it->second);
        }
        EXPECT_GT(controls, 5);
    }
}

TEST_P(SheetsTest, ControlsStayInsideTheirPanelApartAndReadable) {
    for (QWidget* panel : All()) {
        SCOPED_TRACE(panel->objectName().toStdString());
        const QRect area(QPoint(0, 0), panel->size());
        std::vector<QWidget*> shown;
        int lowest = 0;
        for (QObject* child : panel->children()) {
            auto* widget = qobject_cast<QWidget*>(child);
            if (!widget) continue;
            EXPECT_TRUE(area.contains(widget->geometry())) << Describe(widget) << " lies outside";
            lowest = std::max(lowest, widget->geometry().bottom());
            if (!widget->isHidden()) shown.push_back(widget);

            if (auto* label = qobject_cast<QLabel*>(widget);
                label && !label->text().isEmpty() && !dynamic_cast<TDBText*>(label)) {
                const bool fits = label->wordWrap()
                                      ? label->heightForWidth(label->width()) <= label->height()
                                      : label->sizeHint().width() <= label->width() &&
                                            label->fontMetrics().height() <= label->height();
                EXPECT_TRUE(fits) << "cut off: " << label->text().toStdString();
            }
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                EXPECT_LE(button->sizeHint().width(), button->width())
                    << "cut off: " << Describe(button);
            }
            if (auto* group = qobject_cast<QGroupBox*>(widget))
                for (QRadioButton* item : group->findChildren<QRadioButton*>()) {
                    EXPECT_TRUE(group->rect().contains(item->geometry()))
                        << Describe(item) << " leaves its group";
                    EXPECT_LE(item->sizeHint().width(), item->width())
                        << "cut off: " << Describe(item);
                }
        }
        for (size_t i = 0; i < shown.size(); ++i)
            for (size_t j = i + 1; j < shown.size(); ++j)
                EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                    << Describe(shown[i]) << " overlaps " << Describe(shown[j]);
        if (panel != header.get()) {
            EXPECT_GT(lowest, panel->height() - kSheetViewHeight)
                << "the last scroll position shows nothing";
        }
    }
}

TEST_P(SheetsTest, NamesTheWindowLooksUpExistOnceWithTheirKind) {
    auto expectOne = [this](const QString& name, auto* kind) {
        using Kind = std::remove_pointer_t<decltype(kind)>;
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(NameCount(name), 1);
        bool found = false;
        for (QWidget* panel : All()) found = found || panel->findChild<Kind*>(name) != nullptr;
        EXPECT_TRUE(found) << "not of the kind the window looks for";
    };
    for (const char* place : {"Plan", "Rep", "Add1", "Add2", "Sec"})
        for (const char* display : {"dbmmGatherMoc", "dbmmHacSai"})
            expectOne(QString(display) + place, static_cast<TDBMemo*>(nullptr));
    for (const char* name : {"dbmmGatherMoc2Add2", "dbmmHacSai2Add2", "dbmmConTypeRep"})
        expectOne(name, static_cast<TDBMemo*>(nullptr));
    for (const char* name : {"lblNendoAdd1", "lblNendoAdd2", "lblNendo2Add2"})
        expectOne(name, static_cast<QLabel*>(nullptr));
    for (const char* base :
         {"ConDateChiefS", "ConDateChiefE", "TechConDateChiefS", "TechConDateChiefE"})
        for (const char* part : {"_Year", "_Month", "_Day"}) {
            expectOne(QString("lbl") + base + part, static_cast<QLabel*>(nullptr));
            expectOne(QString("cmb") + base + part, static_cast<TComboBox*>(nullptr));
        }
    for (const char* base : {"cmbRegDatePlan", "cmbConDatePlanS", "cmbConDatePlanE",
                             "cmbTechConDatePlanS", "cmbTechConDatePlanE", "cmbRegDateReport"})
        for (const char* part : {"_Year", "_Month", "_Day"})
            expectOne(QString(base) + part, static_cast<TComboBox*>(nullptr));
    for (int slot = 1; slot <= 3; ++slot) {
        const QString n = QString::number(slot);
        expectOne("imgPict" + n, static_cast<QLabel*>(nullptr));
        expectOne("lblNoPict" + n, static_cast<QLabel*>(nullptr));
        expectOne("btnPictSelect" + n, static_cast<QPushButton*>(nullptr));
        expectOne("btnPctClear" + n, static_cast<QPushButton*>(nullptr));
    }
    for (const char* name : {"btnExp", "btnImpCon"})
        expectOne(name, static_cast<QPushButton*>(nullptr));
    for (const char* name : {"dblcmbGatherMoc", "dblcmbHacSai", "dblcmbConType"})
        expectOne(name, static_cast<TDBLookupComboBox*>(nullptr));
}

// The point displays of the contractor's tab, which the contractor mode hides.
std::vector<QString> ContractorPointLabels() {
    std::vector<QString> names{"lblCostSubtractionCon2", "lblInvOldCostCon2",
                               "lblCostPointCon",        "lblProcessSubtractionCon2",
                               "lblInvProcessOld",       "lblInvProcessPointCon"};
    for (int i = 1; i <= 5; ++i) {
        names.push_back("lblInvCostPoint" + QString::number(i));
        names.push_back("lblInvProcessPoint" + QString::number(i));
    }
    return names;
}

TEST_P(SheetsTest, ContractorModeHidesPointsAndTheImportButton) {
    const bool ordering = GetParam();
    QWidget* con = panels.at("tsInvCon").get();
    for (const QString& name : ContractorPointLabels()) {
        auto* label = con->findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr) << name.toStdString();
        EXPECT_EQ(label->isHidden(), !ordering) << name.toStdString();
    }
    EXPECT_EQ(header->findChild<QWidget*>("btnImpCon")->isHidden(), !ordering);
    EXPECT_FALSE(header->findChild<QWidget*>("btnExp")->isHidden());
}

// The screen as the checks see it with every entry filled but one.
class OneEmptyHost : public TCheckHost {
  public:
    std::string empty;  // object name, or date base name
    std::vector<TCheckFailure> failures;
    std::string EntryText(const std::string& name) override { return name == empty ? "" : "x"; }
    std::string DateText(const std::string& base) override {
        return base == empty ? "" : "2006/04/01";
    }
    bool Ticked(const std::string&) override { return true; }
    bool Answered(const std::string& name) override { return name != empty; }
    bool CostEntriesEnabled(TTableId) override { return true; }
    void ShowCheckFailure(const TCheckFailure& failure) override { failures.push_back(failure); }
};

TEST_P(SheetsTest, EveryCheckedEntryIsInViewAtItsScrollPosition) {
    const std::map<std::string, bool (*)(TCheckHost&)> drivers = {
        {"tsPlan", CheckPlanSheet},
        {"tsReport", CheckReportSheet},
        {"tsInvSection", CheckSectionSheet},
        {"tsInvChief", CheckChiefSheet},
        {"tsInvCon", CheckConSheet}};
    for (const TSheetDef& def : SheetDefs()) {
        auto driver = drivers.find(def.tab);
        if (driver == drivers.end()) continue;
        QWidget* panel = panels.at(def.tab).get();
        SCOPED_TRACE(def.tab);
        OneEmptyHost host;
        ASSERT_TRUE(driver->second(host)) << "a complete sheet passes";

        // Empty each entry of the panel in turn; every rule that fails must
        // find its entry on this panel, in view at its scroll position.
        std::set<std::string> candidates;
        for (QWidget* widget : panel->findChildren<QWidget*>()) {
            const std::string name = widget->objectName().toStdString();
            if (name.size() > 5 && name.compare(name.size() - 5, 5, "_Year") == 0)
                candidates.insert(name.substr(0, name.size() - 5));
            else if (!name.empty())
                candidates.insert(name);
        }
        int rulesMet = 0;
        for (const std::string& candidate : candidates) {
            host.empty = candidate;
            host.failures.clear();
            if (driver->second(host)) continue;
            ++rulesMet;
            ASSERT_EQ(host.failures.size(), 1u);
            const TCheckFailure& failure = host.failures.front();
            EXPECT_EQ(failure.tab, def.tab);
            EXPECT_EQ(failure.scrollBar, def.scrollBar);
            EXPECT_GE(failure.scroll, 0);
            EXPECT_LE(failure.scroll, def.height - kSheetViewHeight);
            QWidget* focus = panel->findChild<QWidget*>(QString::fromStdString(failure.focus));
            ASSERT_NE(focus, nullptr) << failure.focus << " is not on " << def.tab;
            const int top = focus->mapTo(panel, QPoint(0, 0)).y();
            const int firstLine = top + std::min(focus->height(), kControlHeight);
            EXPECT_TRUE(top >= failure.scroll && firstLine <= failure.scroll + kSheetViewHeight)
                << failure.focus << " at " << top << " is out of view at " << failure.scroll;
        }
        EXPECT_GT(rulesMet, 0);
    }

    // The header's rules need no tab: their entries are always in view.
    OneEmptyHost host;
    int headerRules = 0;
    for (QWidget* widget : header->findChildren<QWidget*>()) {
        host.empty = widget->objectName().toStdString();
        host.failures.clear();
        if (host.empty.empty() || CheckMainItems(host)) continue;
        ++headerRules;
        ASSERT_EQ(host.failures.size(), 1u);
        EXPECT_EQ(host.failures.front().focus, host.empty);
        EXPECT_TRUE(host.failures.front().tab.empty());
    }
    EXPECT_EQ(headerRules, 5);
}

INSTANTIATE_TEST_SUITE_P(BothModes, SheetsTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "OrderingOffice" : "Contractor";
                         });

}  // namespace
