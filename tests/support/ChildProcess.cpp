#include "ChildProcess.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>

namespace vistrel::test {
namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds left(Clock::time_point deadline) {
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

} // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, const Environment& environment) {
    ::signal(SIGPIPE, SIG_IGN); // a program that stops reading must not end the test
    if (!environment.empty()) { // env sets them and execs the program in the same process
        argv.insert(argv.begin(), "env");
        for (const auto& [name, value] : environment) {
            argv.insert(argv.begin() + 1, name + "=" + value);
        }
    }
    std::vector<char*> pointers;
    for (std::string& argument : argv) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    std::array<int, 6> fds{};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (std::size_t i = 0; i < 3; ++i) {
        if (::pipe2(&fds.at(2 * i), O_CLOEXEC) != 0) {
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        }
        posix_spawn_file_actions_adddup2(&actions, fds.at(2 * i + (i == 0 ? 0 : 1)),
                                         static_cast<int>(i));
    }
    const int spawned =
        ::posix_spawnp(&pid_, argv.at(0).c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    for (const std::size_t i : {0U, 3U, 5U}) {
        ::close(fds.at(i)); // the child's ends
    }
    in_ = UniqueFd(fds[1]);
    outFd_ = UniqueFd(fds[2]);
    errFd_ = UniqueFd(fds[4]);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(spawned));
    }
}

ChildProcess::~ChildProcess() {
    if (!status_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool ChildProcess::write(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n = in_ ? ::write(in_.get(), text.data() + at, text.size() - at) : -1;
        if (n < 0 && errno != EINTR) {
            return false;
        }
        at += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return in_.valid();
}

bool ChildProcess::pump(std::chrono::milliseconds timeout) {
    std::array<pollfd, 2> fds{{{outFd_.get(), POLLIN, 0}, {errFd_.get(), POLLIN, 0}}};
    if ((!outFd_ && !errFd_) || ::poll(fds.data(), 2, static_cast<int>(timeout.count())) <= 0) {
        return outFd_ || errFd_;
    }
    std::array<char, 65536> buffer{};
    for (std::size_t i = 0; i < 2; ++i) {
        if ((fds.at(i).revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t n = ::read(fds.at(i).fd, buffer.data(), buffer.size());
            if (n > 0) {
                (i == 0 ? out_ : err_).append(buffer.data(), static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                (i == 0 ? outFd_ : errFd_).reset();
            }
        }
    }
    return true;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (out_.find('\n') == std::string::npos) {
        if (!outFd_ || left(deadline).count() == 0) {
            return std::nullopt;
        }
        pump(left(deadline));
    }
    std::string line = out_.substr(0, out_.find('\n'));
    out_.erase(0, line.size() + 1);
    return line;
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (int status = 0; !status_;) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else if (left(deadline).count() == 0) {
            return std::nullopt;
        } else if (!pump(std::min(left(deadline), std::chrono::milliseconds(20)))) {
            ::poll(nullptr, 0, 10); // both outputs closed: only wait
        }
    }
    // What it wrote last is still in the pipes, unless a program it left
    // behind holds them open.
    for (const auto drained = Clock::now() + std::chrono::seconds(2);
         Clock::now() < drained && pump(std::chrono::milliseconds(100));) {
    }
    return status_;
}

ProcessResult runProcess(std::vector<std::string> argv, const std::string& input,
                         const Environment& environment, std::chrono::milliseconds timeout) {
    ChildProcess child(std::move(argv), environment);
    child.write(input);
    child.closeInput();
    const auto status = child.waitForExit(timeout);
    return {status.value_or(-1), child.pendingOutput(), child.errorText()};
}

} // namespace vistrel::test
