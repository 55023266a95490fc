// The help text: read line by line (LF or CR LF), every "%" shown as the
// full-width "％" so that the memo never mistakes it for anything else.
#include "shell/help_text.h"

#include <cstdio>
#include <memory>

#include "platform/codepage.h"

namespace sarvenu {

namespace {

// Full-width percent sign in CP932.
const char kFullWidthPercent[] = "\x81\x93";

std::string WithFullWidthPercent(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(line[i]);
        if (platform::IsDBCSLeadByte(byte) && i + 1 < line.size()) {
            out += line.substr(i, 2);
            ++i;
        } else if (byte == '%') {
            out += kFullWidthPercent;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

THelpText ReadHelpText(const std::string& path) {
    THelpText help;
    std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        help.ok = false;
        return help;
    }
    std::string line;
    bool pending = false;  // a line has begun and not yet been added
    char buffer[4096];
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        for (size_t i = 0; i < got; ++i) {
            if (buffer[i] == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                help.lines.push_back(WithFullWidthPercent(line));
                line.clear();
                pending = false;
            } else {
                line += buffer[i];
                pending = true;
            }
        }
        if (got < sizeof buffer) break;
    }
    if (std::ferror(file.get())) {
        help.ok = false;
        return help;
    }
    if (pending) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        help.lines.push_back(WithFullWidthPercent(line));
    }
    return help;
}

}  // namespace sarvenu
