// Every way the start can fail on the headset's side, run for real: what
// /usr/bin/ssh and the remote script print and the status they exit with are
// what the session's failure classification is built on.
#include "HeadsetSimulator.h"
#include "RemoteScriptSession.h"
#include "UdpProbe.h"

#include <functional>
#include <gtest/gtest.h>

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;

struct FailureCase {
    const char* name;
    std::function<void(HeadsetSimulatorOptions&)> scenario;
    const char* errorText; // must appear in standard error
    int exitStatus;
    const char* output; // the whole standard output
};

class SshFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(SshFailureTest, GivesTheTextAndStatusTheClassificationExpects) {
    if (const auto reason = HeadsetSimulator::skipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    const auto& failure = GetParam();
    HeadsetSimulatorOptions options;
    failure.scenario(options);
    HeadsetSimulator headset(options);
    UdpProbe probe(headset.localAddress());
    RemoteScriptSession session(headset, probe.port());

    auto& ssh = session.start();
    const auto status = ssh.waitForExit(60s);
    ASSERT_TRUE(status.has_value()) << "ssh still running; it said: " << ssh.errorText();
    EXPECT_EQ(*status, failure.exitStatus) << ssh.errorText();
    EXPECT_NE(ssh.errorText().find(failure.errorText), std::string::npos) << ssh.errorText();
    EXPECT_EQ(ssh.pendingOutput(), failure.output);
    // Nothing was ever asked: these failures need no answer from the user.
    EXPECT_TRUE(session.askpassQuestions().empty());
    EXPECT_TRUE(probe.receiveFor(500ms).empty());
    EXPECT_TRUE(headset.waitUntilGone("bash", 2s));
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, SshFailureTest,
    ::testing::Values(
        FailureCase{"NoFfmpeg", [](auto& o) { o.ffmpegInstalled = false; },
                    "ffmpeg is not installed on the Steam Frame.\n", 1, "VL_STOPPED\n"},
        FailureCase{"NoVideoDevice", [](auto& o) { o.videoDevice = false; },
                    "Cannot read /dev/video99. Enable the headset camera stream and check device "
                    "permissions.\n",
                    1, "VL_STOPPED\n"},
        FailureCase{"SshdNotRunning", [](auto& o) { o.sshdRunning = false; }, "Connection refused",
                    255, ""},
        FailureCase{"UserWithoutKey", [](auto& o) { o.authorizeTestKey = false; },
                    "Permission denied", 255, ""},
        FailureCase{"ChangedHostKey", [](auto& o) { o.changedHostKey = true; },
                    "REMOTE HOST IDENTIFICATION HAS CHANGED", 255, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SshFailureMessages, RefusalsNameTheUserAndTheHost) {
    if (const auto reason = HeadsetSimulator::skipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    {
        HeadsetSimulatorOptions options;
        options.sshdRunning = false;
        HeadsetSimulator headset(options);
        RemoteScriptSession session(headset, 8090);
        auto& ssh = session.start();
        ASSERT_EQ(ssh.waitForExit(60s), 255);
        EXPECT_EQ(ssh.errorText(), "ssh: connect to host " + headset.headsetAddress() +
                                       " port 22: Connection refused\r\n");
    }
    {
        HeadsetSimulatorOptions options;
        options.authorizeTestKey = false;
        HeadsetSimulator headset(options);
        RemoteScriptSession session(headset, 8090);
        auto& ssh = session.start();
        ASSERT_EQ(ssh.waitForExit(60s), 255);
        EXPECT_EQ(ssh.errorText(),
                  "steamos@" + headset.headsetAddress() + ": Permission denied (publickey).\r\n");
    }
}

} // namespace
} // namespace vistrel::test
