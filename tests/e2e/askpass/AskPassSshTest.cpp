// The real OpenSSH client asks the real askpass helper about the simulated
// headset's unknown host key, and a person answers on the X display.
#include "ChildProcess.h"
#include "HeadsetSimulator.h"
#include "Keyboard.h"
#include "MediaFiles.h"
#include "connection/ConnectionConfiguration.h"
#include "connection/RemoteCommand.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using vistrel::ConnectionConfiguration;
using vistrel::test::ChildProcess;
using vistrel::test::HeadsetSimulator;
using vistrel::test::readLines;
namespace keyboard = vistrel::test::keyboard;

namespace {

constexpr auto windowTimeout = 30s;

std::string skipReason() {
    if (std::getenv("DISPLAY") == nullptr) {
        return "no X display (DISPLAY is unset); scripts/test.sh runs these under Xvfb";
    }
    return HeadsetSimulator::skipReason();
}

class AskPassSsh : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto reason = skipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        char pattern[] = "/tmp/vistrel-askpass-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        knownHosts_ = folder_ / "known_hosts";
        headset_ = std::make_unique<HeadsetSimulator>();
    }

    void TearDown() override {
        headset_.reset();
        if (!folder_.empty()) {
            std::error_code ignored;
            fs::remove_all(folder_, ignored);
        }
    }

    // /usr/bin/ssh with the application's own options and askpass
    // environment; only the remote command is a plain echo. The helper draws
    // on the desktop's display, which the SSH client passes on to it.
    std::unique_ptr<ChildProcess> startSsh() {
        const ConnectionConfiguration configuration(headset_->headsetAddress(), "steamos", 8090);
        auto argv = vistrel::RemoteCommand::sshArguments(configuration, headset_->localAddress(),
                                                         knownHosts_.string());
        argv.back() = "echo connected";
        argv.insert(argv.begin(), "/usr/bin/ssh");
        auto environment = headset_->agentEnvironment();
        environment["SSH_ASKPASS"] = VISTREL_ASKPASS_PATH;
        environment["SSH_ASKPASS_REQUIRE"] = "force";
        return std::make_unique<ChildProcess>(argv, environment);
    }

    fs::path folder_;
    fs::path knownHosts_;
    std::unique_ptr<HeadsetSimulator> headset_;
};

} // namespace

TEST_F(AskPassSsh, AcceptedHostKeyIsKeptAndTrustedNextTime) {
    auto ssh = startSsh();
    ASSERT_TRUE(keyboard::waitForFocus("Trust this Steam Frame?", windowTimeout))
        << ssh->errorText();
    keyboard::press("Return");

    ASSERT_EQ(ssh->readLine(60s).value_or("<no line>"), "connected") << ssh->errorText();
    EXPECT_EQ(ssh->waitForExit(30s), 0) << ssh->errorText();
    EXPECT_EQ(readLines(knownHosts_), std::vector<std::string>{headset_->knownHostsLine()});

    // The stored key answers the next connection's question: no dialog, and
    // nobody at the keyboard.
    auto again = startSsh();
    EXPECT_EQ(again->readLine(60s).value_or("<no line>"), "connected") << again->errorText();
    EXPECT_EQ(again->waitForExit(30s), 0) << again->errorText();
    EXPECT_EQ(readLines(knownHosts_), std::vector<std::string>{headset_->knownHostsLine()});
}

TEST_F(AskPassSsh, CancelledHostKeyIsRefusedAndNotKept) {
    auto ssh = startSsh();
    ASSERT_TRUE(keyboard::waitForFocus("Trust this Steam Frame?", windowTimeout))
        << ssh->errorText();
    // From the default button to Cancel, and press it.
    keyboard::press("Tab");
    keyboard::press("space");

    EXPECT_EQ(ssh->readLine(60s), std::nullopt);
    EXPECT_EQ(ssh->waitForExit(30s), 255) << ssh->errorText();
    EXPECT_NE(ssh->errorText().find("Host key verification failed."), std::string::npos)
        << ssh->errorText();
    EXPECT_TRUE(readLines(knownHosts_).empty());
}
