#include "ChildProcess.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vistrel::test {

namespace {

std::array<UniqueFd, 2> makePipe() {
    std::array<int, 2> fds{-1, -1};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe failed: ") + std::strerror(errno));
    }
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

int decodeStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& environment) {
    // A program that stops reading must not end the test with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        if (!environment.contains(entry.substr(0, entry.find('=')))) {
            envStrings.push_back(entry);
        }
    }
    for (const auto& [name, value] : environment) {
        envStrings.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& s : envStrings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& s : args) {
        argp.push_back(s.data());
    }
    argp.push_back(nullptr);

    auto in = makePipe();
    auto out = makePipe();
    auto err = makePipe();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0].get(), 0);
    posix_spawn_file_actions_adddup2(&actions, out[1].get(), 1);
    posix_spawn_file_actions_adddup2(&actions, err[1].get(), 2);
    const int spawned = ::posix_spawnp(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + argv.at(0) + ": " + std::strerror(spawned));
    }
    in_ = std::move(in[1]);
    outFd_ = std::move(out[0]);
    errFd_ = std::move(err[0]);
}

ChildProcess::~ChildProcess() {
    if (!exitStatus_) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
}

bool ChildProcess::write(const std::string& text) {
    std::size_t written = 0;
    while (in_ && written < text.size()) {
        const ssize_t n = ::write(in_.get(), text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return in_.valid();
}

void ChildProcess::closeInput() {
    in_.reset();
}

void ChildProcess::pump(std::chrono::milliseconds timeout) {
    std::array<pollfd, 2> fds{{{outFd_.get(), POLLIN, 0}, {errFd_.get(), POLLIN, 0}}};
    if (!outFd_ && !errFd_) {
        return;
    }
    if (::poll(fds.data(), fds.size(), static_cast<int>(timeout.count())) <= 0) {
        return;
    }
    std::array<char, 65536> buffer{};
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
        if (n > 0) {
            (i == 0 ? out_ : err_).append(buffer.data(), static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            (i == 0 ? outFd_ : errFd_).reset();
        }
    }
}

bool ChildProcess::reap(bool block) {
    if (exitStatus_) {
        return true;
    }
    int status = 0;
    pid_t result = 0;
    do {
        result = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid_) {
        exitStatus_ = decodeStatus(status);
        return true;
    }
    return false;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        const auto end = out_.find('\n');
        if (end != std::string::npos) {
            std::string line = out_.substr(0, end);
            out_.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !outFd_) {
            return std::nullopt;
        }
        pump(left);
    }
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!reap(false)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        // Outputs keep being read so the program never blocks on a full pipe;
        // once both are closed, poll only sleeps between checks.
        if (outFd_ || errFd_) {
            pump(std::min(left, std::chrono::milliseconds(20)));
        } else {
            ::poll(nullptr, 0, 10);
        }
    }
    // What the program wrote just before it exited is still in the pipes.
    while (outFd_ || errFd_) {
        pump(std::chrono::milliseconds(100));
        if (std::chrono::steady_clock::now() > deadline + std::chrono::seconds(2)) {
            break;
        }
    }
    return exitStatus_;
}

} // namespace vistrel::test
