// A simulated Steam Frame for end-to-end tests: its own instance of
// tools/headset-sim (a real sshd in network, mount and PID namespaces of its
// own, reached over a veth pair, with a readable /dev/video99 and an ffmpeg
// that encodes a synthetic picture), started when constructed and stopped,
// leaving nothing behind, when destroyed or when the test program dies.
// Every instance has its own addresses, so tests may run in parallel. To log
// in, write knownHostsLine() into the known-hosts file and add
// agentEnvironment() to ssh's environment. Needs root.
#pragma once

#include "ChildProcess.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace vistrel::test {

struct HeadsetSimulatorOptions {
    // A user the host does not know exists only on the headset.
    std::string user = "steamos";
    // false: the user has no authorized key, so every login is refused.
    bool authorizeTestKey = true;
    // Failure scenarios; the defaults give a working headset.
    bool ffmpegInstalled = true;
    bool videoDevice = true;      // false: no /dev/video99
    bool sshdRunning = true;      // false: connections to port 22 are refused
    bool changedHostKey = false;  // true: a fresh host key, not knownHostsLine()'s
    bool stubbornEncoder = false; // true: only SIGKILL ends the encoder
    // A lavfi source in place of the camera's 1280 × 720 testsrc2 at 20 a second.
    std::string source;
};

// One process on the headset, with its id there.
struct HeadsetProcess {
    int pid = -1;
    std::string name; // short name, as in /proc/<pid>/comm
    std::string commandLine;
};

class HeadsetSimulator {
public:
    // Empty when simulators can run here; otherwise why not, for GTEST_SKIP.
    static std::string skipReason();

    // Starts it and waits until sshd listens. Throws std::runtime_error with
    // the tool's explanation when it cannot start.
    explicit HeadsetSimulator(HeadsetSimulatorOptions options = {});
    ~HeadsetSimulator();
    HeadsetSimulator(const HeadsetSimulator&) = delete;
    HeadsetSimulator& operator=(const HeadsetSimulator&) = delete;

    [[nodiscard]] const HeadsetSimulatorOptions& options() const noexcept { return options_; }
    // The address to type ("10.77.N.2"), and this computer's end ("10.77.N.1").
    [[nodiscard]] const std::string& headsetAddress() const noexcept { return headsetAddress_; }
    [[nodiscard]] const std::string& localAddress() const noexcept { return localAddress_; }
    // SSH_AUTH_SOCK of an agent holding the test key, for ssh's environment.
    [[nodiscard]] Environment agentEnvironment() const;
    // The headset's usual host key as a known_hosts line, without line feed.
    [[nodiscard]] std::string knownHostsLine() const;

    // Cuts (false) or restores the link at the headset's end: packets vanish
    // without an error, like a headset out of Wi-Fi range.
    void setLinkUp(bool up) const;
    [[nodiscard]] std::vector<HeadsetProcess> processes() const;
    // Signals every headset process named `name`; returns how many.
    int signalProcesses(const std::string& name, int signal) const;
    bool waitUntilGone(const std::string& name, std::chrono::milliseconds timeout) const;

private:
    ProcessResult onHeadset(const std::vector<std::string>& command) const;

    HeadsetSimulatorOptions options_;
    std::string keyFolder_;
    std::unique_ptr<ChildProcess> agent_;
    std::string instance_;
    std::string headsetAddress_;
    std::string localAddress_;
};

} // namespace vistrel::test
