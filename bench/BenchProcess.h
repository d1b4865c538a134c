// A program started beside a benchmark with raw pipes to its standard input
// and output (for streaming pictures in or out), standard error inherited;
// killed and reaped on destruction. And what processes and threads have
// used: CPU time and resident memory.
#pragma once

#include "support/UniqueFd.h"

#include <cstdint>
#include <functional>
#include <pthread.h>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace vistrel::bench {

class BenchProcess {
public:
    struct Pipes {
        bool input = false;
        bool output = false;
    };

    // argv[0] is looked up on PATH. Throws std::runtime_error.
    BenchProcess(const std::vector<std::string>& argv, Pipes pipes);
    ~BenchProcess();
    BenchProcess(const BenchProcess&) = delete;
    BenchProcess& operator=(const BenchProcess&) = delete;

    [[nodiscard]] pid_t pid() const noexcept { return pid_; }
    [[nodiscard]] int input() const noexcept { return input_.get(); }
    [[nodiscard]] int output() const noexcept { return output_.get(); }

    // Closes standard input and waits up to `seconds` for the program to
    // end on its own before killing it.
    void finish(double seconds);

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    UniqueFd input_;
    UniqueFd output_;
};

// A receiver of udp://127.0.0.1:port, `program` ffmpeg or ffplay, with the
// input flags that take their buffering out; the output options follow.
std::vector<std::string> lowDelayInput(const std::string& program, std::uint16_t port);

// The ffmpeg command line so tuned, writing the raw pictures as decoded
// (YUV420P for the headset's stream) to its standard output.
std::vector<std::string> ffmpegRawReceiver(std::uint16_t port);

// A program receiving the stream. When it writes raw pictures of
// `pictureBytes` each to its standard output, a thread hands each to
// `onPicture` as it comes. Killed on destruction.
struct ProgramReceiver {
    ProgramReceiver(const std::vector<std::string>& argv, std::size_t pictureBytes,
                    std::function<void(const std::uint8_t*)> onPicture);
    ~ProgramReceiver();
    ProgramReceiver(const ProgramReceiver&) = delete;
    ProgramReceiver& operator=(const ProgramReceiver&) = delete;

    BenchProcess process;
    std::thread reader;
};

// User plus system time of a process so far, in seconds; 0 once it is gone.
double processCpuSeconds(pid_t pid);

// CPU time of a running thread of this process, in seconds.
double threadCpuSeconds(pthread_t thread);

// One thread of a process as /proc shows it: its name (what the program set,
// or the program's name) and user plus system time so far, in seconds.
struct ThreadCpu {
    pid_t id = -1;
    std::string name;
    double seconds = 0;
};
std::vector<ThreadCpu> threadsOf(pid_t pid);

// A memory figure of /proc/PID/status ("VmRSS", "VmHWM"), in MiB; 0 once
// the process is gone.
double statusMegabytes(pid_t pid, const std::string& field);

// Processes whose parent is `pid`.
std::vector<pid_t> childrenOf(pid_t pid);

// The machine's load average over 1 and 5 minutes, "1.23 / 0.98".
std::string loadAverage();

} // namespace vistrel::bench
