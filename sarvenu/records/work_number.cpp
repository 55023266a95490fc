#include "records/work_number.h"

#include <cctype>
#include <cstdio>

namespace sarvenu {

namespace {
constexpr const char kPrefix[] = "CYY-XX";
constexpr size_t kPrefixLength = 6;
// More digits than this cannot come from our own numbering.
constexpr size_t kMaxDigits = 9;
}  // namespace

std::optional<long> ParseWorkNumber(const std::string& workNumber) {
    if (workNumber.size() <= kPrefixLength) return std::nullopt;
    for (size_t i = 0; i < kPrefixLength; ++i)
        if (std::toupper(static_cast<unsigned char>(workNumber[i])) != kPrefix[i])
            return std::nullopt;
    // The whole rest must be digits: a number of five or more digits counts
    // in full, so that numbers stay unique past 9999.
    const std::string digits = workNumber.substr(kPrefixLength);
    if (digits.size() > kMaxDigits) return std::nullopt;
    long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string FormatWorkNumber(long number) {
    char text[32];
    std::snprintf(text, sizeof text, "CYY-XX%4.4ld", number);
    return text;
}

}  // namespace sarvenu
