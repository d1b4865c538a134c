#include "BenchProcess.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h> // environ

namespace vistrel::bench {

BenchProcess::BenchProcess(const std::vector<std::string>& argv, Pipes pipes) {
    std::array<int, 2> in{-1, -1};
    std::array<int, 2> out{-1, -1};
    if ((pipes.input && ::pipe2(in.data(), O_CLOEXEC) != 0) ||
        (pipes.output && ::pipe2(out.data(), O_CLOEXEC) != 0)) {
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    UniqueFd inRead(in[0]);
    UniqueFd outWrite(out[1]);
    input_ = UniqueFd(in[1]);
    output_ = UniqueFd(out[0]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipes.input) {
        posix_spawn_file_actions_adddup2(&actions, inRead.get(), 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    if (pipes.output) {
        posix_spawn_file_actions_adddup2(&actions, outWrite.get(), 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    argp.reserve(args.size() + 1);
    for (std::string& arg : args) {
        argp.push_back(arg.data());
    }
    argp.push_back(nullptr);
    const int spawned = ::posix_spawnp(&pid_, argp[0], &actions, nullptr, argp.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + argv.at(0) + ": " + std::strerror(spawned));
    }
}

BenchProcess::~BenchProcess() {
    finish(0);
}

void BenchProcess::finish(double seconds) {
    input_.reset();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!reaped_) {
        int status = 0;
        const pid_t result = ::waitpid(pid_, &status, WNOHANG);
        if (result == pid_ || (result < 0 && errno != EINTR)) {
            reaped_ = true;
        } else if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            reaped_ = true;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    output_.reset();
}

double processCpuSeconds(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The command name may hold blanks; the fields after it are plain.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; fields >> field && index <= 15; ++index) {
        if (index >= 14) { // utime, stime
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double threadCpuSeconds(pthread_t thread) {
    clockid_t clock{};
    timespec t{};
    if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &t) != 0) {
        return 0;
    }
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

} // namespace vistrel::bench
