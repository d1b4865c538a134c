#include "AskPassPrompt.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace AskPassPrompt = vistrel::AskPassPrompt;

namespace {

// What OpenSSH asks about an unknown host: one argument, no prompt hint.
constexpr const char* hostKeyQuestion =
    "The authenticity of host '10.77.0.2 (10.77.0.2)' can't be established.\n"
    "ED25519 key fingerprint is SHA256:Yh0n2mG1QoXbQzJ3kqRk0kz3t7gqz0M0cE3q8Jm5f2Q.\n"
    "This key is not known by any other names.\n"
    "Are you sure you want to continue connecting (yes/no/[fingerprint])? ";

std::string join(std::vector<const char*> argv) {
    return AskPassPrompt::joinArguments(argv);
}

} // namespace

TEST(AskPassPrompt, JoinsEveryArgumentAfterTheProgramPathWithSingleBlanks) {
    EXPECT_EQ(join({"/usr/libexec/vistrel/vistrel-askpass", "a", "b", "c"}), "a b c");
    EXPECT_EQ(join({"askpass", hostKeyQuestion}), hostKeyQuestion);
    EXPECT_EQ(join({"askpass", "steamos@10.77.0.2's password: "}),
              "steamos@10.77.0.2's password: ");
    // Blanks inside and around arguments are kept as they are.
    EXPECT_EQ(join({"askpass", " two  spaces ", "", "end"}), " two  spaces   end");
    EXPECT_EQ(join({"askpass"}), "");
    // A process may be started without even its program path.
    EXPECT_EQ(join({}), "");
    EXPECT_EQ(join({"askpass", "-platform", "offscreen"}), "-platform offscreen");
}

TEST(AskPassPrompt, DecidesBetweenConfirmationAndSecret) {
    struct Case {
        const char* name;
        std::string prompt;
        std::optional<std::string_view> hint;
        bool confirmation;
    };
    const std::vector<Case> cases = {
        {"unknown host key, as OpenSSH asks it", hostKeyQuestion, std::nullopt, true},
        {"hint confirm forces it", "Allow use of key id_ed25519?", "confirm", true},
        {"hint confirm with an empty question", "", "confirm", true},
        {"yes/no alone", "Proceed (yes/no)? ", std::nullopt, true},
        {"continue connecting alone", "Do you want to continue connecting? ", std::nullopt, true},
        {"password", "steamos@10.77.0.2's password: ", std::nullopt, false},
        {"passphrase", "Enter passphrase for key '/root/.ssh/id_ed25519': ", std::nullopt, false},
        {"no question", "", std::nullopt, false},
        {"hint Confirm is not confirm", "steamos@host's password: ", "Confirm", false},
        {"hint CONFIRM is not confirm", "Password: ", "CONFIRM", false},
        {"hint with a trailing blank", "Password: ", "confirm ", false},
        {"hint none leaves the text to decide", "Password: ", "none", false},
        {"empty hint leaves the text to decide", "Password: ", "", false},
        {"other hint, confirming text", hostKeyQuestion, "none", true},
        {"capitalised Continue Connecting", "Continue Connecting? ", std::nullopt, false},
        {"capitalised YES/NO", "Proceed (YES/NO)? ", std::nullopt, false},
        {"yes/no without the parenthesis", "Answer yes/no: ", std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AskPassPrompt::isConfirmation(c.prompt, c.hint), c.confirmation);
    }
}

TEST(AskPassPrompt, PlaceholderNamesAPassphraseInAnyCase) {
    const std::vector<std::pair<std::string, std::string_view>> cases = {
        {"Enter passphrase for key '/root/.ssh/id_ed25519': ", "SSH key passphrase"},
        {"Enter Passphrase for key: ", "SSH key passphrase"},
        {"PASSPHRASE:", "SSH key passphrase"},
        {"pAsSpHrAsE", "SSH key passphrase"},
        {"steamos@10.77.0.2's password: ", "SSH password"},
        {"Password: ", "SSH password"},
        {"pass phrase: ", "SSH password"},
        {"passphras", "SSH password"},
        {"", "SSH password"},
        {"Passwort für Schlüssel: ", "SSH password"},
    };
    for (const auto& [prompt, expected] : cases) {
        SCOPED_TRACE(prompt);
        EXPECT_EQ(AskPassPrompt::placeholder(prompt), expected);
    }
}

TEST(AskPassPrompt, TitlesAndButtonsFollowTheMode) {
    EXPECT_EQ(AskPassPrompt::title(true), "Trust this Steam Frame?");
    EXPECT_EQ(AskPassPrompt::title(false), "Connect to Steam Frame");
    EXPECT_EQ(AskPassPrompt::acceptButton(true), "Trust & Connect");
    EXPECT_EQ(AskPassPrompt::acceptButton(false), "Connect");
    EXPECT_EQ(AskPassPrompt::cancelButton, "Cancel");
}

TEST(AskPassPrompt, AnswerIsOneLine) {
    EXPECT_EQ(AskPassPrompt::answerLine(true, ""), "yes\n");
    // In confirmation mode nothing typed can reach the answer.
    EXPECT_EQ(AskPassPrompt::answerLine(true, "no"), "yes\n");
    EXPECT_EQ(AskPassPrompt::answerLine(false, "secret"), "secret\n");
    EXPECT_EQ(AskPassPrompt::answerLine(false, ""), "\n");
    EXPECT_EQ(AskPassPrompt::answerLine(false, "p\xC3\xA4ss w\xC3\xB6rd \xE2\x9C\x93"),
              "p\xC3\xA4ss w\xC3\xB6rd \xE2\x9C\x93\n");
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(AskPassPrompt::answerLine(false, withNul), std::string("a\0b\n", 4));
}
