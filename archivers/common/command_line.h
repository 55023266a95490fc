// Command lines the archiver libraries receive: words separated by spaces,
// where double quotes group a word that holds spaces (a quote may open in the
// middle of a word, as in "-wC:/dir/"). The first word is the command; words
// starting with "-" are switches, the others plain arguments in their order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace archivers {

// The words of a line with their quotes removed. An unclosed quote runs to
// the end of the line. Empty quoted words ("") are kept as empty words.
std::vector<std::string> SplitCommandWords(std::string_view line);

struct CommandLine {
    std::string command;
    std::vector<std::string> switches;   // with their leading "-"
    std::vector<std::string> arguments;  // paths and file patterns, in order
};

// Splits a line into command, switches and arguments.
CommandLine ParseCommandLine(std::string_view line);

// The decimal value of a switch "-<name><digits>" among the switches, or
// fallback when it is absent or not a number.
int SwitchValue(const std::vector<std::string>& switches, std::string_view name, int fallback);

// True when a path names a directory by its form: it ends in "/".
bool EndsWithSeparator(std::string_view path);

}  // namespace archivers
