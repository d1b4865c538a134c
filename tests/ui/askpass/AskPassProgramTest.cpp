// The real askpass program on the X display, answered by a person at the
// keyboard (xdotool): what it writes and its exit status.
#include "ChildProcess.h"

#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* helper = VISTREL_ASKPASS_PATH;
constexpr const char* secretTitle = "^Connect to Steam Frame$";

// The person gives the window titled `title` (a pattern) the keyboard, types
// `text` and presses `key` (an X key name; none when empty).
void answer(const std::string& title, const std::string& text, const std::string& key) {
    EXPECT_EQ(runProcess({"xdotool", "search", "--sync", "--onlyvisible", "--name", title,
                          "windowfocus", "--sync"},
                         {}, {}, 30s)
                  .exitStatus,
              0)
        << "no window " << title;
    EXPECT_EQ(runProcess({"xdotool", "type", text}).exitStatus, 0);
    EXPECT_TRUE(key.empty() || runProcess({"xdotool", "key", key}).exitStatus == 0);
}

TEST(AskPassProgram, WritesTheAnswerOrNothing) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    struct Case {
        std::vector<std::string> arguments;
        std::string text;
        std::string key;
        std::string out;
        int status;
    };
    // A confirmation's "yes" is answered in the SSH connection test's trusted host row.
    const Case cases[] = {
        {{helper, "Enter passphrase for key:"}, "pass Word", "Return", "pass Word\n", 0},
        // A question that looks like Qt's options is asked, not obeyed: the
        // window is on the display, not offscreen.
        {{helper, "-platform", "offscreen"}, "secret", "Escape", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        auto run = std::async(std::launch::async, [&] { return runProcess(c.arguments); });
        answer(secretTitle, c.text, c.key);
        const ProcessResult result = run.get();
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.exitStatus, c.status) << result.err;
    }
}

// The SSH client that asked is killed while the dialog is open and left
// unreaped: the helper ends too, without a byte of what was typed.
TEST(AskPassProgram, EndsWithTheClientThatAskedIt) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0); // the orphaned helper comes here
    ChildProcess client({"bash", "-c", "\"$0\" 'Password: ' & echo $!; read", helper});
    const pid_t asked = std::stoi(client.readLine(10s).value_or("0"));
    ASSERT_GT(asked, 0);
    answer(secretTitle, "half", "");
    ::kill(client.pid(), SIGKILL);
    int status = -1;
    pid_t reaped = 0;
    for (int i = 0; i < 300 && (reaped = ::waitpid(asked, &status, WNOHANG)) != asked; ++i) {
        std::this_thread::sleep_for(10ms); // ours once the client is dead, then until it ends
    }
    if (reaped != asked) {
        ::kill(asked, SIGKILL);
        ::waitpid(asked, nullptr, 0);
        FAIL() << "the helper outlived its client";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    client.waitForExit(3s); // reaps the client, and reads what the helper wrote
    EXPECT_EQ(client.pendingOutput(), "");
}

} // namespace
} // namespace vistrel::test
