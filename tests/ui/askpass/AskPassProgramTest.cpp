// The real askpass program on the X display, typed at by a person (xdotool).
#include "ChildProcess.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;

// The client asks a question that looks like Qt's options, then is killed
// while half an answer is typed and is left unreaped: the helper ends too,
// without a byte of the answer.
TEST(AskPassProgram, AsksOnTheDisplayAndEndsWithTheClientThatAskedIt) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0); // the orphaned helper comes here
    ChildProcess client(
        {"bash", "-c", "\"$0\" -platform offscreen & echo $!; read", VISTREL_ASKPASS_PATH});
    const pid_t asked = std::stoi(client.readLine(10s).value_or("0"));
    ASSERT_GT(asked, 0);
    // Found among the visible windows: Qt did not obey the question.
    EXPECT_EQ(runProcess({"xdotool", "search", "--sync", "--onlyvisible", "--name",
                          "^Connect to Steam Frame$", "windowfocus", "--sync", "type", "half"},
                         {}, {}, 30s)
                  .exitStatus,
              0);
    ::kill(client.pid(), SIGKILL);
    int status = -1;
    pid_t reaped = 0;
    for (int i = 0; i < 300 && (reaped = ::waitpid(asked, &status, WNOHANG)) != asked; ++i) {
        std::this_thread::sleep_for(10ms); // ours once the client is dead, then until it ends
    }
    if (reaped != asked) {
        ::kill(asked, SIGKILL);
        FAIL() << "the helper outlived its client";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    client.waitForExit(3s); // reaps the client, and reads what the helper wrote
    EXPECT_EQ(client.pendingOutput(), "");
}

} // namespace
} // namespace vistrel::test
