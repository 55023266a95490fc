// Module Calculation: reading and writing number texts.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/codepage.h"
#include "report/calculation.h"

namespace sarvenu {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigitValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Checks the grammar of a plain number; from_chars alone would also take
// "inf", "nan" and hexadecimal floats.
bool IsPlainNumber(const std::string& text) {
    size_t i = 0;
    const size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        size_t exponentDigits = 0;
        while (i < n && IsDigit(text[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return i == n;
}

// Parses the whole-number grammar of IsWholeNumber into a 64-bit value with a
// saturating magnitude, so that the range check can be done afterwards.
bool ParseWholeNumber(const std::string& text, int64_t* value) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < n && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    const int64_t limit = int64_t{1} << 40;  // far beyond 32 bits; stops growth
    int64_t magnitude = 0;
    size_t digits = 0;
    for (; i < n; ++i, ++digits) {
        const int d = base == 16 ? HexDigitValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (d < 0) return false;
        if (magnitude < limit) magnitude = magnitude * base + d;
    }
    if (digits == 0) return false;
    *value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

std::string NumberErrorMessage() {
    return platform::Utf8ToCp932("入力された数値に誤りがあります。");
}

bool ParseNumber(const std::string& text, double* value) {
    if (!IsPlainNumber(text)) return false;
    const char* first = text.data();
    const char* last = first + text.size();
    if (*first == '+') ++first;
    double parsed = 0;
    const auto [end, error] = std::from_chars(first, last, parsed, std::chars_format::general);
    if (error != std::errc() || end != last || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

std::string NumberText(double value) {
    if (!std::isfinite(value)) return "";
    if (value == 0) return "0";  // also turns -0 into "0"
    char buffer[40];
    // Whole numbers below 10^15 print as their digits; the rest in the
    // general form with 15 significant digits (as printf's %.15G).
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        const auto [end, error] =
            std::to_chars(buffer, buffer + sizeof buffer, static_cast<int64_t>(value));
        if (error == std::errc()) return std::string(buffer, end);
    }
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    if (error != std::errc()) return "";
    std::string text(buffer, end);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c == 'e' ? 'E' : c; });
    // Exponent without "+" and without leading zeros: "1E-5", "1.5E20".
    const size_t e = text.find('E');
    if (e != std::string::npos) {
        std::string mantissa = text.substr(0, e);
        std::string exponent = text.substr(e + 1);
        const bool negative = !exponent.empty() && exponent[0] == '-';
        if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) exponent.erase(0, 1);
        exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
        text = mantissa + "E" + (negative ? "-" : "") + exponent;
    }
    return text;
}

bool IsWholeNumber(const std::string& text) {
    int64_t value = 0;
    return ParseWholeNumber(text, &value) && value >= INT32_MIN && value <= INT32_MAX;
}

std::string FormatAmount(const std::string& text) {
    int64_t value = 0;
    if (!ParseWholeNumber(text, &value) || value < INT32_MIN || value > INT32_MAX) return text;
    const std::string digits = std::to_string(value < 0 ? -value : value);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return value < 0 ? "-" + grouped : grouped;
}

}  // namespace sarvenu
