// Reading the help text file: no windows here, so that tools and the fuzz
// build can use it without Qt.
#pragma once

#include <string>
#include <vector>

namespace sarvenu {

// The lines of a CP932 help file with every "%" replaced by "％", in CP932.
// ok is false when the file could not be opened or read; lines read before
// a failure are kept.
struct THelpText {
    std::vector<std::string> lines;
    bool ok = true;
};
THelpText ReadHelpText(const std::string& path);

}  // namespace sarvenu
