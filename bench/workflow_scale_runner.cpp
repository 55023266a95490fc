#include "workflow_scale_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace workflow_scale {

namespace {

using Clock = std::chrono::steady_clock;

// The last lines of a file, for a report of a crash.
std::string Tail(const std::filesystem::path& path, size_t lines) {
    std::ifstream in(path);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);) all.push_back(line);
    std::string tail;
    for (size_t i = all.size() > lines ? all.size() - lines : 0; i < all.size(); ++i)
        tail += (tail.empty() ? "" : " / ") + all[i];
    return tail;
}

// Applies one protocol line; the number of the action begun, or 0.
int Apply(const std::string& line, TRun& run) {
    const std::string prefix = kProtocolPrefix;
    if (line.compare(0, prefix.size(), prefix) != 0) return 0;
    std::istringstream in(line.substr(prefix.size()));
    std::string word;
    in >> word;
    if (word == "BEGIN") {
        int number = 0;
        in >> number;
        return number;
    }
    if (word == "END") {
        int number = 0;
        double seconds = 0;
        std::string result;
        in >> number >> seconds >> result;
        if (number < 1 || number > kActionCount) return 0;
        TActionRun& action = run.actions[static_cast<size_t>(number - 1)];
        action.seconds = seconds;
        action.status = result == "OK" ? TStatus::Ok : TStatus::Failed;
        if (action.status == TStatus::Failed) {
            std::getline(in, action.text);
            if (!action.text.empty() && action.text[0] == ' ') action.text.erase(0, 1);
        }
    } else if (word == "NOTE") {
        std::string text;
        std::getline(in, text);
        run.notes.push_back(text);
    }
    return 0;
}

}  // namespace

double TRun::Total() const {
    double total = 0;
    for (const TActionRun& action : actions)
        if (action.status == TStatus::Ok || action.status == TStatus::Failed)
            total += action.seconds;
    return total;
}

TRun RunChild(const std::filesystem::path& root, long works, const std::filesystem::path& archive,
              const std::filesystem::path& log, double limitSeconds) {
    TRun run;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        run.notes.push_back("pipe() failed");
        return run;
    }
    const std::string rootText = root.string(), worksText = std::to_string(works),
                      archiveText = archive.string();
    const pid_t child = ::fork();
    if (child < 0) {
        run.notes.push_back("fork() failed");
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return run;
    }
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (logFd >= 0) ::dup2(logFd, STDERR_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        char* const args[] = {
            const_cast<char*>("bench_workflow_scale"), const_cast<char*>("--run"),
            const_cast<char*>(rootText.c_str()),       const_cast<char*>(worksText.c_str()),
            const_cast<char*>(archiveText.c_str()),    nullptr};
        ::execv("/proc/self/exe", args);
        ::_exit(127);
    }
    ::close(pipeFds[1]);

    int current = 0;
    auto deadline = Clock::time_point::max();
    bool stopped = false;
    std::string pending;
    for (;;) {
        int timeout = -1;
        if (deadline != Clock::time_point::max()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()));
        }
        pollfd poller{pipeFds[0], POLLIN, 0};
        const int ready = ::poll(&poller, 1, timeout);
        if (ready == 0) {
            // The action ran past its limit: stop the child.
            ::kill(child, SIGKILL);
            stopped = true;
            break;
        }
        if (ready < 0) continue;
        char buffer[4096];
        const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0) break;
        pending.append(buffer, static_cast<size_t>(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            const int begun = Apply(line, run);
            if (begun > 0) {
                current = begun;
                deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(limitSeconds));
            } else if (current > 0 &&
                       run.actions[static_cast<size_t>(current - 1)].status != TStatus::NotRun) {
                current = 0;
                deadline = Clock::time_point::max();
            }
        }
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);

    if (current > 0) {
        TActionRun& action = run.actions[static_cast<size_t>(current - 1)];
        if (stopped) {
            action.status = TStatus::Stopped;
            action.seconds = limitSeconds;
        } else {
            action.status = TStatus::Crashed;
            action.text = Tail(log, 3);
        }
    } else if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        const std::string tail = Tail(log, 3);
        run.notes.push_back("the run ended with status " + std::to_string(status) +
                            (tail.empty() ? "" : ": " + tail));
    }
    return run;
}

}  // namespace workflow_scale
