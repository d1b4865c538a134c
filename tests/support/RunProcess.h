// Runs a real program to completion for a test: argument vector in, exit
// status and both output streams out.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace vistrel::test {

struct ProcessResult {
    int exitStatus = -1; // exit code, or 128 + signal number
    std::string out;
    std::string err;
    bool timedOut = false;
};

// argv[0] is looked up on PATH. `input` is written to standard input, which is
// then closed. Extra environment entries override the inherited ones.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = {},
                         const std::map<std::string, std::string>& environment = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

} // namespace vistrel::test
