// A simulated Steam Frame of its own (tools/headset-sim: a real sshd in its own
// namespaces behind a veth pair, with /dev/video99 and an encoding ffmpeg),
// stopped when destroyed or once the test program has died. Needs root.
#pragma once

#include "ChildProcess.h"
#include "ScratchFolder.h"

#include <cstdint>
#include <memory>

namespace vistrel::test {

struct HeadsetSimulatorOptions {
    std::string size = "1280x720";
};

class HeadsetSimulator {
public:
    explicit HeadsetSimulator(const HeadsetSimulatorOptions& options = {});
    ~HeadsetSimulator();

    // The address to type, "10.77.N.2", this computer's end, "10.77.N.1",
    // and its link, "vistrel-simN".
    [[nodiscard]] const std::string& headsetAddress() const { return headsetAddress_; }
    [[nodiscard]] std::string localAddress() const { return "10.77." + instance_ + ".1"; }
    [[nodiscard]] std::string linkName() const { return "vistrel-sim" + instance_; }
    // SSH_AUTH_SOCK of an agent holding the key the headset's user accepts.
    [[nodiscard]] Environment agentEnvironment() const {
        return {{"SSH_AUTH_SOCK", (folder_ / "agent").string()}};
    }
    // The headset's host key as a known_hosts line, without line feed.
    [[nodiscard]] std::string knownHostsLine() const;

    // /usr/bin/ssh exactly as the application starts it, the real remote
    // script sending to `port` here, with the agent and `environment` added.
    [[nodiscard]] std::unique_ptr<ChildProcess> startSsh(std::uint16_t port,
                                                         const std::filesystem::path& knownHosts,
                                                         const Environment& environment = {},
                                                         const std::string& user = "steamos") const;

    // Runs a command among the headset's network, mounts and processes.
    ProcessResult exec(const std::vector<std::string>& command) const;
    [[nodiscard]] std::string processes() const {
        return exec({"ps", "-e", "-o", "pid=,args="}).out;
    }
    // Waits until no headset process's command line matches `pattern`.
    bool waitUntilGone(const std::string& pattern, std::chrono::milliseconds timeout) const;

private:
    ScratchFolder folder_;
    std::unique_ptr<ChildProcess> agent_;
    std::string instance_;
    std::string headsetAddress_;
};

} // namespace vistrel::test
