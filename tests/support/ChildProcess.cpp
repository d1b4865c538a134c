#include "ChildProcess.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace vistrel::test {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds left(Clock::time_point deadline) {
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

} // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, const Environment& environment,
                           Errors errors) {
    ::signal(SIGPIPE, SIG_IGN); // a program that stops reading must not end the test
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (!environment.contains(std::string(*e).substr(0, std::strcspn(*e, "=")))) {
            env.emplace_back(*e);
        }
    }
    for (const auto& [name, value] : environment) {
        env.push_back(name + "=" + value);
    }
    std::array<int, 6> fds{-1, -1, -1, -1, -1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (std::size_t i = 0; i < (errors == Errors::Read ? 3U : 2U); ++i) {
        if (::pipe2(&fds.at(2 * i), O_CLOEXEC) != 0) {
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        }
        posix_spawn_file_actions_adddup2(&actions, fds.at(2 * i + (i == 0 ? 0 : 1)),
                                         static_cast<int>(i));
    }
    const int spawned = ::posix_spawnp(&pid_, argv.at(0).c_str(), &actions, nullptr,
                                       pointers(argv).data(), pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    for (const std::size_t i : {0U, 3U, 5U}) {
        if (fds.at(i) >= 0) {
            ::close(fds.at(i)); // the child's ends
        }
    }
    in_ = UniqueFd(fds[1]);
    outFd_ = UniqueFd(fds[2]);
    errFd_ = UniqueFd(fds[4]);
    if (spawned != 0) {
        status_ = 127;
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(spawned));
    }
}

ChildProcess::~ChildProcess() {
    kill();
}

void ChildProcess::kill() {
    if (!status_) {
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        status_ = 128 + SIGKILL;
    }
}

bool ChildProcess::read(std::span<char> into) {
    const std::size_t buffered = std::min(into.size(), out_.size());
    out_.copy(into.data(), buffered);
    out_.erase(0, buffered);
    for (std::size_t filled = buffered; filled < into.size();) {
        const ssize_t n = outFd_ ? ::read(outFd_.get(), &into[filled], into.size() - filled) : 0;
        if (n == 0 || (n < 0 && errno != EINTR)) {
            return false;
        }
        filled += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return true;
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
    return {status.value_or(-1), child.pendingOutput(), child.errorText(), !status};
}

namespace {

std::string readText(const std::string& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The fields of a /proc stat line after the command name, which may hold
// blanks: [0] state, [1] parent, [11] user and [12] system time in ticks.
std::vector<std::string> statFields(const std::string& path) {
    const std::string text = readText(path);
    std::istringstream words(text.substr(std::min(text.size(), text.rfind(')') + 1)));
    return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
}

double statCpuSeconds(const std::string& path) {
    const std::vector<std::string> fields = statFields(path);
    return fields.size() < 13 ? 0
                              : (std::stod(fields[11]) + std::stod(fields[12])) /
                                    static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double clockSeconds(clockid_t clock) {
    timespec t{};
    return ::clock_gettime(clock, &t) == 0
               ? static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9
               : 0;
}

} // namespace

double cpuSeconds(int pid) {
    return statCpuSeconds("/proc/" + std::to_string(pid) + "/stat");
}

double ownCpuSeconds() {
    return clockSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

double threadCpuSeconds(pthread_t thread) {
    clockid_t clock{};
    return ::pthread_getcpuclockid(thread, &clock) == 0 ? clockSeconds(clock) : 0;
}

std::vector<ThreadCpu> threadsOf(int pid) {
    std::vector<ThreadCpu> threads;
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::string name = readText(task.path() / "comm");
        name.erase(name.find_last_not_of('\n') + 1);
        threads.push_back(
            {std::stoi(task.path().filename()), name, statCpuSeconds(task.path() / "stat")});
    }
    return threads;
}

std::vector<int> childrenOf(int pid) {
    std::vector<int> children;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename();
        const std::vector<std::string> fields = name.find_first_not_of("0123456789") == name.npos
                                                    ? statFields(entry.path() / "stat")
                                                    : std::vector<std::string>();
        if (fields.size() > 1 && fields[1] == std::to_string(pid)) {
            children.push_back(std::stoi(name));
        }
    }
    return children;
}

double statusMegabytes(int pid, const std::string& field) {
    std::istringstream lines(readText("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(field + ":")) {
            return std::stod(line.substr(field.size() + 1)) / 1024; // kB
        }
    }
    return 0;
}

} // namespace vistrel::test
