// /usr/bin/ssh with the application's arguments against one simulated headset,
// broken a little more for each row: the unknown host is asked about through
// the real askpass helper (a person at the X display answers) and kept in a
// known-hosts file whose path holds a space, quotes, a backslash and a percent
// sign; each failure ends with the sentence the user is shown.
#include "HeadsetSimulator.h"
#include "MediaFiles.h"
#include "Messages.h"
#include "connection/SshExitClassifier.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;

struct Row {
    const char* name;
    std::string onHeadset; // shell command run on the headset first
    std::string hosts;     // the known-hosts file before ("=": as the row before left it)
    const char* user;
    const char* press; // key the person presses in the helper; nullptr: nothing may be asked
    int status;
    const char* out;
    std::string sentence; // for a failure; otherwise what standard error holds
    std::string hostsAfter;
};

TEST(SshConnection, EachWayItEndsGivesItsSentence) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the askpass helper needs a display: xvfb-run";
    HeadsetSimulator headset({.size = "320x240"});
    ScratchFolder place;
    const auto folder = place.path() / "it's \"Application Support\" \\ 100%";
    std::filesystem::create_directories(folder);
    const auto knownHosts = folder / "known_hosts";
    const std::string trusted = headset.knownHostsLine() + "\n";
    const std::string other =
        headset.headsetAddress() + " ssh-ed25519 " +
        "AAAAC3NzaC1lZDI1NTE5AAAAIAeOKCFrVrQ0EVoOKz59Y3Ir5XQ/dCQQm3djb8C6c5F1\n";
    const char* both = "VL_STARTED\nVL_STOPPED\n";
    const Row rows[] = {
        {"unknown host refused", "", "", "steamos", "Escape", 255, "",
         "Host key verification failed.", ""},
        {"unknown host trusted", "", "=", "steamos", "Return", 0, both, "", trusted},
        {"known host asks nothing", "", "=", "steamos", nullptr, 0, both, "", trusted},
        {"changed host key", "", other, "steamos", nullptr, 255, "",
         std::string(Messages::hostKeyChanged), other},
        {"login refused", "", trusted, "nobody", nullptr, 255, "",
         std::string(Messages::authenticationFailed), trusted},
        {"no sshd", "pkill -x sshd; while pgrep -x sshd; do sleep 0.1; done", "=", "steamos",
         nullptr, 255, "", std::string(Messages::connectionRefused), trusted},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.onHeadset.empty()) {
            ASSERT_EQ(headset.exec({"bash", "-c", row.onHeadset}).exitStatus, 0);
        }
        if (row.hosts != "=") {
            std::ofstream(knownHosts) << row.hosts;
        }
        const auto ssh = headset.startSsh(
            9, knownHosts,
            {{"SSH_ASKPASS", row.press != nullptr ? VISTREL_ASKPASS_PATH : "/bin/false"},
             {"SSH_ASKPASS_REQUIRE", "force"},
             // Keep the helper's own complaints out of what ssh said.
             {"XDG_RUNTIME_DIR", place.path().string()},
             {"LSAN_OPTIONS", "print_suppressions=0"}},
            row.user);
        ssh->write("STOP\n");
        if (row.press != nullptr) {
            // The person gives the helper's window the keyboard and answers.
            EXPECT_EQ(runProcess({"xdotool", "search", "--sync", "--onlyvisible", "--name",
                                  "^Trust this Steam Frame\\?$", "windowfocus", "--sync"},
                                 {}, {}, 30s)
                          .exitStatus,
                      0);
            EXPECT_EQ(runProcess({"xdotool", "key", row.press}).exitStatus, 0);
        }
        const auto status = ssh->waitForExit(60s);
        EXPECT_EQ(status, row.status) << ssh->errorText();
        EXPECT_EQ(ssh->pendingOutput(), row.out);
        EXPECT_EQ(row.status == 0
                      ? ssh->errorText()
                      : SshExitClassifier::message(ssh->errorText(), status.value_or(-1)),
                  row.sentence);
        EXPECT_EQ(readFile(knownHosts), row.hostsAfter);
    }
}

} // namespace
} // namespace vistrel::test
