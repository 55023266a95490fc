// The contents of the main window's header and of its sheet panels: every
// entry, display and label of each survey sheet, laid out on a panel of fixed
// width and of the sheet's fixed height (the window scrolls it through a
// 442-pixel view). Entries bound to survey fields are named by
// records/entry_names.h; every control carries an accessible name made of its
// visible Japanese label, unique within its tab. The window wires the event
// handlers; the builders only create, name, bind and place.
#pragma once

#include <QWidget>
#include <vector>

namespace sarvenu {

class TdmCdsModule;

struct TSheetContext {
    TdmCdsModule& dm;
    bool orderingOffice;
};

inline constexpr int kWindowWidth = 927;
inline constexpr int kWindowHeight = 664;
inline constexpr int kHeaderHeight = 160;
inline constexpr int kSheetPanelWidth = 890;
inline constexpr int kSheetViewHeight = 442;

// One sheet tab: its tab sheet, caption, panel and scroll bar names and the
// panel's height.
struct TSheetDef {
    const char* tab;        // "tsPlan"
    const char* caption;    // UTF-8 "新技術活用等計画書"
    const char* panel;      // "pnlPlan"
    const char* scrollBar;  // "sclPlan"
    int height;             // 902
    void (*build)(QWidget* panel, TSheetContext& context);
};
// The seven sheet tabs in tab order (the preview tab follows them).
const std::vector<TSheetDef>& SheetDefs();

// Header pnlHeader (kWindowWidth x kHeaderHeight): the main record's entries,
// the three code lists and the buttons btnExp and btnImpCon.
void BuildHeader(QWidget* pnlHeader, TSheetContext& context);
void BuildPlanSheet(QWidget* panel, TSheetContext& context);
void BuildReportSheet(QWidget* panel, TSheetContext& context);
void BuildInvAddSheet(QWidget* panel, TSheetContext& context);
void BuildInvAdd2Sheet(QWidget* panel, TSheetContext& context);
void BuildInvSectionSheet(QWidget* panel, TSheetContext& context);
void BuildInvChiefSheet(QWidget* panel, TSheetContext& context);
void BuildInvConSheet(QWidget* panel, TSheetContext& context);

}  // namespace sarvenu
