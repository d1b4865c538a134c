#include "HeadsetSimulator.h"

#include "connection/ConnectionConfiguration.h"
#include "connection/RemoteCommand.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace vistrel::test {
namespace {

constexpr const char* tool = VISTREL_HEADSET_SIM;

std::string checked(const ProcessResult& result) {
    if (result.exitStatus != 0) {
        throw std::runtime_error(result.err);
    }
    return result.out;
}

} // namespace

HeadsetSimulator::HeadsetSimulator(const HeadsetSimulatorOptions& options) {
    const std::string key = (folder_ / "key").string();
    checked(runProcess({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", key}));
    agent_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"ssh-agent", "-D", "-a", (folder_ / "agent").string()});
    for (int i = 0; i < 200 && !std::filesystem::exists(folder_ / "agent"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    checked(runProcess({"ssh-add", "-q", key}, {}, agentEnvironment()));
    // --owner-pid: a test program that dies still leaves nothing behind.
    std::istringstream(checked(
        runProcess({tool, "start", "--instance", "auto", "--size", options.size, "--authorized-key",
                    key + ".pub", "--owner-pid", std::to_string(::getpid())},
                   {}, {}, std::chrono::seconds(90)))) >>
        headsetAddress_;
    instance_ = headsetAddress_.substr(6, headsetAddress_.rfind('.') - 6);
}

HeadsetSimulator::~HeadsetSimulator() {
    runProcess({tool, "stop", "--instance", instance_});
}

std::string HeadsetSimulator::knownHostsLine() const {
    std::ifstream file(std::filesystem::path(tool).parent_path() /
                       "host-key/ssh_host_ed25519_key.pub");
    std::string type;
    std::string blob;
    file >> type >> blob;
    return headsetAddress_ + " " + type + " " + blob;
}

std::unique_ptr<ChildProcess> HeadsetSimulator::startSsh(std::uint16_t port,
                                                         const std::filesystem::path& knownHosts,
                                                         const Environment& environment,
                                                         const std::string& user) const {
    auto argv = RemoteCommand::sshArguments(ConnectionConfiguration(headsetAddress_, user, port),
                                            localAddress(), knownHosts.string());
    argv.insert(argv.begin(), "/usr/bin/ssh");
    auto merged = agentEnvironment();
    merged.insert(environment.begin(), environment.end());
    return std::make_unique<ChildProcess>(argv, merged);
}

ProcessResult HeadsetSimulator::exec(const std::vector<std::string>& command) const {
    std::vector<std::string> argv{tool, "exec", "--instance", instance_, "--"};
    argv.insert(argv.end(), command.begin(), command.end());
    return runProcess(argv);
}

bool HeadsetSimulator::waitUntilGone(const std::string& pattern,
                                     std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (exec({"pgrep", "-f", pattern}).exitStatus != 1) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

} // namespace vistrel::test
