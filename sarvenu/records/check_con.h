// Module CheckCon: the entry checks run before a save (the work name) and
// before a submission file is written (every sheet that goes into it). Each
// driver runs its rules in order and stops at the first that fails: the host
// shows the rule's message and brings the failing entry into view (its tab,
// the sheet's scroll position, the focus). Entries are addressed by object
// name (records/entry_names.h, date entries by their base name such as
// "cmbConDatePlanS"); texts are code page 932.
#pragma once

#include <string>

#include "records/schema.h"

namespace sarvenu {

// What a failing rule reports.
struct TCheckFailure {
    std::string message;    // CP932
    std::string tab;        // "tsPlan" ...; empty for header rules
    std::string scrollBar;  // "sclPlan" ...; empty for header rules
    int scroll = 0;         // scroll position that brings the entry into view
    std::string focus;      // object name of the control to focus
};

// The screen as the checks see it. Entries that do not exist in the current
// mode read as empty, unticked and unanswered.
class TCheckHost {
  public:
    // The text an entry or a code list shows.
    virtual std::string EntryText(const std::string& objectName) = 0;
    // The date composed from the three lists of a date entry (empty when incomplete).
    virtual std::string DateText(const std::string& baseName) = 0;
    virtual bool Ticked(const std::string& objectName) = 0;
    // A radio group has a value.
    virtual bool Answered(const std::string& objectName) = 0;
    // The sheet's Ⅰ経済性 entries are enabled (section chief or contractor).
    virtual bool CostEntriesEnabled(TTableId sheet) = 0;
    // Shows the error message box, then switches tab, scrolls and focuses.
    virtual void ShowCheckFailure(const TCheckFailure& failure) = 0;

  protected:
    ~TCheckHost() = default;
};

bool CheckBeforeSave(TCheckHost& host);    // H1
bool CheckMainItems(TCheckHost& host);     // H1-H5
bool CheckPlanSheet(TCheckHost& host);     // P1-P14
bool CheckReportSheet(TCheckHost& host);   // R1
bool CheckSectionSheet(TCheckHost& host);  // S1-S6
bool CheckChiefSheet(TCheckHost& host);    // C1-C17
bool CheckConSheet(TCheckHost& host);      // K1-K22

// Both composed texts without "/" as numbers: false only when both are
// non-empty and end < start.
bool DateNotBefore(const std::string& start, const std::string& end);

// The steps the sheet drivers are made of. Each step tests one rule and, when
// it fails, reports the failure to the host and returns false, so a driver
// chains its steps with && and stops at the first failing one. Messages are
// given in UTF-8 and reported in code page 932.
class TCheckRules {
  public:
    // tab and scrollBar are empty for the header above the tabs.
    TCheckRules(TCheckHost& host, std::string tab, std::string scrollBar);

    // The entry (one-line, multi-line or code list) shows a text.
    bool Filled(const std::string& entry, const char* message, int scroll);
    // The date entry composes to a date; the focus goes to its year list.
    bool DateFilled(const std::string& base, const char* message, int scroll);
    // The end date is not before the start date; the focus goes to the end's
    // year list.
    bool DateOrder(const std::string& startBase, const std::string& endBase, const char* message,
                   int scroll);
    // The fixed questions of an aspect ("QUALITY" ...) are answered, the focus
    // going to the first that is not; then the aspect's result is filled.
    bool Graded(TTableId sheet, const std::string& aspect, const char* gradeMessage,
                int gradeScroll, const char* resultMessage, int resultScroll);
    // The three further items of Ⅶその他: a ticked item needs its content and
    // its comment; any ticked item needs the group's result.
    bool OtherItems(TTableId sheet, const int (&itemScrolls)[3], int resultScroll);
    // Reports a failure with the focus on the entry; always false.
    bool Fail(const std::string& focus, const char* message, int scroll);

  private:
    TCheckHost& host_;
    std::string tab_;
    std::string scrollBar_;
};

}  // namespace sarvenu
