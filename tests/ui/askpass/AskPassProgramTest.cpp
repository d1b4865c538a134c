// The real askpass program on a real X display, answered from the keyboard.
#include "ChildProcess.h"
#include "Keyboard.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <optional>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using vistrel::test::ProcessResult;
using vistrel::test::runProcess;
namespace keyboard = vistrel::test::keyboard;
using namespace std::chrono_literals;

namespace {

constexpr const char* helper = VISTREL_ASKPASS_PATH;
constexpr auto windowTimeout = 30s;

const char* const confirmTitle = "Trust this Steam Frame?";
const char* const secretTitle = "Connect to Steam Frame";

constexpr const char* hostKeyQuestion =
    "The authenticity of host '10.77.0.2 (10.77.0.2)' can't be established.\n"
    "ED25519 key fingerprint is SHA256:Yh0n2mG1QoXbQzJ3kqRk0kz3t7gqz0M0cE3q8Jm5f2Q.\n"
    "This key is not known by any other names.\n"
    "Are you sure you want to continue connecting (yes/no/[fingerprint])? ";

// One thing the person does: type text, or press a key by its keysym name.
struct Action {
    enum { Type, Key } kind;
    std::string text;
};
Action type(std::string text) {
    return {Action::Type, std::move(text)};
}
Action key(std::string name) {
    return {Action::Key, std::move(name)};
}

#define REQUIRE_DISPLAY()                                                                          \
    if (std::getenv("DISPLAY") == nullptr) {                                                       \
        GTEST_SKIP() << "no X display (DISPLAY is unset); scripts/test.sh runs these under Xvfb";  \
    }

} // namespace

TEST(AskPassProgram, AnswersWhatThePersonChose) {
    REQUIRE_DISPLAY();
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::optional<std::string> hint; // SSH_ASKPASS_PROMPT
        const char* title;
        std::vector<Action> actions;
        std::string out;
        int status;
    };
    const std::vector<Case> cases = {
        {"unknown host accepted with Return",
         {hostKeyQuestion},
         std::nullopt,
         confirmTitle,
         {key("Return")},
         "yes\n",
         0},
        {"forced confirmation accepted",
         {"Allow use of key id_ed25519?"},
         "confirm",
         confirmTitle,
         {key("Return")},
         "yes\n",
         0},
        {"password typed and Return",
         {"steamos@10.77.0.2's password: "},
         std::nullopt,
         secretTitle,
         {type("secret"), key("Return")},
         "secret\n",
         0},
        {"hint Confirm does not force a confirmation",
         {"steamos@10.77.0.2's password: "},
         "Confirm",
         secretTitle,
         {type("secret"), key("Return")},
         "secret\n",
         0},
        {"empty field accepted",
         {"Password: "},
         std::nullopt,
         secretTitle,
         {key("Return")},
         "\n",
         0},
        {"passphrase beyond ASCII",
         {"Enter passphrase for key '/root/.ssh/id_ed25519': "},
         std::nullopt,
         secretTitle,
         {type("p\xC3\xA4ss W\xC3\xB6rd \xE2\x9C\x93"), key("Return")},
         "p\xC3\xA4ss W\xC3\xB6rd \xE2\x9C\x93\n",
         0},
        {"question split over three arguments",
         {"a", "b", "c"},
         std::nullopt,
         secretTitle,
         {type("x"), key("Return")},
         "x\n",
         0},
        {"no question at all", {}, std::nullopt, secretTitle, {key("Return")}, "\n", 0},
        // Qt must not read the question as its own options: "-platform
        // offscreen" would take the window off the display.
        {"question that looks like a Qt option",
         {"-platform", "offscreen"},
         std::nullopt,
         secretTitle,
         {type("s"), key("Return")},
         "s\n",
         0},
        {"password cancelled with Escape",
         {"Password: "},
         std::nullopt,
         secretTitle,
         {type("secret"), key("Escape")},
         "",
         1},
        {"password cancelled with the Cancel button",
         {"Password: "},
         std::nullopt,
         secretTitle,
         {type("secret"), key("Tab"), key("Tab"), key("space")},
         "",
         1},
        {"host key refused with the Cancel button",
         {hostKeyQuestion},
         std::nullopt,
         confirmTitle,
         {key("Tab"), key("space")},
         "",
         1},
        {"host key refused with Escape",
         {hostKeyQuestion},
         std::nullopt,
         confirmTitle,
         {key("Escape")},
         "",
         1},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> argv{helper};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        std::map<std::string, std::string> environment;
        if (c.hint) {
            environment["SSH_ASKPASS_PROMPT"] = *c.hint;
        }
        auto run = std::async(std::launch::async, [argv, environment] {
            return runProcess(argv, {}, environment, 120s);
        });

        // The dialog brings itself to the front and takes the keyboard.
        if (!keyboard::waitForFocus(c.title, windowTimeout)) {
            const ProcessResult early = run.get();
            FAIL() << "no focused window titled \"" << c.title << "\"; helper exited "
                   << early.exitStatus << ", stderr: " << early.err;
        }
        for (const auto& action : c.actions) {
            if (action.kind == Action::Type) {
                keyboard::type(action.text);
            } else {
                keyboard::press(action.text);
            }
        }
        const ProcessResult result = run.get();
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.exitStatus, c.status) << result.err;
    }
}

namespace {

struct ParentGone {
    const char* name;
    int signal; // 0: the parent exits on its own
};

void PrintTo(const ParentGone& parentGone, std::ostream* os) {
    *os << parentGone.name;
}

class AskPassParentWatch : public ::testing::TestWithParam<ParentGone> {};

} // namespace

// The SSH client that asked ends while the dialog is open: the helper ends
// too, with status 1 and without a byte on its output.
TEST_P(AskPassParentWatch, HelperEndsWithItsParent) {
    REQUIRE_DISPLAY();
    // Orphans are handed to this process, so the helper's status can be read.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);

    int out[2], control[2], report[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(control, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);

    // The short-lived parent: starts the helper, tells us its id, and exits
    // (or is killed) when we say so.
    const pid_t parent = ::fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::string path = helper;
        std::string question = "steamos@10.77.0.2's password: ";
        char* argv[] = {path.data(), question.data(), nullptr};
        pid_t child = -1;
        if (::posix_spawn(&child, path.c_str(), &actions, nullptr, argv, environ) != 0) {
            ::_exit(2);
        }
        (void)!::write(report[1], &child, sizeof child);
        char go = 0;
        (void)!::read(control[0], &go, 1);
        ::_exit(0);
    }
    ::close(out[1]);
    ::close(report[1]);
    ::close(control[0]);

    pid_t child = -1;
    ASSERT_EQ(::read(report[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
    ::close(report[0]);

    // Something typed but never confirmed must not leak out.
    ASSERT_TRUE(keyboard::waitForFocus(secretTitle, windowTimeout));
    keyboard::type("half");

    if (GetParam().signal != 0) {
        ::kill(parent, GetParam().signal);
    } else {
        ASSERT_EQ(::write(control[1], "g", 1), 1);
    }
    int parentStatus = 0;
    ASSERT_EQ(::waitpid(parent, &parentStatus, 0), parent);
    const auto gone = std::chrono::steady_clock::now();

    int status = 0;
    pid_t reaped = 0;
    while ((reaped = ::waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() - gone < 20s) {
        std::this_thread::sleep_for(5ms);
    }
    const auto latency = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - gone);
    if (reaped == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the helper outlived its parent";
    }
    ::close(control[1]);
    std::cout << "helper ended " << latency.count() << " ms after its parent\n";
    RecordProperty("latency_ms", static_cast<int>(latency.count()));

    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    // One watch period is 0.3 s; the bound leaves room for a loaded machine.
    EXPECT_LT(latency, 3s);

    std::string written;
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) {
        written.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    EXPECT_EQ(written, "");
}

INSTANTIATE_TEST_SUITE_P(Ends, AskPassParentWatch,
                         ::testing::Values(ParentGone{"Exits", 0}, ParentGone{"IsKilled", SIGKILL}),
                         [](const auto& info) { return std::string(info.param.name); });
