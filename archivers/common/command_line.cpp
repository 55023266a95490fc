// Splitting of archiver command lines into words, switches and arguments.
#include "common/command_line.h"

#include <cstdlib>

namespace archivers {

std::vector<std::string> SplitCommandWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
            continue;
        }
        if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        word += c;
        inWord = true;
    }
    if (inWord) words.push_back(word);
    return words;
}

CommandLine ParseCommandLine(std::string_view line) {
    CommandLine parsed;
    std::vector<std::string> words = SplitCommandWords(line);
    for (size_t i = 0; i < words.size(); ++i) {
        if (i == 0)
            parsed.command = words[i];
        else if (!words[i].empty() && words[i][0] == '-')
            parsed.switches.push_back(words[i]);
        else
            parsed.arguments.push_back(words[i]);
    }
    return parsed;
}

int SwitchValue(const std::vector<std::string>& switches, std::string_view name, int fallback) {
    int value = fallback;
    for (const std::string& s : switches) {
        if (s.size() <= name.size() + 1 || s.compare(1, name.size(), name) != 0) continue;
        std::string digits = s.substr(name.size() + 1);
        bool numeric = !digits.empty();
        for (char c : digits)
            if (c < '0' || c > '9') numeric = false;
        if (numeric && digits.size() < 9) value = std::atoi(digits.c_str());
    }
    return value;
}

bool EndsWithSeparator(std::string_view path) {
    return !path.empty() && path.back() == '/';
}

}  // namespace archivers
