// Date and fiscal-year entry: the items of the year, month and day lists of
// a date entry, composing a stored date text from the three list texts and
// spreading one over them, the report forms of a date and the fiscal year
// (April to March). Pure functions over code page 932 texts; the window's
// handlers call them.
#pragma once

#include <string>
#include <vector>

namespace sarvenu {

// "1998" .. (currentYear + 5).
std::vector<std::string> YearItems(int currentYear);
// "1" .. "12".
std::vector<std::string> MonthItems();
// True when the year is positive, divisible by 4 and not by 100 unless by 400.
bool IsLeapYear(int year);
// "1" .. N for the month, or nothing (the list keeps its items) unless both
// texts are non-empty. Texts that are not numbers convert as 0.
bool DayItems(const std::string& year, const std::string& month, std::vector<std::string>& items);
// "上旬", "中旬", "下旬" under the same condition.
bool LikeDayItems(const std::string& year, const std::string& month,
                  std::vector<std::string>& items);

// CreDate: y + "/" + mm + "/" + dd with two-digit month and day; 上旬/中旬/下旬
// count as 1, 15, 28; empty when any text is empty.
std::string CreDate(const std::string& year, const std::string& month, const std::string& day);

struct TDateParts {
    std::string year, month, day;
};
// SetDateCmb: "2006/04/01" -> "2006", "4", "1"; empty text -> three empty
// texts. A text that does not read as a date gives three empty texts.
TDateParts SpreadDate(const std::string& text);
// True when the lists can show a stored date text: the empty text or a
// calendar date ("2006/02/30" and "2006-04-01" cannot be shown).
bool ShowsInLists(const std::string& text);
// SetLikeDateCmb: as SpreadDate with day 1 -> 上旬, 15 -> 中旬, 28 -> 下旬; any
// other day is shown as its number.
TDateParts SpreadLikeDate(const std::string& text);

// CreDatePreview: 2006年4月1日, 2006年10月中旬; empty unless all three are non-empty.
std::string CreDatePreview(const std::string& year, const std::string& month,
                           const std::string& day);
// NendoPreview: empty if either text is empty; else the year for months
// <= 0 or > 3, the year minus 1 for months 1-3.
std::string NendoPreview(const std::string& year, const std::string& month);
// FiscalYearOf("200703") -> "2006"; empty for the empty text.
std::string FiscalYearOf(const std::string& yearMonth);
// SetNendo's text: one-digit month padded; FiscalYearOf(year + month) when
// the year has four characters and the month two, else empty.
std::string NendoText(const std::string& year, const std::string& month);
// SetDateChief's label text: one-character texts get a leading "0".
std::string PadTwo(const std::string& text);

}  // namespace sarvenu
