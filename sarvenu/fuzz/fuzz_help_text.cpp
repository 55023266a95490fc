// Fuzz target: arbitrary bytes as the help text file. Every line break (LF,
// with an optional CR before it) ends a line, a last line without a break
// still counts, no line keeps a break, and no "%" stays a single byte: each
// became the two-byte full-width sign.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/codepage.h"
#include "shell/help_text.h"

#include "fuzz_support.h"

namespace {

using namespace fuzz_support;

struct THelpFile {
    std::string dir, path;

    THelpFile() {
        dir = MakeTempDirectory("fuzz_help");
        path = dir + "help.txt";
    }
    ~THelpFile() {
        std::remove(path.c_str());
        rmdir(dir.c_str());
    }
};

// Checks one line, walking it by characters as the reader does.
void CheckLine(const std::string& line) {
    for (size_t i = 0; i < line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        Require(c != '\n');
        if (platform::IsDBCSLeadByte(c) && i + 1 < line.size()) {
            ++i;
            continue;
        }
        Require(c != '%');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static THelpFile file;
    WriteFile(file.path, data, size);

    const sarvenu::THelpText help = sarvenu::ReadHelpText(file.path);
    Require(help.ok);
    size_t breaks = 0, percents = 0;
    for (size_t i = 0; i < size; ++i) {
        breaks += data[i] == '\n';
        percents += data[i] == '%';
    }
    const bool trailing = size > 0 && data[size - 1] != '\n';
    Require(help.lines.size() == breaks + (trailing ? 1 : 0));
    size_t bytes = 0;
    for (const std::string& line : help.lines) {
        CheckLine(line);
        bytes += line.size();
    }
    // Breaks and CRs go, each "%" grows by one byte, nothing else changes size.
    Require(bytes + breaks + help.lines.size() >= size);
    Require(bytes + breaks <= size + percents);
    return 0;
}
