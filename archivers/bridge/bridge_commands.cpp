// Parsing of the ZIP, CAB and TAR command lines.
#include "bridge/bridge_commands.h"

#include <vector>

#include "bridge/libarchive_bridge.h"
#include "common/command_line.h"
#include "common/result_codes.h"

namespace bridge {
namespace {

struct Operands {
    std::string archive;
    std::string directory = "./";
    std::vector<std::string> files;
};

// ARCHIVE [DIR/] [FILE...] of the ZIP and CAB form.
Operands ZipOperands(const archivers::CommandLine& line) {
    Operands o;
    bool haveDirectory = false;
    for (size_t i = 0; i < line.arguments.size(); ++i) {
        if (i == 0)
            o.archive = line.arguments[i];
        else if (!haveDirectory && archivers::EndsWithSeparator(line.arguments[i])) {
            o.directory = line.arguments[i];
            haveDirectory = true;
        } else {
            o.files.push_back(line.arguments[i]);
        }
    }
    return o;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

int NoArchive(std::string* message) {
    *message = "no archive named";
    return archivers::kResultBadCommand;
}

}  // namespace

int RunZipCommand(std::string_view text, bool packingAllowed, bool extractionAllowed,
                  std::string* message) {
    const archivers::CommandLine line = archivers::ParseCommandLine(text);
    const Operands o = ZipOperands(line);
    const bool extract = line.command == "-x";
    const bool pack = line.command == "-ru" || line.command == "-a";
    if ((extract && !extractionAllowed) || (pack && !packingAllowed)) {
        *message = "command not offered by this library: " + line.command;
        return archivers::kResultUnsupportedCommand;
    }
    if (!extract && !pack) {
        *message = "unknown command: " + line.command;
        return archivers::kResultBadCommand;
    }
    if (o.archive.empty()) return NoArchive(message);
    if (extract) return Extract(Family::kZip, o.archive, o.directory, o.files, message);
    return Pack(PackFormat::kZip, o.archive, o.files, message);
}

int RunCabCommand(std::string_view text, std::string* message) {
    const archivers::CommandLine line = archivers::ParseCommandLine(text);
    const Operands o = ZipOperands(line);
    if (line.command == "-a" || line.command == "-f") {
        *message = "this library does not write CAB archives";
        return archivers::kResultUnsupportedCommand;
    }
    if (line.command != "-x") {
        *message = "unknown command: " + line.command;
        return archivers::kResultBadCommand;
    }
    if (o.archive.empty()) return NoArchive(message);
    return Extract(Family::kCab, o.archive, o.directory, o.files, message);
}

int RunTarCommand(std::string_view text, std::string* message) {
    const std::vector<std::string> words = archivers::SplitCommandWords(text);
    if (words.empty()) return NoArchive(message);
    Operands o;
    bool gzip = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "-f" && i + 1 < words.size())
            o.archive = words[++i];
        else if (w == "-o" && i + 1 < words.size())
            o.directory = words[++i];
        else if (w.rfind("-z", 0) == 0)
            gzip = true;
        else if (!w.empty() && w[0] == '-')
            continue;
        else
            o.files.push_back(w);
    }
    if (o.archive.empty()) return NoArchive(message);
    if (!archivers::EndsWithSeparator(o.directory)) o.directory += '/';
    for (const char* suffix : {".gz", ".tgz", ".taz", ".z"})
        if (EndsWithNoCase(o.archive, suffix)) gzip = true;
    if (words[0] == "x") return Extract(Family::kTar, o.archive, o.directory, o.files, message);
    if (words[0] == "c")
        return Pack(gzip ? PackFormat::kTarGzip : PackFormat::kTar, o.archive, o.files, message);
    *message = "unknown command: " + words[0];
    return archivers::kResultBadCommand;
}

}  // namespace bridge
