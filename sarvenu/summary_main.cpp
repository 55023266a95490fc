// sarvenu-summary: the per-technology summary of all works written as a CSV
// file, without a window. The source is an installation (its stored survey
// tables) or a folder of submission files; files that cannot be read are
// listed at the end with the import's messages. Exit status: 0 when every
// file was read, 2 when some could not be (the others are in the CSV), 1 for
// a wrong command line, an unreadable source or an unwritable output.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "exchange/summary_files.h"
#include "platform/codepage.h"
#include "platform/library.h"
#include "records/manage_version.h"
#include "records/settings.h"
#include "report/summary.h"
#include "report/summary_export.h"

namespace {

using namespace sarvenu;

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kSomeFilesUnread = 2;

const char* const kUsage =
    "Usage: sarvenu-summary SOURCE --csv OUT.csv [--settings INSTALLATION]\n"
    "\n"
    "Writes the summary across works (one row per technology) as a CSV file.\n"
    "SOURCE is an installation directory (one holding ini/SystemInfo.ini), whose\n"
    "stored survey tables are read, or a folder of submission files (*.lzh), each\n"
    "checked as an import checks it.\n"
    "\n"
    "Submission files are checked against the program version APP_VERSION of the\n"
    "settings beside this executable, or of the installation named by --settings.\n"
    "\n"
    "Exit status: 0 all read, 2 some files could not be read (the others are\n"
    "summarised), 1 wrong command line, unreadable source or unwritable output.\n";

struct TArguments {
    std::string source;
    std::string csv;
    std::string settings;
    bool help = false;
};

// False with a message when the command line is wrong.
bool ParseArguments(int argc, char** argv, TArguments* args, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](const std::string& option, std::string* into) {
            if (arg.rfind(option + "=", 0) == 0) {
                *into = arg.substr(option.size() + 1);
                return true;
            }
            if (arg != option) return false;
            if (i + 1 >= argc) {
                *error = option + " needs a value";
                return true;
            }
            *into = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            args->help = true;
        } else if (value("--csv", &args->csv) || value("--settings", &args->settings)) {
            if (!error->empty()) return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            *error = "unknown option " + arg;
            return false;
        } else if (args->source.empty()) {
            args->source = arg;
        } else {
            *error = "more than one source: " + args->source + ", " + arg;
            return false;
        }
    }
    if (args->help) return true;
    if (args->source.empty())
        *error = "no source given";
    else if (args->csv.empty())
        *error = "no output given (--csv OUT.csv)";
    return error->empty();
}

// A CP932 message for the terminal: UTF-8, each line after the first indented.
std::string ForTerminal(const std::string& cp932, const std::string& indent) {
    std::string text;
    for (char c : platform::Cp932ToUtf8(cp932)) {
        if (c == '\r') continue;
        text += c;
        if (c == '\n') text += indent;
    }
    return text;
}

// The progress line, rewritten in place; only on a terminal, where it is
// wiped again at the end.
class TProgressLine {
  public:
    TProgressLine() : shown_(isatty(STDERR_FILENO) != 0) {}
    ~TProgressLine() { Clear(); }
    TProgressLine(const TProgressLine&) = delete;
    TProgressLine& operator=(const TProgressLine&) = delete;

    void Show(size_t position, size_t total, const std::string& file) {
        if (!shown_) return;
        const std::string line = std::to_string(position) + "/" + std::to_string(total) + " " +
                                 std::filesystem::path(file).filename().string();
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
        std::fflush(stderr);
        written_ = true;
    }
    void Clear() {
        if (!written_) return;
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        written_ = false;
    }

  private:
    bool shown_;
    bool written_ = false;
};

int Run(const TArguments& args) {
    std::error_code error;
    if (!std::filesystem::is_directory(args.source, error)) {
        std::cerr << "sarvenu-summary: " << args.source
                  << ": not a directory (give an installation or a folder of *.lzh files)\n";
        return kFailed;
    }

    TSummaryFiles read;
    {
        TProgressLine progress;
        const TSummaryProgress show = [&progress](size_t position, size_t total,
                                                  const std::string& file) {
            progress.Show(position, total, file);
        };
        if (IsInstallation(args.source)) {
            read = SummariseInstallation(args.source, show);
        } else {
            if (SubmissionFilesIn(args.source).empty()) {
                std::cerr << "sarvenu-summary: " << args.source
                          << ": neither an installation (ini/SystemInfo.ini) nor a folder "
                             "holding submission files (*.lzh)\n";
                return kFailed;
            }
            std::string settings =
                args.settings.empty() ? platform::ExecutableDirectory() : args.settings;
            if (settings.back() != '/') settings += '/';
            const std::string version = GetAppVersionNumber(settings);
            if (version.empty()) {
                std::cerr << "sarvenu-summary: the program version is unknown: no APP_VERSION in "
                          << SettingsPath(settings)
                          << "\nRun the copy in an installation, or name one with --settings.\n";
                return kFailed;
            }
            read = SummariseFolder(args.source, version, show);
        }
    }

    const std::vector<TSummaryRow> rows = BuildSummary(read.works, TSummaryFilter{});
    std::string writeError;
    if (!WriteSummaryCsv(rows, args.csv, &writeError)) {
        std::cerr << "sarvenu-summary: " << args.csv << ": " << ForTerminal(writeError, "  ")
                  << "\n";
        return kFailed;
    }

    for (const TSummaryFileNote& note : read.notices)
        std::cerr << "Note: " << note.file << "\n  " << ForTerminal(note.reason, "  ") << "\n";
    if (!read.failures.empty()) {
        std::cerr << "Not summarised, " << read.failures.size()
                  << (read.failures.size() == 1 ? " file" : " files") << " could not be read:\n";
        for (const TSummaryFileNote& failure : read.failures)
            std::cerr << "  " << failure.file << "\n    " << ForTerminal(failure.reason, "    ")
                      << "\n";
    }
    std::cout << read.works.size() << (read.works.size() == 1 ? " work, " : " works, ")
              << rows.size() << (rows.size() == 1 ? " technology" : " technologies")
              << " written to " << args.csv << "\n";
    return read.failures.empty() ? kDone : kSomeFilesUnread;
}

}  // namespace

int main(int argc, char** argv) {
    TArguments args;
    std::string error;
    if (!ParseArguments(argc, argv, &args, &error)) {
        std::cerr << "sarvenu-summary: " << error << "\n\n" << kUsage;
        return kFailed;
    }
    if (args.help) {
        std::cout << kUsage;
        return kDone;
    }
    try {
        return Run(args);
    } catch (const std::exception& e) {
        // Every message of the program's layers is CP932.
        std::cerr << "sarvenu-summary: " << ForTerminal(e.what(), "  ") << "\n";
        return kFailed;
    }
}
