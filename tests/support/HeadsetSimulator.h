// A simulated Steam Frame for end-to-end tests: an instance of
// tools/headset-sim of its own (a real sshd in network, mount and PID
// namespaces, reached over a veth pair, with /dev/video99 and an ffmpeg that
// encodes a synthetic picture), started when constructed and stopped, leaving
// nothing behind, when destroyed or once the test program has died. Needs root.
#pragma once

#include "ChildProcess.h"
#include "ScratchFolder.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vistrel::test {

// The tool's failure scenarios; the defaults give a working headset.
struct HeadsetSimulatorOptions {
    bool authorizeTestKey = true; // false: every login is refused
    bool ffmpegInstalled = true;
    bool videoDevice = true;
    bool sshdRunning = true;     // false: connections are refused
    bool changedHostKey = false; // true: knownHostsLine() no longer matches
    std::string size = "1280x720";
    std::string sizeChange{}; // "S:WxH": the camera switches to WxH after S seconds
};

class HeadsetSimulator {
public:
    // Empty when simulators can run here, otherwise why not.
    static std::string skipReason();

    explicit HeadsetSimulator(HeadsetSimulatorOptions options = {});
    ~HeadsetSimulator();
    HeadsetSimulator(const HeadsetSimulator&) = delete;
    HeadsetSimulator& operator=(const HeadsetSimulator&) = delete;

    // The address to type, "10.77.N.2", and this computer's end, "10.77.N.1".
    [[nodiscard]] const std::string& headsetAddress() const { return headsetAddress_; }
    [[nodiscard]] const std::string& localAddress() const { return localAddress_; }
    [[nodiscard]] std::string stateFolder() const;
    // This computer's end of the link, "vistrel-simN".
    [[nodiscard]] std::string linkName() const { return "vistrel-sim" + instance_; }
    // SSH_AUTH_SOCK of an agent that holds the key the headset's user accepts
    // (ssh ignores HOME for its keys).
    [[nodiscard]] std::map<std::string, std::string> agentEnvironment() const;
    // The headset's usual host key as a known_hosts line, without line feed.
    [[nodiscard]] std::string knownHostsLine() const;

    // /usr/bin/ssh exactly as the application starts it, the real remote
    // script sending to `port` here, with the agent and `environment` added.
    [[nodiscard]] std::unique_ptr<ChildProcess>
    startSsh(std::uint16_t port, const std::filesystem::path& knownHosts,
             const std::map<std::string, std::string>& environment = {},
             const std::string& user = "steamos") const;

    // Runs a command on the headset: its network, mounts and processes.
    ProcessResult exec(const std::vector<std::string>& command) const;
    // `ps` of the headset, for failure messages.
    [[nodiscard]] std::string processes() const;
    // Signals the headset processes named `name`; how many were signalled.
    int signalProcesses(const std::string& name, int signal) const;
    // Waits until no headset process's command line matches `pattern`.
    bool waitUntilGone(const std::string& pattern, std::chrono::milliseconds timeout) const;

private:
    ScratchFolder folder_;
    std::unique_ptr<ChildProcess> agent_;
    std::string instance_;
    std::string headsetAddress_;
    std::string localAddress_;
};

} // namespace vistrel::test
