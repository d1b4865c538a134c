#include "BenchProcess.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
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

std::vector<std::string> lowDelayInput(const std::string& program, std::uint16_t port) {
    std::vector<std::string> argv = {program};
    std::istringstream words(
        "-hide_banner -loglevel fatal -fflags nobuffer+noparse -flags low_delay"
        " -probesize 32 -analyzeduration 0 -i");
    for (std::string word; words >> word;) {
        argv.push_back(word);
    }
    argv.push_back("udp://127.0.0.1:" + std::to_string(port));
    return argv;
}

std::vector<std::string> ffmpegRawReceiver(std::uint16_t port) {
    std::vector<std::string> argv = lowDelayInput("ffmpeg", port);
    // Without passthrough this FFmpeg (5.1) keeps a constant output rate and,
    // with the probe too short to learn the stream's, repeats each picture
    // thousands of times.
    argv.insert(argv.end(), {"-threads", "1", "-fps_mode", "passthrough", "-f", "rawvideo", "-"});
    return argv;
}

ProgramReceiver::ProgramReceiver(const std::vector<std::string>& argv, std::size_t pictureBytes,
                                 std::function<void(const std::uint8_t*)> onPicture)
    : process(argv, {.input = false, .output = onPicture != nullptr}) {
    if (!onPicture) {
        return;
    }
    reader = std::thread([this, pictureBytes, onPicture = std::move(onPicture)] {
        std::vector<std::uint8_t> picture(pictureBytes);
        for (;;) {
            for (std::size_t filled = 0; filled < picture.size();) {
                const ssize_t n =
                    ::read(process.output(), picture.data() + filled, picture.size() - filled);
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n <= 0) {
                    return;
                }
                filled += static_cast<std::size_t>(n);
            }
            onPicture(picture.data());
        }
    });
}

ProgramReceiver::~ProgramReceiver() {
    process.finish(0);
    if (reader.joinable()) {
        reader.join();
    }
}

namespace {

std::string readText(const std::string& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Fields 3 onwards of a /proc stat line (state, parent, …), numbered from 3;
// the command name before them may hold blanks.
std::vector<std::string> statFields(const std::string& path) {
    const std::string text = readText(path);
    const std::size_t close = text.rfind(')');
    std::vector<std::string> fields;
    if (close == std::string::npos) {
        return fields;
    }
    std::istringstream words(text.substr(close + 2));
    for (std::string word; words >> word;) {
        fields.push_back(word);
    }
    return fields;
}

// User plus system time (fields 14 and 15) of a stat file, in seconds.
double cpuSecondsOf(const std::string& path) {
    const std::vector<std::string> fields = statFields(path);
    if (fields.size() < 13) {
        return 0;
    }
    return (std::stod(fields[11]) + std::stod(fields[12])) /
           static_cast<double>(::sysconf(_SC_CLK_TCK));
}

} // namespace

double processCpuSeconds(pid_t pid) {
    return cpuSecondsOf("/proc/" + std::to_string(pid) + "/stat");
}

std::vector<ThreadCpu> threadsOf(pid_t pid) {
    std::vector<ThreadCpu> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(tasks, error)) {
        ThreadCpu thread;
        thread.id = static_cast<pid_t>(std::stol(entry.path().filename().string()));
        thread.name = readText(entry.path() / "comm");
        while (!thread.name.empty() && thread.name.back() == '\n') {
            thread.name.pop_back();
        }
        thread.seconds = cpuSecondsOf(entry.path() / "stat");
        threads.push_back(std::move(thread));
    }
    return threads;
}

double statusMegabytes(pid_t pid, const std::string& field) {
    std::istringstream lines(readText("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stod(line.substr(field.size() + 1)) / 1024; // kB
        }
    }
    return 0;
}

std::vector<pid_t> childrenOf(pid_t pid) {
    std::vector<pid_t> children;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::vector<std::string> fields = statFields(entry.path() / "stat");
        if (fields.size() > 1 && fields[1] == std::to_string(pid)) {
            children.push_back(static_cast<pid_t>(std::stol(name)));
        }
    }
    return children;
}

double threadCpuSeconds(pthread_t thread) {
    clockid_t clock{};
    timespec t{};
    if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &t) != 0) {
        return 0;
    }
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one;
    std::string five;
    file >> one >> five;
    return one + " / " + five;
}

} // namespace vistrel::bench
