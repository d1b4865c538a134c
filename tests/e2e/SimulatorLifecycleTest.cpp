// The simulated headset itself: simulators run side by side, refuse a taken
// instance, and leave nothing on this computer once stopped, even after a
// start that went wrong half-way.
#include "HeadsetSimulator.h"
#include "RemoteScriptSession.h"
#include "RunProcess.h"
#include "UdpProbe.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class SimulatorLifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto reason = HeadsetSimulator::skipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
    }
};

bool mountedBelow(const std::string& folder) {
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mounts, line)) {
        if (line.find(folder) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Streams for a moment so that sshd, the script and the encoder all run.
void streamBriefly(const HeadsetSimulator& headset) {
    UdpProbe probe(headset.localAddress());
    RemoteScriptSession session(headset, probe.port());
    auto& ssh = session.start();
    ASSERT_EQ(ssh.readLine(30s).value_or("<no line>"), "VL_STARTED") << ssh.errorText();
    ASSERT_FALSE(probe.receiveCount(10, 15s).empty());
    ssh.write("STOP\n");
    EXPECT_EQ(ssh.waitForExit(20s), 0) << ssh.errorText();
}

TEST_F(SimulatorLifecycleTest, NothingRemainsOnThisComputerAfterStop) {
    const std::set<std::string> hostPaths{"/dev/video99", "/run/sshd", "/run/mount"};
    std::set<std::string> before;
    for (const auto& path : hostPaths) {
        if (fs::exists(path)) {
            before.insert(path);
        }
    }
    ASSERT_FALSE(before.contains("/dev/video99")) << "this computer has a /dev/video99 of its own";

    HeadsetSimulator headset;
    UdpProbe probe(headset.localAddress());
    auto session = std::make_unique<RemoteScriptSession>(headset, probe.port());
    auto& ssh = session->start();
    ASSERT_EQ(ssh.readLine(30s).value_or("<no line>"), "VL_STARTED") << ssh.errorText();
    ASSERT_FALSE(probe.receiveCount(10, 15s).empty());
    std::set<std::string> names;
    for (const auto& process : headset.processes()) {
        names.insert(process.name);
    }
    EXPECT_TRUE(names.contains("sshd"));
    EXPECT_TRUE(names.contains("ffmpeg"));
    const auto processes = headset.processes();
    ASSERT_FALSE(processes.empty());
    const auto headsetNamespace =
        fs::read_symlink("/proc/" + std::to_string(processes.front().pid) + "/ns/pid");
    const std::string state = headset.stateFolder();
    const std::string interface = headset.interfaceName();
    EXPECT_TRUE(fs::exists("/sys/class/net/" + interface));

    // Stopped while a stream runs: the hardest case for leftovers.
    headset.stop();
    EXPECT_EQ(ssh.waitForExit(30s).has_value(), true);
    session.reset();

    EXPECT_TRUE(headset.processes().empty());
    for (const auto& process : processes) {
        std::error_code gone;
        const auto now = fs::read_symlink("/proc/" + std::to_string(process.pid) + "/ns/pid", gone);
        EXPECT_TRUE(gone || now != headsetNamespace) << process.name << " survived";
    }
    EXPECT_FALSE(fs::exists("/sys/class/net/" + interface));
    EXPECT_FALSE(fs::exists(state));
    EXPECT_FALSE(mountedBelow(state));
    for (const auto& path : hostPaths) {
        EXPECT_EQ(fs::exists(path), before.contains(path)) << path;
    }
    const auto user = runProcess({"getent", "passwd", "steamos"});
    EXPECT_NE(user.exitStatus, 0) << "the headset's user leaked: " << user.out;
}

TEST_F(SimulatorLifecycleTest, TwoSimulatorsRunSideBySide) {
    HeadsetSimulator first;
    HeadsetSimulator second;
    EXPECT_NE(first.instance(), second.instance());
    EXPECT_NE(first.headsetAddress(), second.headsetAddress());
    streamBriefly(first);
    streamBriefly(second);
    const std::string firstState = first.stateFolder();
    first.stop();
    EXPECT_FALSE(fs::exists(firstState));
    // Stopping one leaves the other working.
    streamBriefly(second);
}

TEST_F(SimulatorLifecycleTest, StartRefusesAnInstanceThatIsRunning) {
    HeadsetSimulator headset;
    const auto again = runProcess(
        {HeadsetSimulator::toolPath(), "start", "--instance", std::to_string(headset.instance())});
    EXPECT_EQ(again.exitStatus, 1);
    EXPECT_NE(again.err.find("already running"), std::string::npos) << again.err;
    EXPECT_TRUE(again.out.empty());
    streamBriefly(headset);
}

TEST_F(SimulatorLifecycleTest, StopCleansUpAfterAStartThatFailedHalfWay) {
    // What a start leaves when it dies between creating the link and moving
    // one end into the headset: a state folder and both ends of the link here.
    const std::string instance = "253";
    const std::string state = "/var/lib/vistrel-headset-sim/" + instance;
    ASSERT_FALSE(fs::exists(state)) << "instance " << instance << " is in use";
    fs::create_directories(state + "/bin");
    std::ofstream(state + "/init.pid") << "999999\n";
    const auto link = runProcess({"ip", "link", "add", "vistrel-sim" + instance, "type", "veth",
                                  "peer", "name", "vsim-half" + instance});
    ASSERT_EQ(link.exitStatus, 0) << link.err;

    const auto stopped = runProcess({HeadsetSimulator::toolPath(), "stop", "--instance", instance});
    EXPECT_EQ(stopped.exitStatus, 0) << stopped.err;
    EXPECT_FALSE(fs::exists(state));
    EXPECT_FALSE(fs::exists("/sys/class/net/vistrel-sim" + instance));
    EXPECT_FALSE(fs::exists("/sys/class/net/vsim-half" + instance));
}

struct BadStart {
    const char* name;
    std::vector<std::string> options;
    const char* message;
};

class SimulatorBadStartTest : public ::testing::TestWithParam<BadStart> {};

TEST_P(SimulatorBadStartTest, IsRefusedWithAReasonAndLeavesNothing) {
    if (const auto reason = HeadsetSimulator::skipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    std::vector<std::string> argv{HeadsetSimulator::toolPath(), "start", "--instance", "252"};
    argv.insert(argv.end(), GetParam().options.begin(), GetParam().options.end());
    const auto result = runProcess(argv);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
    EXPECT_FALSE(fs::exists("/var/lib/vistrel-headset-sim/252"));
    EXPECT_FALSE(fs::exists("/sys/class/net/vistrel-sim252"));
}

INSTANTIATE_TEST_SUITE_P(
    Options, SimulatorBadStartTest,
    ::testing::Values(BadStart{"Size", {"--size", "1280"}, "size must look like 1280x720"},
                      BadStart{"Rate", {"--rate", "0"}, "rate must be a positive whole number"},
                      BadStart{"User", {"--user", "Robert'); DROP"}, "is not a valid login name"},
                      BadStart{"Source", {"--source", "testsrc2;reboot"}, "holds characters"},
                      BadStart{"Key", {"--authorized-key", "/nonexistent/key.pub"}, "cannot read"},
                      BadStart{"Unknown", {"--frobnicate"}, "unknown option"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vistrel::test
