// The rule steps shared by the sheet drivers, and the date order test.
#include <charconv>
#include <utility>

#include "platform/codepage.h"
#include "records/check_con.h"
#include "records/entry_names.h"

namespace sarvenu {

namespace {

std::string WithoutSlashes(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c != '/') digits += c;
    return digits;
}

bool ReadNumber(const std::string& text, long long& value) {
    const char* end = text.data() + text.size();
    auto [last, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && last == end;
}

}  // namespace

bool DateNotBefore(const std::string& start, const std::string& end) {
    const std::string from = WithoutSlashes(start);
    const std::string to = WithoutSlashes(end);
    if (from.empty() || to.empty()) return true;
    long long fromValue = 0, toValue = 0;
    // Composed dates are always numbers; anything else cannot be said to
    // contradict and is left to the filled checks.
    if (!ReadNumber(from, fromValue) || !ReadNumber(to, toValue)) return true;
    return toValue >= fromValue;
}

TCheckRules::TCheckRules(TCheckHost& host, std::string tab, std::string scrollBar)
    : host_(host), tab_(std::move(tab)), scrollBar_(std::move(scrollBar)) {}

bool TCheckRules::Fail(const std::string& focus, const char* message, int scroll) {
    TCheckFailure failure;
    failure.message = platform::Utf8ToCp932(message);
    failure.tab = tab_;
    failure.scrollBar = scrollBar_;
    failure.scroll = tab_.empty() ? 0 : scroll;
    failure.focus = focus;
    host_.ShowCheckFailure(failure);
    return false;
}

bool TCheckRules::Filled(const std::string& entry, const char* message, int scroll) {
    return !host_.EntryText(entry).empty() || Fail(entry, message, scroll);
}

bool TCheckRules::DateFilled(const std::string& base, const char* message, int scroll) {
    return !host_.DateText(base).empty() || Fail(base + "_Year", message, scroll);
}

bool TCheckRules::DateOrder(const std::string& startBase, const std::string& endBase,
                            const char* message, int scroll) {
    return DateNotBefore(host_.DateText(startBase), host_.DateText(endBase)) ||
           Fail(endBase + "_Year", message, scroll);
}

bool TCheckRules::Graded(TTableId sheet, const std::string& aspect, const char* gradeMessage,
                         int gradeScroll, const char* resultMessage, int resultScroll) {
    int fixed = 0;
    for (const TAspect& known : Aspects())
        if (aspect == known.name) fixed = known.fixedQuestions;
    // Only the fixed questions count; the two optional ones that follow never do.
    for (int i = 1; i <= fixed; ++i) {
        const std::string group =
            EntryName(sheet, "INV_" + aspect + "_EVAL_POINT" + std::to_string(i));
        if (!host_.Answered(group)) return Fail(group, gradeMessage, gradeScroll);
    }
    return Filled(EntryName(sheet, "INV_" + aspect + "_RESULT"), resultMessage, resultScroll);
}

bool TCheckRules::OtherItems(TTableId sheet, const int (&itemScrolls)[3], int resultScroll) {
    bool anyTicked = false;
    for (int k = 1; k <= 3; ++k) {
        const std::string item = std::to_string(k);
        if (!host_.Ticked(EntryName(sheet, "INV_OTHER_YN" + item))) continue;
        anyTicked = true;
        const int scroll = itemScrolls[k - 1];
        if (!Filled(EntryName(sheet, "INV_OTHER_CONTENT" + item),
                    "Ⅶその他-その他-（　）内を入力してください。", scroll) ||
            !Filled(EntryName(sheet, "INV_OTHER_NOTE" + item),
                    "Ⅶその他-その他-文章を入力してください。", scroll))
            return false;
    }
    return !anyTicked || Filled(EntryName(sheet, "INV_OTHER_RESULT"),
                                "Ⅶその他-調査結果を入力してください。", resultScroll);
}

}  // namespace sarvenu
