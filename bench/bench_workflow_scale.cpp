// The record workflow at scale, through the real main window: installations
// of 0, 1,000, 10,000 and 50,000 works (or the sizes given), and per size the
// wall-clock time of each user action from start-up to closing, compared
// with the empty installation.
//
// Usage: bench_workflow_scale [options] [works ...]
//   --limit SECONDS      stop a run whose action takes longer (default 60)
//   --runs N             runs per size for the median (default 3)
//   --repeat-below SEC   repeat a size only when its first run's actions took
//                        less than this together (default 30)
//   --keep               keep the temporary installations
// Each run is a process of its own over a fresh copy of the installation,
// which is built once per size, outside the timing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "workflow_scale_installation.h"
#include "workflow_scale_runner.h"
#include "workflow_scale_session.h"

namespace fs = std::filesystem;
using namespace workflow_scale;

namespace {

using Clock = std::chrono::steady_clock;

struct TOptions {
    std::vector<long> sizes;
    double limit = 60;
    int runs = 3;
    double repeatBelow = 30;
    bool keep = false;
};

// The result of one action at one size over its runs.
struct TActionResult {
    TStatus status = TStatus::NotRun;
    double seconds = 0;  // median of the runs that measured it
    int runs = 0;
    std::string text;
};

struct TSizeResult {
    long works = 0;
    std::vector<TActionResult> actions = std::vector<TActionResult>(kActionCount);
    std::vector<std::string> notes;
    int runs = 0;
};

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Columns on a terminal: East Asian wide characters take two.
int DisplayWidth(const std::string& utf8) {
    int width = 0;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (int k = 1; k < length && i + k < utf8.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        const bool wide =
            (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
            (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
            (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
            (code >= 0xFFE0 && code <= 0xFFE6);
        width += wide ? 2 : 1;
        i += static_cast<size_t>(length);
    }
    return width;
}

std::string Pad(const std::string& text, int width) {
    return text + std::string(static_cast<size_t>(std::max(0, width - DisplayWidth(text))), ' ');
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Works(long works) {
    std::string digits = std::to_string(works);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

std::string Label(int action) {
    return std::to_string(action + 1) + ". " + ActionLabels()[static_cast<size_t>(action)];
}

bool Measured(const TActionResult& result) {
    return result.status == TStatus::Ok || result.status == TStatus::Failed;
}

// The time shown for a result: the median, or why there is none.
std::string TimeText(const TActionResult& result, double limit) {
    switch (result.status) {
        case TStatus::Ok:
        case TStatus::Failed:
            return Format("%.3f s", result.seconds);
        case TStatus::Stopped:
            return "> " + Format("%g s", limit);
        case TStatus::Crashed:
            return "crashed";
        case TStatus::NotRun:
            break;
    }
    return "not run";
}

// How bad an outcome is; the worst of the runs is the one shown.
int Severity(TStatus status) {
    switch (status) {
        case TStatus::Ok:
            return 0;
        case TStatus::NotRun:
            return 1;
        case TStatus::Failed:
            return 2;
        case TStatus::Crashed:
            return 3;
        case TStatus::Stopped:
            return 4;
    }
    return 0;
}

TSizeResult Combine(long works, const std::vector<TRun>& runs) {
    TSizeResult result;
    result.works = works;
    result.runs = static_cast<int>(runs.size());
    for (int a = 0; a < kActionCount; ++a) {
        TActionResult& action = result.actions[static_cast<size_t>(a)];
        std::vector<double> times;
        bool first = true;
        for (const TRun& run : runs) {
            const TActionRun& one = run.actions[static_cast<size_t>(a)];
            if (one.status == TStatus::Ok || one.status == TStatus::Failed)
                times.push_back(one.seconds);
            if (first || Severity(one.status) > Severity(action.status)) {
                action.status = one.status;
                action.text = one.text;
            }
            first = false;
        }
        std::sort(times.begin(), times.end());
        action.runs = static_cast<int>(times.size());
        if (!times.empty()) action.seconds = times[times.size() / 2];
    }
    for (const TRun& run : runs)
        for (const std::string& note : run.notes) result.notes.push_back(note);
    return result;
}

void PrintSize(const TSizeResult& size, const TSizeResult* empty, double limit) {
    const int labelWidth = 30;
    std::printf(
        "\n== %s works: %s ==\n", Works(size.works).c_str(),
        size.runs > 1 ? ("median of " + std::to_string(size.runs) + " runs").c_str() : "one run");
    std::printf("%s %12s %12s %12s\n", Pad("action", labelWidth).c_str(),
                (Works(size.works) + " works").c_str(), "empty", "difference");
    for (int a = 0; a < kActionCount; ++a) {
        const TActionResult& action = size.actions[static_cast<size_t>(a)];
        const TActionResult* base = empty ? &empty->actions[static_cast<size_t>(a)] : nullptr;
        std::string difference = "-";
        if (base && Measured(action) && Measured(*base))
            difference = Format("%+.3f s", action.seconds - base->seconds);
        std::printf("%s %12s %12s %12s", Pad(Label(a), labelWidth).c_str(),
                    TimeText(action, limit).c_str(), base ? TimeText(*base, limit).c_str() : "-",
                    difference.c_str());
        if (action.status == TStatus::Failed) std::printf("  FAILED: %s", action.text.c_str());
        if (action.status == TStatus::Crashed) std::printf("  %s", action.text.c_str());
        if (action.status == TStatus::Stopped) std::printf("  stopped at the %g s limit", limit);
        std::printf("\n");
    }
    for (const std::string& note : size.notes) std::printf("  note: %s\n", note.c_str());
    std::fflush(stdout);
}

// Every action within the allowance of its empty-installation time.
void PrintVerdict(const TSizeResult& size, const TSizeResult& empty, double allowance) {
    std::vector<std::string> over;
    bool complete = true;
    for (int a = 0; a < kActionCount; ++a) {
        const TActionResult& action = size.actions[static_cast<size_t>(a)];
        const TActionResult& base = empty.actions[static_cast<size_t>(a)];
        if (action.status == TStatus::Stopped) {
            over.push_back(Label(a) + " (stopped)");
        } else if (!Measured(action) || !Measured(base) || action.status == TStatus::Failed ||
                   base.status == TStatus::Failed) {
            complete = false;
            if (Measured(action) && Measured(base) && action.seconds - base.seconds > allowance)
                over.push_back(Label(a) + Format(" (%+.3f s)", action.seconds - base.seconds));
        } else if (action.seconds - base.seconds > allowance) {
            over.push_back(Label(a) + Format(" (%+.3f s)", action.seconds - base.seconds));
        }
    }
    std::printf("At %s works every action within %.1f s of the empty installation: %s\n",
                Works(size.works).c_str(), allowance,
                !over.empty() ? "NO"
                : complete    ? "yes"
                              : "not known (an action failed)");
    for (const std::string& item : over) std::printf("    over: %s\n", item.c_str());
}

// Time ratios between consecutive sizes, and of the time above the empty
// installation's.
void PrintGrowth(const std::vector<TSizeResult>& sizes) {
    std::vector<const TSizeResult*> loaded;
    for (const TSizeResult& size : sizes)
        if (size.works > 0) loaded.push_back(&size);
    if (loaded.size() < 2 || sizes.front().works != 0) return;
    const TSizeResult& empty = sizes.front();
    std::printf(
        "\nGrowth between sizes: time ratio (ratio of the time above the empty "
        "installation's)\n");
    std::string header = Pad("action", 30);
    for (size_t i = 1; i < loaded.size(); ++i) {
        const std::string pair = Works(loaded[i - 1]->works) + "→" + Works(loaded[i]->works) +
                                 Format(" (x%.0f)", static_cast<double>(loaded[i]->works) /
                                                        static_cast<double>(loaded[i - 1]->works));
        header += " " + (i + 1 < loaded.size() ? Pad(pair, 26) : pair);
    }
    std::printf("%s\n", header.c_str());
    for (int a = 0; a < kActionCount; ++a) {
        std::string line = Pad(Label(a), 30);
        const TActionResult& base = empty.actions[static_cast<size_t>(a)];
        for (size_t i = 1; i < loaded.size(); ++i) {
            const TActionResult& from = loaded[i - 1]->actions[static_cast<size_t>(a)];
            const TActionResult& to = loaded[i]->actions[static_cast<size_t>(a)];
            std::string cell = "-";
            if (Measured(from) && Measured(to) && from.seconds > 0) {
                cell = Format("x%.2f", to.seconds / from.seconds);
                const double excessFrom = Measured(base) ? from.seconds - base.seconds : 0;
                const double excessTo = Measured(base) ? to.seconds - base.seconds : 0;
                // The excess ratio means little while the excess is noise.
                if (Measured(base) && excessFrom > 0.005 && excessTo > 0)
                    cell += Format(" (x%.1f)", excessTo / excessFrom);
            } else if (to.status == TStatus::Stopped) {
                cell = "stopped";
            }
            line += " " + (i + 1 < loaded.size() ? Pad(cell, 26) : cell);
        }
        std::printf("%s\n", line.c_str());
    }
}

bool ParseOptions(int argc, char** argv, TOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--limit" || arg == "--runs" || arg == "--repeat-below") {
            const char* text = value();
            if (!text) return false;
            if (arg == "--limit") options.limit = std::atof(text);
            if (arg == "--runs") options.runs = std::max(1, std::atoi(text));
            if (arg == "--repeat-below") options.repeatBelow = std::atof(text);
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (!arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos) {
            options.sizes.push_back(std::atol(arg.c_str()));
        } else {
            return false;
        }
    }
    if (options.sizes.empty()) options.sizes = {0, 1000, 10000, 50000};
    // The empty installation is the comparison for every other size.
    options.sizes.push_back(0);
    std::sort(options.sizes.begin(), options.sizes.end());
    options.sizes.erase(std::unique(options.sizes.begin(), options.sizes.end()),
                        options.sizes.end());
    return options.limit > 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Qt runs without a display unless the caller chose a platform.
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (argc == 5 && std::string(argv[1]) == "--run") {
        int qtArgc = 1;
        return RunSession(qtArgc, argv, argv[2], std::atol(argv[3]), argv[4]);
    }
    TOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--limit SECONDS] [--runs N] [--repeat-below SECONDS] [--keep] "
                     "[works ...]\n",
                     argv[0]);
        return 2;
    }

    fs::path temp;
    try {
        temp = workflow_scale::MakeWorkingDirectory("sarvenu_workflow");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }

    std::printf("Record workflow through the main window (ordering office), sizes:");
    for (long size : options.sizes) std::printf(" %s", Works(size).c_str());
    std::printf("\nper-action limit %.0f s; %d runs per size when the first took under %.0f s\n",
                options.limit, options.runs, options.repeatBelow);
    std::printf("working directory %s\n", temp.c_str());
    std::fflush(stdout);

    // A first start pays for reading Qt, fonts and libraries from disk; one
    // run that is not counted keeps that out of the first size's figures.
    try {
        const fs::path warmUp = temp / "warm-up";
        BuildInstallation(warmUp, SHIPPED_INSTALLATION_DIR, 0);
        const TRun run =
            RunChild(warmUp, 0, temp / "submission.lzh", temp / "run.log", options.limit);
        std::printf("warm-up run (not counted): actions took %.1f s together\n", run.Total());
        fs::remove_all(warmUp);
    } catch (const std::exception& error) {
        std::printf("warm-up run failed: %s\n", error.what());
    }

    std::vector<TSizeResult> results;
    std::map<long, double> sizeSeconds;
    for (long works : options.sizes) {
        const auto sizeStart = Clock::now();
        const fs::path built = temp / ("works-" + std::to_string(works));
        const fs::path runDir = temp / "run";
        try {
            const auto buildStart = Clock::now();
            BuildInstallation(built, SHIPPED_INSTALLATION_DIR, works);
            std::printf("\n%s works: installation built in %.1f s (tables %.1f MB)\n",
                        Works(works).c_str(), Seconds(buildStart),
                        static_cast<double>(TableBytes(built)) / 1e6);
        } catch (const std::exception& error) {
            std::printf("\n%s works: the installation cannot be built: %s\n", Works(works).c_str(),
                        error.what());
            continue;
        }
        std::vector<TRun> runs;
        for (int r = 0; r < options.runs; ++r) {
            CopyInstallation(built, runDir);
            runs.push_back(
                RunChild(runDir, works, temp / "submission.lzh", temp / "run.log", options.limit));
            const TRun& run = runs.back();
            bool complete = true;
            for (const TActionRun& action : run.actions)
                complete = complete && action.status == TStatus::Ok;
            std::printf("  run %d: actions took %.1f s together%s\n", r + 1, run.Total(),
                        complete ? "" : " (not every action succeeded)");
            std::fflush(stdout);
            if (!complete || run.Total() >= options.repeatBelow) break;
        }
        results.push_back(Combine(works, runs));
        if (!options.keep) {
            fs::remove_all(built);
            fs::remove_all(runDir);
        }
        sizeSeconds[works] = Seconds(sizeStart);
        PrintSize(results.back(),
                  works != 0 && results.front().works == 0 ? &results.front() : nullptr,
                  options.limit);
        std::printf("  (%s works took %.1f s to build and run)\n", Works(works).c_str(),
                    sizeSeconds[works]);
    }

    std::printf("\n");
    if (!results.empty() && results.front().works == 0) {
        const std::pair<long, double> targets[] = {{10000, 0.3}, {50000, 1.5}};
        for (const auto& [works, allowance] : targets) {
            auto found = std::find_if(results.begin(), results.end(),
                                      [&](const TSizeResult& r) { return r.works == works; });
            if (found == results.end())
                std::printf("At %s works: not measured in this run\n", Works(works).c_str());
            else
                PrintVerdict(*found, results.front(), allowance);
        }
    }
    PrintGrowth(results);
    if (!options.keep) fs::remove_all(temp);
    return 0;
}
