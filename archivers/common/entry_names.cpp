// Bare names of archive entries and wildcard matching.
#include "common/entry_names.h"

#include "platform/codepage.h"

namespace archivers {
namespace {

char Fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool Match(std::string_view p, std::string_view n) {
    // Iterative matcher with one back-tracking point for the last "*".
    size_t pi = 0, ni = 0, starP = std::string_view::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (pi < p.size() && (p[pi] == '?' || Fold(p[pi]) == Fold(n[ni]))) {
            ++pi;
            ++ni;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t extra;
        if (c < 0x80)
            extra = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            extra = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            extra = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            extra = 3;
        else
            return false;
        if (extra > bytes.size() - i - 1) return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
        if (extra >= 2) {
            unsigned char t = static_cast<unsigned char>(bytes[i + 1]);
            if (c == 0xE0 && t < 0xA0) return false;  // overlong
            if (c == 0xED && t > 0x9F) return false;  // surrogates
            if (c == 0xF0 && t < 0x90) return false;  // overlong
            if (c == 0xF4 && t > 0x8F) return false;  // beyond U+10FFFF
        }
        i += extra + 1;
    }
    return true;
}

std::string BareEntryName(std::string_view stored, NameCoding coding) {
    // A NUL ends the name whatever follows it.
    size_t nul = stored.find('\0');
    if (nul != std::string_view::npos) stored = stored.substr(0, nul);
    std::string decoded;
    if (coding == NameCoding::kUtf8OrCp932 && IsValidUtf8(stored))
        decoded = std::string(stored);
    else
        decoded = platform::Cp932ToUtf8(stored);
    size_t cut = decoded.find_last_of("/\\:");
    std::string bare = cut == std::string::npos ? decoded : decoded.substr(cut + 1);
    if (bare == "." || bare == "..") return {};
    return bare;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") return true;
    return Match(pattern, name);
}

}  // namespace archivers
