// What the benchmark programs share: one percentile, the machine's load beside
// every figure (the machine is shared with other work), command lines.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace vistrel::bench {

inline double ms(std::chrono::steady_clock::duration d) {
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

// "0.52 / 0.61": the load average over 1 and 5 minutes.
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

} // namespace vistrel::bench
