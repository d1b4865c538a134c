// The sentence for an SSH client that exited on its own: the rules in order,
// the cut to the last 1200 characters, and the generic sentence.
#include "connection/SshExitClassifier.h"

#include "Messages.h"

#include <gtest/gtest.h>

using vistrel::SshExitClassifier::message;
namespace Messages = vistrel::Messages;

TEST(SshExitClassifier, RulesApplyInOrder) {
    struct Case {
        const char* name;
        std::string diagnostics;
        int status;
        std::string message;
    };
    const std::string hostKey =
        "@@@@\nWARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!\nPermission denied\n";
    std::string accents;
    for (int i = 0; i < 1300; ++i) {
        accents += "\u00e9";
    }
    const Case cases[] = {
        {"host key wins over both", hostKey + "Connection refused", 255,
         std::string(Messages::hostKeyChanged)},
        {"authentication before refusal", "Connection refused\nPermission denied (password).", 255,
         std::string(Messages::authenticationFailed)},
        {"refused", "ssh: connect to host 10.0.0.2 port 22: Connection refused\n", 255,
         std::string(Messages::connectionRefused)},
        {"case matters", "permission denied\n", 255, "permission denied"},
        {"only blanks", "  \n\t\n \u00a0", 255, Messages::connectionEnded(255)},
        {"nothing", "", 0, Messages::connectionEnded(0)},
        {"long text keeps its end",
         "  \n" + std::string(3800, 'a') + std::string(1200, 'z') + "\n\n ", 1,
         std::string(1200, 'z')},
        {"the cut keeps whole characters", accents, 1, accents.substr(200)},
        {"remote device refusal", std::string(Messages::remoteNoDevice) + "\n", 1,
         std::string(Messages::remoteNoDevice)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(message(c.diagnostics, c.status), c.message);
    }
}
