// The summary across works at scale: installations of 1,000, 10,000 and
// 50,000 works (or the sizes given), and per size the time of loading the six
// survey tables beside the time of the summary over them: reading every
// work's figures out of the open tables, then the engine's grouping and
// aggregates per technology. Best of three runs each.
//
// Usage: bench_summary [works ...]
//        bench_summary --installation DIR   (an existing installation instead)
//        --keep: keep the installations built (their directory is printed)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "records/cds_module.h"
#include "report/summary.h"
#include "report/summary_source.h"
#include "workflow_scale_installation.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class THost : public sarvenu::TCdsModuleHost {
  public:
    std::string DateEntryText(TDateEntry) override { return {}; }
    void DataEdit() override {}
    void ShowErrorBox(const std::string&, const std::string& text) override {
        std::fprintf(stderr, "error box: %s\n", text.c_str());
    }
};

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

struct TTimes {
    double load = 1e300, read = 1e300, group = 1e300;
    size_t works = 0, technologies = 0;
};

void Run(const fs::path& root, TTimes& best) {
    THost host;
    Clock::time_point start = Clock::now();
    sarvenu::TdmCdsModule dm(host, root.string() + "/");
    best.load = std::min(best.load, Ms(start));

    start = Clock::now();
    const std::vector<sarvenu::TSummaryWork> works = sarvenu::ReadSummaryWorks(dm, true);
    best.read = std::min(best.read, Ms(start));

    start = Clock::now();
    const std::vector<sarvenu::TSummaryRow> rows = sarvenu::BuildSummary(works, {});
    best.group = std::min(best.group, Ms(start));
    best.works = works.size();
    best.technologies = rows.size();
    for (sarvenu::TClientTable* table :
         {&dm.cdsEV_TBL_MAIN, &dm.cdsEV_TBL_PLAN, &dm.cdsEV_TBL_REPORT, &dm.cdsEV_TBL_INV_SECTION,
          &dm.cdsEV_TBL_INV_CHIEF, &dm.cdsEV_TBL_INV_CON})
        sarvenu::CloseWithoutSaving(*table);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    fs::path existing;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--keep")
            keep = true;
        else if (std::string(argv[i]) == "--installation" && i + 1 < argc)
            existing = argv[++i];
        else
            sizes.push_back(std::atol(argv[i]));
    }
    if (!existing.empty()) sizes = {0};
    if (sizes.empty()) sizes = {1000, 10000, 50000};

    fs::path temp;
    try {
        temp = workflow_scale::MakeWorkingDirectory("sarvenu_summary");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }

    std::printf("Summary across works (ordering office), best of 3 runs\n");
    std::printf("%8s %10s %12s %14s %14s %14s %8s\n", "works", "table MB", "load tables",
                "read figures", "engine groups", "summary total", "techs");
    int failures = 0;
    for (long size : sizes) {
        const fs::path root =
            existing.empty() ? temp / ("works-" + std::to_string(size)) : existing;
        try {
            if (existing.empty())
                workflow_scale::BuildInstallation(root, SHIPPED_INSTALLATION_DIR, size);
            TTimes best;
            for (int run = 0; run < 3; ++run) Run(root, best);
            const double total = best.read + best.group;
            std::printf("%8zu %10.1f %9.1f ms %11.1f ms %11.1f ms %11.1f ms %8zu%s\n", best.works,
                        static_cast<double>(workflow_scale::TableBytes(root)) / 1e6, best.load,
                        best.read, best.group, total, best.technologies,
                        total < 1000 ? "" : "  (over 1 s)");
            if (existing.empty() && best.works != static_cast<size_t>(size)) {
                std::printf("  read %zu works of %ld\n", best.works, size);
                ++failures;
            }
        } catch (const std::exception& e) {
            std::printf("%8ld failed: %s\n", size, e.what());
            ++failures;
        }
        if (existing.empty() && !keep) fs::remove_all(root);
    }
    if (keep)
        std::printf("kept in %s\n", temp.c_str());
    else
        fs::remove_all(temp);
    return failures == 0 ? 0 : 1;
}
