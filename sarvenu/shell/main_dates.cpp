// The ten date entries of the main window: their lists, filling them from the
// work, composing their texts for the data store, keeping each triple
// consistent when the user changes it, and the fiscal year and chief
// supervisor dates shown on other tabs.
#include <QDate>

#include "platform/codepage.h"
#include "records/date_entry.h"
#include "shell/main.h"
#include "shell/message_box.h"
#include "shell/system_info.h"

namespace sarvenu {

namespace {

struct TDateEntryDef {
    const char* base;
    TTableId sheet;
    const char* field;
    bool period;  // 上旬/中旬/下旬 instead of days
    TCdsModuleHost::TDateEntry entry;
};

const TDateEntryDef kDateEntries[] = {
    {"cmbRegDatePlan", TTableId::Plan, "REG_DATE", false, TCdsModuleHost::deRegDatePlan},
    {"cmbConDatePlanS", TTableId::Plan, "CON_DATE_S", false, TCdsModuleHost::deConDatePlanS},
    {"cmbConDatePlanE", TTableId::Plan, "CON_DATE_E", false, TCdsModuleHost::deConDatePlanE},
    {"cmbTechConDatePlanS", TTableId::Plan, "TECH_CON_DATE_S", true,
     TCdsModuleHost::deTechConDatePlanS},
    {"cmbTechConDatePlanE", TTableId::Plan, "TECH_CON_DATE_E", true,
     TCdsModuleHost::deTechConDatePlanE},
    {"cmbRegDateReport", TTableId::Report, "REG_DATE", false, TCdsModuleHost::deRegDateReport},
    {"cmbConDateChiefS", TTableId::InvChief, "INV_CON_DATE_S", false,
     TCdsModuleHost::deConDateChiefS},
    {"cmbConDateChiefE", TTableId::InvChief, "INV_CON_DATE_E", false,
     TCdsModuleHost::deConDateChiefE},
    {"cmbTechConDateChiefS", TTableId::InvChief, "INV_TECH_CON_DATE_S", false,
     TCdsModuleHost::deTechConDateChiefS},
    {"cmbTechConDateChiefE", TTableId::InvChief, "INV_TECH_CON_DATE_E", false,
     TCdsModuleHost::deTechConDateChiefE},
};

QStringList ToList(const std::vector<std::string>& items) {
    QStringList list;
    for (const std::string& item : items) list << platform::Cp932ToQString(item);
    return list;
}

}  // namespace

TDateCombos TfrmMain::DateEntry(const std::string& baseName) const {
    const QString base = QString::fromStdString(baseName);
    return {FindControl<TComboBox>(base + "_Year"), FindControl<TComboBox>(base + "_Month"),
            FindControl<TComboBox>(base + "_Day")};
}

std::string TfrmMain::CreDate(const TDateCombos& entry) const {
    if (!entry.year || !entry.month || !entry.day) return {};
    return sarvenu::CreDate(entry.year->TextCp932(), entry.month->TextCp932(),
                            entry.day->TextCp932());
}

std::string TfrmMain::DateEntryText(TDateEntry entry) {
    // A stored date the lists could not show goes back as it was stored,
    // into the work it was read from only.
    const auto kept = unshownDates_.find(entry);
    if (kept != unshownDates_.end() &&
        dm_->cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText() == unshownDatesWork_)
        return kept->second;
    for (const TDateEntryDef& def : kDateEntries)
        if (def.entry == entry) return CreDate(DateEntry(def.base));
    return {};
}

std::string TfrmMain::DateText(const std::string& baseName) {
    return CreDate(DateEntry(baseName));
}

void TfrmMain::FillDateLists() {
    const QStringList years = ToList(YearItems(QDate::currentDate().year()));
    const QStringList months = ToList(MonthItems());
    for (const TDateEntryDef& def : kDateEntries) {
        TDateCombos entry = DateEntry(def.base);
        if (entry.year) entry.year->SetItemsSilently(years);
        if (entry.month) entry.month->SetItemsSilently(months);
    }
}

void TfrmMain::EditSheetTable(TClientTable& table) {
    if (!table.IsEditing()) table.StartEdit();
}

void TfrmMain::WireDateEntries() {
    for (const TDateEntryDef& def : kDateEntries) {
        TDateCombos entry = DateEntry(def.base);
        if (!entry.year || !entry.month || !entry.day) continue;
        TClientTable* table = dm_->TableNamed(TableDef(def.sheet).name);
        const bool report = def.sheet == TTableId::Report;
        const bool chief = def.sheet == TTableId::InvChief;
        const TDateEntry id = def.entry;
        auto after = [this, report, chief, id](bool yearOrMonth) {
            // The user's own choice replaces a stored date the lists could not show.
            unshownDates_.erase(id);
            if (report && yearOrMonth) SetInvAddNendo();
            if (chief) SetInvChiefDate();
        };
        entry.year->OnChange = [this, entry, table, after] {
            if (sheetPages_) {  // ClearMM
                entry.month->SetTextSilently({});
                entry.day->SetTextSilently({});
            }
            EditSheetTable(*table);
            after(true);
        };
        entry.month->OnChange = [this, entry, table, after] {
            if (sheetPages_) entry.day->SetTextSilently({});  // ClearDD
            EditSheetTable(*table);
            after(true);
        };
        entry.day->OnChange = [this, table, after] {
            EditSheetTable(*table);
            after(false);
        };
        const bool period = def.period;
        entry.day->OnDropDown = [entry, period] {
            std::vector<std::string> items;
            const std::string year = entry.year->TextCp932();
            const std::string month = entry.month->TextCp932();
            const bool filled =
                period ? LikeDayItems(year, month, items) : DayItems(year, month, items);
            if (filled) entry.day->SetItemsSilently(ToList(items));
        };
    }
}

void TfrmMain::SetDate() {
    unshownDates_.clear();
    if (!orderingOffice_) return;
    unshownDatesWork_ = dm_->cdsEV_TBL_MAIN.FieldNamed("CONST_NO").GetText();
    std::string unshown;
    for (const TDateEntryDef& def : kDateEntries) {
        TDateCombos entry = DateEntry(def.base);
        TClientTable* table = dm_->TableNamed(TableDef(def.sheet).name);
        if (!entry.year || !table) continue;
        const std::string text = table->FieldNamed(def.field).GetText();
        const TDateParts parts = def.period ? SpreadLikeDate(text) : SpreadDate(text);
        entry.year->SetTextSilently(platform::Cp932ToQString(parts.year));
        entry.month->SetTextSilently(platform::Cp932ToQString(parts.month));
        entry.day->SetTextSilently(platform::Cp932ToQString(parts.day));
        // A text that is no calendar date ("2006/02/30", from an import or
        // an older release) leaves the lists empty; it is kept, not lost to
        // the next save, and the user is told which entry holds what.
        if (!ShowsInLists(text)) {
            unshownDates_[def.entry] = text;
            unshown += "\r\n" + DateEntryLabel(def.base) + platform::Utf8ToCp932("：") + text;
        }
    }
    SetInvAddNendo();
    SetInvChiefDate();
    if (!unshown.empty())
        MessageBox(
            this,
            platform::Utf8ToCp932("次の日付は暦にない日付のため、選択欄に表示できません。\r\n"
                                  "日付を選び直すまでは、保存しても元の値のまま残ります。\r\n") +
                unshown,
            GetAppTitle(), miWarning, mbOK);
}

std::string TfrmMain::DateEntryLabel(const std::string& baseName) const {
    const TDateCombos entry = DateEntry(baseName);
    if (!entry.year) return baseName;
    // The year list is named after the entry's label with "-年" appended.
    QString label = entry.year->accessibleName();
    label.chop(QStringLiteral("-年").size());
    // The tab's caption tells the plan's 工事期間 from the chief supervisor's.
    for (QWidget* parent = entry.year->parentWidget(); parent; parent = parent->parentWidget()) {
        const int tab = pcSarvenu->indexOf(parent);
        if (tab >= 0)
            return platform::Utf8ToCp932("［") + platform::QStringToCp932(pcSarvenu->tabText(tab)) +
                   platform::Utf8ToCp932("］") + platform::QStringToCp932(label);
    }
    return platform::QStringToCp932(label);
}

void TfrmMain::SetInvAddNendo() {
    TDateCombos report = DateEntry("cmbRegDateReport");
    if (!report.year) return;
    const QString text =
        platform::Cp932ToQString(NendoText(report.year->TextCp932(), report.month->TextCp932()));
    for (const char* name : {"lblNendoAdd1", "lblNendoAdd2", "lblNendo2Add2"})
        if (auto* label = findChild<QLabel*>(name)) label->setText(text);
}

void TfrmMain::SetInvChiefDate() {
    for (const char* base :
         {"ConDateChiefS", "ConDateChiefE", "TechConDateChiefS", "TechConDateChiefE"}) {
        TDateCombos entry = DateEntry(std::string("cmb") + base);
        if (!entry.year) continue;
        const QString label = QString("lbl") + base;
        auto set = [this, &label](const char* part, const std::string& text) {
            if (auto* target = findChild<QLabel*>(label + part))
                target->setText(platform::Cp932ToQString(text));
        };
        set("_Year", entry.year->TextCp932());
        set("_Month", PadTwo(entry.month->TextCp932()));
        set("_Day", PadTwo(entry.day->TextCp932()));
    }
}

}  // namespace sarvenu

namespace sarvenu {

TPreviewDates TfrmMain::PreviewDates() const {
    TPreviewDates dates;
    for (const TDateEntryDef& def : kDateEntries) {
        const TDateCombos entry = DateEntry(def.base);
        if (!entry.year || !entry.month || !entry.day) continue;
        dates[def.entry] = CreDatePreview(entry.year->TextCp932(), entry.month->TextCp932(),
                                          entry.day->TextCp932());
    }
    const TDateCombos report = DateEntry("cmbRegDateReport");
    if (report.year && report.month)
        dates.nendo = NendoPreview(report.year->TextCp932(), report.month->TextCp932());
    return dates;
}

}  // namespace sarvenu
