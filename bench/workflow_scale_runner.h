// Runs one measured session in a child process (this executable started
// again with --run) and collects its protocol lines; an action that runs
// longer than the limit has the child stopped, so that a slow program still
// gives a report.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "workflow_scale_session.h"

namespace workflow_scale {

enum class TStatus { NotRun, Ok, Failed, Stopped, Crashed };

struct TActionRun {
    TStatus status = TStatus::NotRun;
    double seconds = 0;
    std::string text;  // failure text (UTF-8)
};

struct TRun {
    std::vector<TActionRun> actions = std::vector<TActionRun>(kActionCount);
    std::vector<std::string> notes;  // boxes shown between actions, crash output
    // The sum of the measured action times.
    double Total() const;
};

// Starts the child over the installation in root with `works` works; the
// export writes archive. Child output other than the protocol goes to log.
TRun RunChild(const std::filesystem::path& root, long works, const std::filesystem::path& archive,
              const std::filesystem::path& log, double limitSeconds);

}  // namespace workflow_scale
