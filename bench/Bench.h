// What the benchmark programs share: one percentile, the machine's load beside
// every figure (the machine is shared with other work), command lines, and
// what processes and threads have used.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pthread.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace vistrel::bench {

using Clock = std::chrono::steady_clock;

inline double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Nearest rank: the smallest value with at least p % of them at or below it.
inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return NAN;
    }
    std::ranges::sort(values);
    const auto rank =
        static_cast<std::size_t>(std::ceil(p / 100 * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

inline std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one;
    std::string five;
    file >> one >> five;
    return one + " / " + five;
}

inline void printLoad(const std::string& atStart) {
    std::printf("Load average (1 / 5 min) %s at the start, %s at the end, on %ld cores.\n",
                atStart.c_str(), loadAverage().c_str(), ::sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);
}

// A command line from one string whose words hold no blanks.
inline std::vector<std::string> words(const std::string& text) {
    std::istringstream split(text);
    return {std::istream_iterator<std::string>(split), std::istream_iterator<std::string>()};
}

// The fields of /proc/PID/stat or /proc/PID/task/TID/stat after the command
// name, which may hold blanks: [1] parent, [11] user and [12] system ticks.
inline std::vector<std::string> statFields(const std::filesystem::path& stat) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(stat, error)) { // /proc/net/stat is a folder
        return {};
    }
    std::ifstream file(stat);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    return words(text.substr(std::min(text.size(), text.rfind(')') + 1)));
}

// User plus system time of a process or thread so far; 0 once it is gone.
inline double cpuSeconds(const std::filesystem::path& stat) {
    const std::vector<std::string> f = statFields(stat);
    const auto tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    return f.size() < 13 ? 0 : (std::stod(f[11]) + std::stod(f[12])) / tick;
}
inline double cpuSeconds(int pid) {
    return cpuSeconds("/proc/" + std::to_string(pid) + "/stat");
}

// This process's, or one of its threads', to the nanosecond.
inline double ownCpuSeconds(pthread_t thread = {}) {
    clockid_t clock = CLOCK_PROCESS_CPUTIME_ID;
    timespec t{};
    if (thread != pthread_t{} && ::pthread_getcpuclockid(thread, &clock) != 0) {
        return 0;
    }
    ::clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A memory figure of /proc/PID/status ("VmRSS", "VmHWM") in MiB; 0 once gone.
inline double statusMegabytes(int pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field + ":")) {
            return std::stod(line.substr(field.size() + 1)) / 1024; // kB
        }
    }
    return 0;
}

} // namespace vistrel::bench
