// Work numbers issued by this program: "CYY-XX" followed by a decimal number
// of at least four digits (CYY-XX0001). Numbers taken over by import keep
// whatever form they had and do not count here.
#pragma once

#include <optional>
#include <string>

namespace sarvenu {

// The number of a work number of our own form ("CYY-XX" in any case followed
// only by digits); nothing for any other text.
std::optional<long> ParseWorkNumber(const std::string& workNumber);
// "CYY-XX" + the number with at least four digits.
std::string FormatWorkNumber(long number);

}  // namespace sarvenu
