#include "records/picture_names.h"

#include <strings.h>

#include <cctype>

namespace sarvenu {

bool MatchPictureName(const std::string& fileName, const std::string& workNumber,
                      TPictureName* out) {
    if (workNumber.empty()) return false;
    TPictureName name;
    size_t at = 0;
    if (!fileName.empty() && fileName[0] == '_') {
        name.pending = true;
        at = 1;
    }
    if (fileName.size() < at + workNumber.size() + 2) return false;
    if (strncasecmp(fileName.c_str() + at, workNumber.c_str(), workNumber.size()) != 0)
        return false;
    at += workNumber.size();
    const char slot = static_cast<char>(std::toupper(static_cast<unsigned char>(fileName[at])));
    if (slot != 'A' && slot != 'B' && slot != 'C') return false;
    if (fileName[at + 1] != '.' || fileName.find('.', at + 2) != std::string::npos) return false;
    name.slot = slot;
    if (out) *out = name;
    return true;
}

std::string FileNamePart(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool SameFileName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

}  // namespace sarvenu
