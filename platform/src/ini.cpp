// INI reading with the Windows semantics: "[section]" headers and "key=value"
// lines, both names matched without regard to ASCII case and trimmed of blanks;
// lines starting with ';' are comments; the first matching section and the
// first matching key in it win; a value enclosed in matching single or double
// quotation marks loses them; a missing file, section or key reads as the
// default, whose trailing blanks are dropped as Windows does. Values are bytes
// (code page 932); case folding skips the second byte of a double-byte
// character so that two different Japanese names never match.
#include "platform/ini.h"

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string_view>

#include "platform/codepage.h"

namespace platform {
namespace {

std::string_view Trim(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        if (IsDBCSLeadByte(ca) && i + 1 < a.size()) {
            // Compare the double-byte character exactly.
            if (ca != cb || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (fold(ca) != fold(cb)) return false;
    }
    return true;
}

// Finds the value; false when the file, the section or the key is missing.
bool Lookup(const std::string& section, const std::string& key, const std::string& path,
            std::string* value) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::string_view wantedSection = Trim(section), wantedKey = Trim(key);
    bool inSection = false, sectionSeen = false;
    std::string line;
    bool first = true;
    while (std::getline(file, line)) {
        std::string_view text = line;
        if (first && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        first = false;
        text = Trim(text);
        if (text.empty() || text.front() == ';') continue;
        if (text.front() == '[') {
            if (inSection) return false;  // only the first section of that name counts
            size_t close = text.find(']');
            std::string_view name =
                Trim(text.substr(1, close == std::string_view::npos ? text.size() - 1 : close - 1));
            inSection = !sectionSeen && EqualNoCase(name, wantedSection);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection) continue;
        size_t equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        if (!EqualNoCase(Trim(text.substr(0, equals)), wantedKey)) continue;
        std::string_view found = Trim(text.substr(equals + 1));
        if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') &&
            found.back() == found.front())
            found = found.substr(1, found.size() - 2);
        value->assign(found);
        return true;
    }
    return false;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path) {
    std::string value;
    if (Lookup(section, key, path, &value)) return value;
    std::string_view fallback = defaultValue;
    while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t'))
        fallback.remove_suffix(1);
    return std::string(fallback);
}

int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path) {
    std::string value;
    if (!Lookup(section, key, path, &value) || value.empty()) return defaultValue;
    // Windows reads a leading integer: optional sign, then decimal digits or
    // "0x" and hexadecimal digits, stopping at the first other character; a
    // text without digits reads as 0.
    std::string_view text = value;
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint32_t result = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            break;
        if (digit >= base) break;
        result = result * base + digit;  // wraps like the Windows conversion
    }
    if (negative) result = 0u - result;
    return static_cast<int>(result);
}

}  // namespace platform
