// Real programs beside a test or a benchmark: run to their end (runProcess),
// or talked to over standard input and output while they run (ChildProcess).
#pragma once

#include "support/UniqueFd.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vistrel::test {

using Environment = std::map<std::string, std::string>; // overrides inherited entries

// Killed and reaped on destruction.
class ChildProcess {
public:
    // argv[0] is looked up on PATH. Throws std::runtime_error when it cannot start.
    explicit ChildProcess(std::vector<std::string> argv, const Environment& environment = {});
    ~ChildProcess();

    [[nodiscard]] int pid() const noexcept { return pid_; }
    bool write(const std::string& text); // false once the program stopped reading
    void closeInput() { in_.reset(); }
    // The next output line without its line feed; nothing at the end or after `timeout`.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // The exit code, 128 + the signal's number; nothing while it runs after `timeout`.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
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
    int exitStatus = -1; // -1: killed after the timeout
    std::string out;
    std::string err;
};

// Runs the program to its end with `input` on standard input; kills it after `timeout`.
ProcessResult runProcess(std::vector<std::string> argv, const std::string& input = {},
                         const Environment& environment = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

} // namespace vistrel::test
