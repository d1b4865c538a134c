#include "HeadsetSimulator.h"

#include "MediaFiles.h"

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace vistrel::test {

namespace {

const std::string tool = VISTREL_HEADSET_SIM;

ProcessResult run(const std::vector<std::string>& argv, const Environment& environment = {}) {
    const ProcessResult result = runProcess(argv, {}, environment, std::chrono::seconds(90));
    if (result.exitStatus != 0) {
        throw std::runtime_error(argv.at(0) + " " + argv.at(1) + " failed: " + result.err);
    }
    return result;
}

} // namespace

std::string HeadsetSimulator::skipReason() {
    return ::geteuid() == 0 ? ""
                            : "needs root: the simulated headset creates network, mount and PID "
                              "namespaces";
}

HeadsetSimulator::HeadsetSimulator(HeadsetSimulatorOptions options) : options_(std::move(options)) {
    keyFolder_ = "/tmp/vistrel-headset-key-XXXXXX";
    if (::mkdtemp(keyFolder_.data()) == nullptr) {
        throw std::runtime_error("cannot create a folder for the test key");
    }
    const std::string key = keyFolder_ + "/key";
    run({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", key});
    agent_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"ssh-agent", "-D", "-a", keyFolder_ + "/agent"});
    for (int i = 0; i < 200 && !std::filesystem::exists(keyFolder_ + "/agent"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    run({"ssh-add", "-q", key}, agentEnvironment());

    std::vector<std::string> argv{tool,     "start",       "--instance",
                                  "auto",   "--owner-pid", std::to_string(::getpid()),
                                  "--user", options_.user};
    for (const auto& [on, words] : std::vector<std::pair<bool, std::vector<std::string>>>{
             {options_.authorizeTestKey, {"--authorized-key", key + ".pub"}},
             {!options_.source.empty(), {"--source", options_.source}},
             {!options_.ffmpegInstalled, {"--no-ffmpeg"}},
             {!options_.videoDevice, {"--no-video-device"}},
             {!options_.sshdRunning, {"--no-sshd"}},
             {options_.changedHostKey, {"--changed-host-key"}},
             {options_.stubbornEncoder, {"--stubborn-encoder"}}}) {
        argv.insert(argv.end(), on ? words.begin() : words.end(), words.end());
    }
    std::istringstream address(run(argv).out);
    address >> headsetAddress_;
    instance_ = headsetAddress_.substr(6, headsetAddress_.rfind('.') - 6); // 10.77.N.2
    localAddress_ = "10.77." + instance_ + ".1";
}

HeadsetSimulator::~HeadsetSimulator() {
    if (!instance_.empty()) {
        runProcess({tool, "stop", "--instance", instance_});
    }
    agent_.reset();
    std::filesystem::remove_all(keyFolder_);
}

Environment HeadsetSimulator::agentEnvironment() const {
    return {{"SSH_AUTH_SOCK", keyFolder_ + "/agent"}};
}

std::string HeadsetSimulator::knownHostsLine() const {
    std::istringstream fields(
        readFile(std::filesystem::path(tool).parent_path() / "host-key/ssh_host_ed25519_key.pub"));
    std::string type, blob;
    fields >> type >> blob;
    return headsetAddress_ + " " + type + " " + blob;
}

ProcessResult HeadsetSimulator::onHeadset(const std::vector<std::string>& command) const {
    std::vector<std::string> argv{tool, "exec", "--instance", instance_, "--"};
    argv.insert(argv.end(), command.begin(), command.end());
    return run(argv);
}

void HeadsetSimulator::setLinkUp(bool up) const {
    onHeadset({"ip", "link", "set", "eth0", up ? "up" : "down"});
}

std::vector<HeadsetProcess> HeadsetSimulator::processes() const {
    std::vector<HeadsetProcess> found;
    std::istringstream lines(onHeadset({"ps", "-eo", "pid=,stat=,comm=,args="}).out);
    for (std::string line; std::getline(lines, line);) {
        HeadsetProcess process;
        std::string state;
        std::istringstream fields(line);
        fields >> process.pid >> state >> process.name >> std::ws;
        std::getline(fields, process.commandLine);
        if (state[0] != 'Z' && process.name != "ps") { // a zombie has ended already
            found.push_back(process);
        }
    }
    return found;
}

int HeadsetSimulator::signalProcesses(const std::string& name, int signal) const {
    std::vector<std::string> kill{"kill", "-s", std::to_string(signal)};
    for (const auto& process : processes()) {
        if (process.name == name) {
            kill.push_back(std::to_string(process.pid));
        }
    }
    if (kill.size() > 3) {
        onHeadset(kill);
    }
    return static_cast<int>(kill.size() - 3);
}

bool HeadsetSimulator::waitUntilGone(const std::string& name,
                                     std::chrono::milliseconds timeout) const {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout;;) {
        bool present = false;
        for (const auto& process : processes()) {
            present = present || process.name == name;
        }
        if (!present || std::chrono::steady_clock::now() >= deadline) {
            return !present;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace vistrel::test
