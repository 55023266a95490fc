// A realistic sample work, entered through the main window's controls as a
// user would type and choose it: every entry of the header and of every
// sheet tab the mode shows. Used by the window tests and by the tool that
// renders the tabs for review.
#pragma once

#include <QString>
#include <map>
#include <string>

#include "platform/codepage.h"
#include "records/code_tables.h"
#include "records/entry_names.h"
#include "records/schema.h"
#include "shell/db_controls.h"
#include "shell/main.h"

namespace sample_work {

using namespace sarvenu;

// Texts of the fields a reader would look at first (UTF-8).
inline const std::map<std::string, std::string>& KnownTexts() {
    static const std::map<std::string, std::string> texts = {
        {"CON_NAME", "一般国道４号　千代田橋梁補修工事"},
        {"TECH_TITLE", "高耐久性床版防水システム"},
        {"REG_NO", "KT-060123A"},
        {"CON_CHARGE_SEC", "道路工事課"},
        {"OLD_TECH_TITLE", "シート系床版防水工"},
        {"CON_PLACE", "東京都千代田区千代田一丁目地内"},
        {"CON_CONTENT", "橋梁上部工の床版補修\r\n床版防水工　Ａ＝１，２００ｍ２"},
        {"CON_OBJECT_QUANTITY", "床版防水工　1,200m2"},
        {"CON_PLACE_CONDITION", "交通規制下での夜間施工"},
        {"CON_COST", "従来工法に比べて材料費が安価である。"},
        {"CON_PROCESS", "養生時間が短く工期短縮が見込める。"},
        {"CON_QUALITY", "防水層の付着強度が高い。"},
        {"CON_SAFETY", "夜間作業時間が短縮される。"},
        {"CON_CONSTRUCT", "専用機械で均一に施工できる。"},
        {"CON_ENV", "溶剤を含まず臭気が少ない。"},
        {"CON_CHARGE_DEP", "工務"},
        {"CON_CHARGE_MIC", "123-456"},
        {"INV_BELONG", "関東地方整備局　東京国道事務所"},
        {"INV_NAME", "山田　太郎"},
        {"INV_ADDRESS", "03-1234-5678"},
        {"INV_CON_COST", "125,000千円"},
        {"INV_CON_COMPANY", "千代田建設株式会社"},
        {"INV_COST_UNIT", "100m2"},
        {"INV_OLD_COST", "1250.5"},
        {"INV_NEW_COST", "980"},
        {"INV_PROCESS_OLD", "45"},
        {"INV_PROCESS_NEW", "30"},
        {"INV_CON_AMOUNT", "床版防水工　1,200m2"},
        {"INV_NATURAL_ENV", "河川上の橋梁で、騒音・振動の規制がある。"},
        {"INV_SURROUND_ENV", "近隣に病院と小学校がある。"},
        {"INV_PLACE_CONDITION", "片側交互通行での夜間施工。"},
        {"PICTURE_A", "施工前の床版"},
        {"PICTURE_B", "防水層の施工状況"},
        {"PICTURE_C", "完成"},
    };
    return texts;
}

// The text typed into an entry without a known text: a short sentence that
// names what the entry asks for, within the entry's limit.
inline std::string TextFor(const std::string& field, const QString& label, int maxBytes) {
    auto known = KnownTexts().find(field);
    std::string text =
        known != KnownTexts().end()
            ? platform::Utf8ToCp932(known->second)
            : platform::QStringToCp932(
                  label + QString::fromUtf8("について、従来技術より良好な結果が得られた。"));
    if (maxBytes > 0 && static_cast<int>(text.size()) > maxBytes) {
        // Cut at a whole character.
        size_t cut = 0;
        while (cut < text.size()) {
            const size_t step =
                platform::IsDBCSLeadByte(static_cast<unsigned char>(text[cut])) ? 2 : 1;
            if (cut + step > static_cast<size_t>(maxBytes)) break;
            cut += step;
        }
        text.resize(cut);
    }
    return text;
}

inline void ChooseDate(TfrmMain& window, const std::string& base, const char* year,
                       const char* month, const char* day) {
    TDateCombos entry = window.DateEntry(base);
    if (!entry.year) return;
    entry.year->setEditText(QString::fromUtf8(year));
    entry.month->setEditText(QString::fromUtf8(month));
    entry.day->setEditText(QString::fromUtf8(day));
}

// Fills the open work. The grades follow a fixed pattern so that every
// answer occurs.
inline void FillSampleWork(TfrmMain& window) {
    const int bureau = ShippedBureaus().at(2).cd;
    if (auto* list = window.findChild<TDBLookupComboBox*>("dblcmbGatherMoc"))
        list->SelectCode(std::to_string(bureau));
    for (const TOfficeRow& office : ShippedOffices())
        if (OfficeBelongsToBureau(office.cd, bureau)) {
            if (auto* list = window.findChild<TDBLookupComboBox*>("dblcmbHacSai")) {
                list->showPopup();
                list->hidePopup();
                list->SelectCode(std::to_string(office.cd));
            }
            break;
        }
    if (auto* list = window.findChild<TDBLookupComboBox*>("dblcmbConType")) list->SelectCode("5");

    int grade = 0;
    for (TTableId table : {TTableId::Main, TTableId::Plan, TTableId::Report, TTableId::InvSection,
                           TTableId::InvChief, TTableId::InvCon}) {
        for (const TColumnDef& column : TableDef(table).columns) {
            const QString name = QString::fromStdString(EntryName(table, column.name));
            QWidget* control = window.findChild<QWidget*>(name);
            if (!control || !control->isEnabled()) continue;
            if (auto* edit = dynamic_cast<TDBEdit*>(control)) {
                if (!edit->isReadOnly())
                    edit->SetTextCp932(
                        TextFor(column.name, edit->accessibleName(), edit->MaxBytes()));
            } else if (auto* memo = dynamic_cast<TDBMemo*>(control)) {
                if (!memo->isReadOnly())
                    memo->SetTextCp932(TextFor(column.name, memo->accessibleName(), 0));
            } else if (auto* box = dynamic_cast<TDBCheckBox*>(control)) {
                if (!box->isChecked()) box->click();
            } else if (auto* group = dynamic_cast<TDBRadioGroup*>(control)) {
                group->SetItemIndex(column.name == "INV_COMMON" ? 1 : grade++ % group->Count());
            }
        }
    }
    ChooseDate(window, "cmbRegDatePlan", "2006", "4", "1");
    ChooseDate(window, "cmbConDatePlanS", "2006", "5", "10");
    ChooseDate(window, "cmbConDatePlanE", "2007", "3", "20");
    ChooseDate(window, "cmbTechConDatePlanS", "2006", "6", "上旬");
    ChooseDate(window, "cmbTechConDatePlanE", "2006", "11", "下旬");
    ChooseDate(window, "cmbRegDateReport", "2007", "3", "31");
    ChooseDate(window, "cmbConDateChiefS", "2006", "5", "10");
    ChooseDate(window, "cmbConDateChiefE", "2007", "3", "20");
    ChooseDate(window, "cmbTechConDateChiefS", "2006", "6", "5");
    ChooseDate(window, "cmbTechConDateChiefE", "2006", "11", "28");
}

}  // namespace sample_work
