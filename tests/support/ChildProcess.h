// Real programs beside a test or a benchmark: one run to its end
// (runProcess), or one talked to over its standard input and output while it
// runs (ChildProcess); and what processes and threads have used.
#pragma once

#include "support/UniqueFd.h"

#include <chrono>
#include <map>
#include <optional>
#include <pthread.h>
#include <span>
#include <string>
#include <vector>

namespace vistrel::test {

using Environment = std::map<std::string, std::string>; // overrides inherited entries

// Killed and reaped on destruction.
class ChildProcess {
public:
    // Standard error read into errorText(), or this process's own, for a
    // program nobody reads while it runs.
    enum class Errors { Read, Shared };

    // argv[0] is looked up on PATH. Throws std::runtime_error when it cannot start.
    explicit ChildProcess(std::vector<std::string> argv, const Environment& environment = {},
                          Errors errors = Errors::Read);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    [[nodiscard]] int pid() const noexcept { return pid_; }
    // False once the program stopped reading.
    bool write(const std::string& text);
    void closeInput() { in_.reset(); }
    // The next line of standard output without its line feed; nothing when
    // the output ended or `timeout` passed first.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // The exit code, 128 + signal number after a signal; nothing while it
    // runs after `timeout`.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    // Fills `into` from standard output, waiting as long as it takes; false
    // when the output ended first. For a thread that does nothing else with it.
    bool read(std::span<char> into);
    // Kills the program now and reaps it; a reader of its output sees the end.
    void kill();
    // Standard output not yet returned by readLine, and all standard error.
    [[nodiscard]] const std::string& pendingOutput() const noexcept { return out_; }
    [[nodiscard]] const std::string& errorText() const noexcept { return err_; }

private:
    bool pump(std::chrono::milliseconds timeout); // false once both outputs ended

    int pid_ = -1;
    UniqueFd in_, outFd_, errFd_;
    std::string out_, err_;
    std::optional<int> status_;
};

struct ProcessResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
    bool timedOut = false;
};

// Runs the program with `input` on its standard input to its end, or kills
// it after `timeout`.
ProcessResult runProcess(std::vector<std::string> argv, const std::string& input = {},
                         const Environment& environment = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

// User plus system time of a process so far, in seconds; 0 once it is gone.
double cpuSeconds(int pid);
// This process's, and one of its threads', to the nanosecond.
double ownCpuSeconds();
double threadCpuSeconds(pthread_t thread);

// One thread of a process: its name (what the program set) and CPU seconds.
struct ThreadCpu {
    int id = -1;
    std::string name;
    double seconds = 0;
};
std::vector<ThreadCpu> threadsOf(int pid);
// Processes whose parent is `pid`.
std::vector<int> childrenOf(int pid);
// A memory figure of /proc/PID/status ("VmRSS", "VmHWM") in MiB; 0 once gone.
double statusMegabytes(int pid, const std::string& field);

} // namespace vistrel::test
