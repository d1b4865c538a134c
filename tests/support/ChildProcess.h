// A real program running beside a test, talked to over three pipes: lines
// written to its standard input, its standard output read line by line as it
// arrives, its standard error collected. Killed and reaped on destruction.
#pragma once

#include "support/UniqueFd.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vistrel::test {

class ChildProcess {
public:
    // argv[0] is looked up on PATH; `environment` entries override inherited
    // ones. Throws std::runtime_error when the program cannot be started.
    explicit ChildProcess(const std::vector<std::string>& argv,
                          const std::map<std::string, std::string>& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    [[nodiscard]] pid_t pid() const noexcept { return pid_; }

    // False once standard input is closed or the program stopped reading.
    bool write(const std::string& text);
    void closeInput();

    // The next line of standard output without its line feed, or nothing when
    // the output ended or `timeout` passed first.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);

    // The exit code (128 + signal number after a signal), or nothing when the
    // program is still running after `timeout`. Keeps draining both outputs.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

    // Everything read from standard error so far.
    [[nodiscard]] const std::string& errorText() const noexcept { return err_; }
    // Standard output read so far and not yet returned by readLine.
    [[nodiscard]] const std::string& pendingOutput() const noexcept { return out_; }

private:
    // Reads what is available on either output, waiting at most `timeout`.
    void pump(std::chrono::milliseconds timeout);
    bool reap(bool block);

    pid_t pid_ = -1;
    UniqueFd in_;
    UniqueFd outFd_;
    UniqueFd errFd_;
    std::string out_;
    std::string err_;
    std::optional<int> exitStatus_;
};

} // namespace vistrel::test
