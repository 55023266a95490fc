// Date lists, composing and spreading of stored dates, and the fiscal year.
#include "records/date_entry.h"

#include <charconv>
#include <cstdio>
#include <optional>

#include "platform/codepage.h"

namespace sarvenu {

namespace {

// The whole text as a decimal whole number, or nothing.
std::optional<int> ReadNumber(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end) return std::nullopt;
    return value;
}

int NumberOrZero(const std::string& text) {
    return ReadNumber(text).value_or(0);
}

int DaysInMonth(int year, int month) {
    switch (month) {
        case 1:
        case 3:
        case 5:
        case 7:
        case 8:
        case 10:
        case 12:
            return 31;
        case 4:
        case 6:
        case 9:
        case 11:
            return 30;
        default:
            return IsLeapYear(year) ? 29 : 28;
    }
}

// The period names and the day each one stands for.
struct TPeriodDay {
    const std::string& name;
    int day;
};
const std::vector<TPeriodDay>& PeriodDays() {
    static const std::string first = platform::Utf8ToCp932("上旬"),
                             middle = platform::Utf8ToCp932("中旬"),
                             last = platform::Utf8ToCp932("下旬");
    static const std::vector<TPeriodDay> days = {{first, 1}, {middle, 15}, {last, 28}};
    return days;
}

std::string TwoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

struct TDate {
    int year, month, day;
};

// "yyyy/m/d" with a real calendar day; the year 1 to 9999.
std::optional<TDate> ReadDate(const std::string& text) {
    const size_t first = text.find('/');
    if (first == std::string::npos) return std::nullopt;
    const size_t second = text.find('/', first + 1);
    if (second == std::string::npos) return std::nullopt;
    const auto year = ReadNumber(text.substr(0, first));
    const auto month = ReadNumber(text.substr(first + 1, second - first - 1));
    const auto day = ReadNumber(text.substr(second + 1));
    if (!year || !month || !day) return std::nullopt;
    if (*year < 1 || *year > 9999 || *month < 1 || *month > 12) return std::nullopt;
    if (*day < 1 || *day > DaysInMonth(*year, *month)) return std::nullopt;
    return TDate{*year, *month, *day};
}

}  // namespace

std::vector<std::string> YearItems(int currentYear) {
    std::vector<std::string> items;
    for (int year = 1998; year <= currentYear + 5; ++year) items.push_back(std::to_string(year));
    return items;
}

std::vector<std::string> MonthItems() {
    std::vector<std::string> items;
    for (int month = 1; month <= 12; ++month) items.push_back(std::to_string(month));
    return items;
}

bool IsLeapYear(int year) {
    return year > 0 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

bool DayItems(const std::string& year, const std::string& month, std::vector<std::string>& items) {
    if (year.empty() || month.empty()) return false;
    const int days = DaysInMonth(NumberOrZero(year), NumberOrZero(month));
    items.clear();
    for (int day = 1; day <= days; ++day) items.push_back(std::to_string(day));
    return true;
}

bool LikeDayItems(const std::string& year, const std::string& month,
                  std::vector<std::string>& items) {
    if (year.empty() || month.empty()) return false;
    items.clear();
    for (const TPeriodDay& period : PeriodDays()) items.push_back(period.name);
    return true;
}

// The lists are editable, so anything can be typed into them: a text that
// does not make a calendar date composes to no date rather than to a stored
// text that could never be read back into the lists.
std::string CreDate(const std::string& year, const std::string& month, const std::string& day) {
    std::string dayText = day;
    for (const TPeriodDay& period : PeriodDays())
        if (day == period.name) dayText = std::to_string(period.day);
    if (year.empty() || month.empty() || dayText.empty()) return {};
    const auto y = ReadNumber(year);
    const auto m = ReadNumber(month);
    const auto d = ReadNumber(dayText);
    if (!y || !m || !d || *y < 1 || *y > 9999 || *m < 1 || *m > 12) return {};
    if (*d < 1 || *d > DaysInMonth(*y, *m)) return {};
    return year + "/" + TwoDigits(*m) + "/" + TwoDigits(*d);
}

TDateParts SpreadDate(const std::string& text) {
    const auto date = ReadDate(text);
    if (!date) return {};
    char year[8];
    std::snprintf(year, sizeof year, "%04d", date->year);
    return {year, std::to_string(date->month), std::to_string(date->day)};
}

bool ShowsInLists(const std::string& text) {
    return text.empty() || ReadDate(text).has_value();
}

TDateParts SpreadLikeDate(const std::string& text) {
    TDateParts parts = SpreadDate(text);
    for (const TPeriodDay& period : PeriodDays())
        if (parts.day == std::to_string(period.day)) parts.day = period.name;
    return parts;
}

std::string CreDatePreview(const std::string& year, const std::string& month,
                           const std::string& day) {
    if (year.empty() || month.empty() || day.empty()) return {};
    std::string dayText = day;
    bool period = false;
    for (const TPeriodDay& entry : PeriodDays())
        if (day == entry.name) period = true;
    if (!period) dayText += platform::Utf8ToCp932("日");
    return year + platform::Utf8ToCp932("年") + month + platform::Utf8ToCp932("月") + dayText;
}

std::string NendoPreview(const std::string& year, const std::string& month) {
    if (year.empty() || month.empty()) return {};
    const int m = NumberOrZero(month);
    if (m <= 0 || m > 3) return year;
    // January to March belong to the fiscal year that began the April before.
    const auto y = ReadNumber(year);
    if (!y) return {};
    return std::to_string(*y - 1);
}

std::string FiscalYearOf(const std::string& yearMonth) {
    if (yearMonth.empty()) return {};
    return NendoPreview(yearMonth.substr(0, 4), yearMonth.size() > 4 ? yearMonth.substr(4, 2) : "");
}

std::string NendoText(const std::string& year, const std::string& month) {
    const std::string paddedMonth = PadTwo(month);
    if (year.size() == 4 && paddedMonth.size() == 2) return FiscalYearOf(year + paddedMonth);
    return {};
}

std::string PadTwo(const std::string& text) {
    return text.size() == 1 ? "0" + text : text;
}

}  // namespace sarvenu
