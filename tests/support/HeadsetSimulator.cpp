#include "HeadsetSimulator.h"

#include "ChildProcess.h"
#include "RunProcess.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace vistrel::test {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view stateRoot = "/var/lib/vistrel-headset-sim";

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool onPath(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return ::access(program.c_str(), X_OK) == 0;
    }
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

std::string computeSkipReason() {
    if (::geteuid() != 0) {
        return "needs root: the simulated headset creates network, mount and PID namespaces";
    }
    const std::array<const char*, 13> programs{
        "ip",         "unshare",   "nsenter", "setpriv", "mknod",          "mount", "ssh",
        "ssh-keygen", "ssh-agent", "ssh-add", "ffmpeg",  "/usr/sbin/sshd", "bash"};
    std::string missing;
    for (const char* program : programs) {
        if (!onPath(program)) {
            missing += missing.empty() ? "" : ", ";
            missing += program;
        }
    }
    if (!missing.empty()) {
        return "the simulated headset needs " + missing + " (run scripts/install-deps.sh)";
    }
    const auto probe = runProcess({"unshare", "--net", "--mount", "--pid", "--fork", "true"}, {},
                                  {}, std::chrono::seconds(20));
    if (probe.exitStatus != 0) {
        return "namespaces are not permitted here: " + trimmed(probe.err);
    }
    return {};
}

std::string pidNamespaceOf(pid_t pid) {
    std::error_code error;
    const auto target = fs::read_symlink("/proc/" + std::to_string(pid) + "/ns/pid", error);
    return error ? std::string() : target.string();
}

} // namespace

// The test key and the ssh-agent that holds it, in a private folder.
class HeadsetSimulator::TestKey {
public:
    TestKey() {
        std::string pattern = "/tmp/vistrel-headset-key-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a folder for the test key");
        }
        folder_ = pattern;
        const auto generated = runProcess({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C",
                                           "vistrel test key", "-f", keyPath()});
        if (generated.exitStatus != 0) {
            throw std::runtime_error("ssh-keygen failed: " + generated.err);
        }
        agent_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"ssh-agent", "-D", "-a", socketPath()});
        for (int i = 0; i < 200 && !fs::exists(socketPath()); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        const auto added = runProcess({"ssh-add", "-q", keyPath()}, {}, environment());
        if (added.exitStatus != 0) {
            throw std::runtime_error("ssh-add failed: " + added.err);
        }
    }
    ~TestKey() {
        agent_.reset();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    [[nodiscard]] std::string keyPath() const { return (folder_ / "key").string(); }
    [[nodiscard]] std::string publicKeyPath() const { return keyPath() + ".pub"; }
    [[nodiscard]] std::string socketPath() const { return (folder_ / "agent.socket").string(); }
    [[nodiscard]] std::map<std::string, std::string> environment() const {
        return {{"SSH_AUTH_SOCK", socketPath()}};
    }

private:
    fs::path folder_;
    std::unique_ptr<ChildProcess> agent_;
};

std::string HeadsetSimulator::skipReason() {
    static const std::string reason = computeSkipReason();
    return reason;
}

std::string HeadsetSimulator::toolPath() {
    return VISTREL_HEADSET_SIM;
}

HeadsetSimulator::HeadsetSimulator(HeadsetSimulatorOptions options)
    : options_(std::move(options)), key_(std::make_unique<TestKey>()) {
    std::vector<std::string> argv{toolPath(), "start",  "--instance",
                                  "auto",     "--user", options_.user};
    if (options_.authorizeTestKey) {
        argv.insert(argv.end(), {"--authorized-key", key_->publicKeyPath()});
    }
    argv.insert(argv.end(), {"--size", options_.size, "--rate", std::to_string(options_.rate)});
    if (!options_.source.empty()) {
        argv.insert(argv.end(), {"--source", options_.source});
    }
    const std::array<std::pair<bool, const char*>, 5> switches{{
        {!options_.ffmpegInstalled, "--no-ffmpeg"},
        {!options_.videoDevice, "--no-video-device"},
        {!options_.sshdRunning, "--no-sshd"},
        {options_.changedHostKey, "--changed-host-key"},
        {options_.stubbornEncoder, "--stubborn-encoder"},
    }};
    for (const auto& [on, name] : switches) {
        if (on) {
            argv.emplace_back(name);
        }
    }
    const auto started = runProcess(argv, {}, {}, std::chrono::seconds(90));
    const std::string address = trimmed(started.out);
    if (started.exitStatus != 0 || address.rfind("10.77.", 0) != 0) {
        throw std::runtime_error("headset-sim start failed (" + std::to_string(started.exitStatus) +
                                 "): " + started.err);
    }
    running_ = true;
    headsetAddress_ = address;
    const auto dot = address.find('.', 6);
    instance_ = std::stoi(address.substr(6, dot - 6));
    localAddress_ = "10.77." + std::to_string(instance_) + ".1";
    initPid_ = static_cast<pid_t>(std::stol(readText(fs::path(stateFolder()) / "init.pid")));
    pidNamespace_ = pidNamespaceOf(initPid_);
}

HeadsetSimulator::~HeadsetSimulator() {
    try {
        stop();
    } catch (...) {
        // A destructor cannot report; `headset-sim stop --instance all` cleans up.
    }
}

void HeadsetSimulator::stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    const auto stopped = runProcess({toolPath(), "stop", "--instance", std::to_string(instance_)},
                                    {}, {}, std::chrono::seconds(60));
    if (stopped.exitStatus != 0) {
        throw std::runtime_error("headset-sim stop failed: " + stopped.err);
    }
}

std::string HeadsetSimulator::interfaceName() const {
    return "vistrel-sim" + std::to_string(instance_);
}

std::string HeadsetSimulator::stateFolder() const {
    return std::string(stateRoot) + "/" + std::to_string(instance_);
}

std::map<std::string, std::string> HeadsetSimulator::agentEnvironment() const {
    return key_->environment();
}

std::string HeadsetSimulator::testPublicKey() const {
    return trimmed(readText(key_->publicKeyPath()));
}

std::string HeadsetSimulator::knownHostsLine() const {
    const fs::path key =
        fs::path(VISTREL_HEADSET_SIM).parent_path() / "host-key" / "ssh_host_ed25519_key.pub";
    std::istringstream fields(readText(key));
    std::string type;
    std::string blob;
    fields >> type >> blob;
    return headsetAddress_ + " " + type + " " + blob;
}

std::vector<HeadsetProcess> HeadsetSimulator::processes() const {
    std::vector<HeadsetProcess> found;
    if (pidNamespace_.empty()) {
        return found;
    }
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const auto pid = static_cast<pid_t>(std::stol(name));
        if (pidNamespaceOf(pid) != pidNamespace_) {
            continue;
        }
        // A zombie has ended already; only its parent has not noticed yet.
        const std::string stat = readText(entry.path() / "stat");
        const auto state = stat.rfind(") ");
        if (state == std::string::npos || stat.size() < state + 3 || stat[state + 2] == 'Z') {
            continue;
        }
        HeadsetProcess process;
        process.pid = pid;
        process.name = trimmed(readText(entry.path() / "comm"));
        process.commandLine = readText(entry.path() / "cmdline");
        for (char& c : process.commandLine) {
            c = c == '\0' ? ' ' : c;
        }
        process.commandLine = trimmed(process.commandLine);
        // A process that ended while being read has nothing left to show.
        if (!process.name.empty()) {
            found.push_back(std::move(process));
        }
    }
    return found;
}

int HeadsetSimulator::signalProcesses(std::string_view name, int signal) const {
    int count = 0;
    for (const auto& process : processes()) {
        if (process.name == name && ::kill(process.pid, signal) == 0) {
            ++count;
        }
    }
    return count;
}

bool HeadsetSimulator::waitUntilGone(std::string_view name,
                                     std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        bool present = false;
        for (const auto& process : processes()) {
            present = present || process.name == name;
        }
        if (!present) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace vistrel::test
