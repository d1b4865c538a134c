// A simulated Steam Frame for end-to-end tests: starts its own instance of
// tools/headset-sim (a real sshd in network, mount and PID namespaces of its
// own, reached over a veth pair, with a readable /dev/video99 and an ffmpeg
// that encodes a synthetic picture) when constructed, and stops it, leaving
// nothing behind, when destroyed.
//
// Typical use:
//
//     if (const auto reason = HeadsetSimulator::skipReason(); !reason.empty()) {
//         GTEST_SKIP() << reason;
//     }
//     HeadsetSimulator headset;                       // or with options
//     ConnectionConfiguration configuration(headset.headsetAddress(), "steamos", port);
//     // trust the headset without asking: write headset.knownHostsLine() + "\n"
//     // into the known-hosts file, then run /usr/bin/ssh with
//     // RemoteCommand::sshArguments(configuration, headset.localAddress(), knownHosts)
//     // and headset.agentEnvironment() added to its environment.
//
// Every instance has its own addresses (10.77.N.2 for the headset, 10.77.N.1
// for this computer, N chosen free at start), so tests may run in parallel,
// also beside simulators other test programs started. Needs root.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace vistrel::test {

struct HeadsetSimulatorOptions {
    // The SSH user. A name the host does not know exists only on the headset,
    // with bash as its login shell and a home folder of its own.
    std::string user = "steamos";
    // The test key held by agentEnvironment()'s agent may log in. false: the
    // user has no authorized key at all, so every login is refused.
    bool authorizeTestKey = true;

    // Failure scenarios; the defaults give a working headset.
    bool ffmpegInstalled = true; // false: `ffmpeg` is nowhere on the headset
    bool videoDevice = true;     // false: no /dev/video99
    bool sshdRunning = true;     // false: connections to port 22 are refused
    bool changedHostKey = false; // true: a fresh host key, not knownHostsLine()'s
    // true: the encoder ignores SIGINT and SIGTERM, so only SIGKILL ends it.
    bool stubbornEncoder = false;

    // The synthetic picture that replaces the camera.
    std::string size = "1280x720";
    int rate = 20;
    // A whole lavfi source (e.g. "smptebars=size=640x480:rate=10"); when not
    // empty it replaces size and rate.
    std::string source;
};

// One process running on the headset, as this computer sees it.
struct HeadsetProcess {
    pid_t pid = -1;          // this computer's process id
    std::string name;        // the short name, as in /proc/<pid>/comm ("ffmpeg", "sshd")
    std::string commandLine; // arguments joined with spaces
};

class HeadsetSimulator {
public:
    // Empty when simulators can run here; otherwise why not (not root, a
    // program missing, namespaces not permitted), for GTEST_SKIP.
    static std::string skipReason();

    // The headset-sim program in the source tree.
    static std::string toolPath();

    // Starts the simulator and waits until sshd listens (unless
    // sshdRunning is false). Throws std::runtime_error with the tool's own
    // explanation when it cannot start.
    explicit HeadsetSimulator(HeadsetSimulatorOptions options = {});
    // Stops it; nothing of it remains afterwards.
    ~HeadsetSimulator();
    HeadsetSimulator(const HeadsetSimulator&) = delete;
    HeadsetSimulator& operator=(const HeadsetSimulator&) = delete;

    // Stops it now (the destructor then does nothing), so a test can check
    // that nothing remains. Throws std::runtime_error when stopping fails.
    void stop();

    [[nodiscard]] int instance() const noexcept { return instance_; }
    [[nodiscard]] const HeadsetSimulatorOptions& options() const noexcept { return options_; }
    // The address to type: the headset's end of the veth pair, "10.77.N.2".
    [[nodiscard]] const std::string& headsetAddress() const noexcept { return headsetAddress_; }
    // This computer's end, "10.77.N.1": the destination the remote script
    // sends its video to.
    [[nodiscard]] const std::string& localAddress() const noexcept { return localAddress_; }
    // This computer's interface of the veth pair, "vistrel-simN".
    [[nodiscard]] std::string interfaceName() const;
    // The simulator's state folder on this computer (gone after stop).
    [[nodiscard]] std::string stateFolder() const;

    // Entries to add to the environment of ssh (SSH_AUTH_SOCK) so that it
    // logs in with the test key, held by an ssh-agent that lives as long as
    // this object. The OpenSSH client ignores HOME for its keys, hence the agent.
    [[nodiscard]] std::map<std::string, std::string> agentEnvironment() const;
    // The test key's public half, one line "ssh-ed25519 AAAA… comment".
    [[nodiscard]] std::string testPublicKey() const;

    // The headset's usual host key as a known_hosts line for headsetAddress(),
    // without line feed. With changedHostKey the headset presents another key,
    // so a file holding this line makes ssh refuse it.
    [[nodiscard]] std::string knownHostsLine() const;

    // The processes now running on the headset: its init, sshd and the
    // sessions, the remote script's bash and the encoder. Empty once stopped.
    [[nodiscard]] std::vector<HeadsetProcess> processes() const;
    // Sends `signal` to every headset process whose short name is `name`;
    // returns how many were signalled.
    int signalProcesses(std::string_view name, int signal) const;
    // Waits until no headset process has the short name `name`; false on
    // timeout.
    bool waitUntilGone(std::string_view name, std::chrono::milliseconds timeout) const;

private:
    class TestKey;

    HeadsetSimulatorOptions options_;
    std::unique_ptr<TestKey> key_;
    int instance_ = -1;
    pid_t initPid_ = -1;
    std::string pidNamespace_;
    std::string headsetAddress_;
    std::string localAddress_;
    bool running_ = false;
};

} // namespace vistrel::test
