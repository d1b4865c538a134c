#include "connection/SshExitClassifier.h"

#include "Messages.h"

#include <gtest/gtest.h>

namespace Messages = vistrel::Messages;

TEST(SshExitClassifier, RulesApplyInOrder) {
    const std::string hostKey =
        "@@@@\nWARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!\nPermission denied\n";
    std::string accents;
    for (int i = 0; i < 1300; ++i) {
        accents += "\u00e9";
    }
    const struct {
        std::string diagnostics;
        int status;
        std::string message;
    } cases[] = {
        {hostKey + "Connection refused", 255, std::string(Messages::hostKeyChanged)},
        {"Connection refused\nPermission denied (password).", 255,
         std::string(Messages::authenticationFailed)},
        {"ssh: connect to host 10.0.0.2 port 22: Connection refused\n", 255,
         std::string(Messages::connectionRefused)},
        {"permission denied\n", 255, "permission denied"}, // case matters
        {"  \n\t\n \u00a0", 1, Messages::connectionEnded(1)},
        {"  \n" + std::string(3800, 'a') + std::string(1200, 'z') + "\n\n ", 1,
         std::string(1200, 'z')},
        {accents, 1, accents.substr(200)}, // the cut keeps whole characters
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vistrel::SshExitClassifier::message(c.diagnostics, c.status), c.message)
            << c.diagnostics.substr(0, 40);
    }
}
