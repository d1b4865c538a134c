#include "AskPassPrompt.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace AskPassPrompt = vistrel::AskPassPrompt;

TEST(AskPassPrompt, DecidesBetweenConfirmationAndSecret) {
    const std::string hostKey = "The authenticity of host '10.77.0.2 (10.77.0.2)' can't be "
                                "established.\nAre you sure you want to continue connecting "
                                "(yes/no/[fingerprint])? ";
    const std::string_view password = "SSH password";
    const struct {
        std::string prompt;
        std::optional<std::string_view> hint; // SSH_ASKPASS_PROMPT
        bool confirmation;
        std::string_view placeholder; // of the secret field
    } cases[] = {
        {"Proceed (yes/no)? ", std::nullopt, true, password},
        {"Do you want to continue connecting? ", std::nullopt, true, password},
        {"Allow use of key id_ed25519?", "confirm", true, password},
        {hostKey, "none", true, password},
        {"PASSPHRASE:", std::nullopt, false, "SSH key passphrase"},
        // Only the exact hint, and only the exact words, make a confirmation.
        {"Password: ", "Confirm", false, password},
        {"Password: ", "confirm ", false, password},
        {"Proceed (YES/NO)? ", std::nullopt, false, password},
        {"Continue Connecting? ", std::nullopt, false, password},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prompt + " / " + std::string(c.hint.value_or("unset")));
        EXPECT_EQ(AskPassPrompt::isConfirmation(c.prompt, c.hint), c.confirmation);
        EXPECT_EQ(AskPassPrompt::placeholder(c.prompt), c.placeholder);
    }
    // The question is every argument after the program, which may be missing too.
    using Argv = std::vector<const char*>;
    EXPECT_EQ(AskPassPrompt::joinArguments(Argv{"askpass", " a ", "", "b"}), " a   b");
    EXPECT_EQ(AskPassPrompt::joinArguments(Argv{}), "");
}
