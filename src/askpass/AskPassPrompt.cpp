#include "AskPassPrompt.h"

#include <algorithm>

namespace vistrel::AskPassPrompt {

namespace {

bool containsIgnoringAsciiCase(std::string_view text, std::string_view lowerNeedle) {
    const auto it = std::search(
        text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(), [](char a, char b) {
            const char lower = (a >= 'A' && a <= 'Z') ? char(a - 'A' + 'a') : a;
            return lower == b;
        });
    return it != text.end();
}

} // namespace

std::string joinArguments(std::span<const char* const> argv) {
    std::string prompt;
    for (std::size_t i = 1; i < argv.size() && argv[i] != nullptr; ++i) {
        if (i > 1) {
            prompt += ' ';
        }
        prompt += argv[i];
    }
    return prompt;
}

bool isConfirmation(std::string_view prompt, std::optional<std::string_view> hint) {
    if (hint == "confirm") {
        return true;
    }
    return prompt.find("(yes/no") != std::string_view::npos ||
           prompt.find("continue connecting") != std::string_view::npos;
}

std::string_view title(bool confirmation) {
    return confirmation ? confirmationTitle : secretTitle;
}

std::string_view acceptButton(bool confirmation) {
    return confirmation ? confirmationButton : secretButton;
}

// Lower-casing beyond ASCII cannot turn any other character into one of the
// letters of "passphrase", so an ASCII fold gives the same answer.
std::string_view placeholder(std::string_view prompt) {
    return containsIgnoringAsciiCase(prompt, "passphrase") ? passphrasePlaceholder
                                                           : passwordPlaceholder;
}

std::string answerLine(bool confirmation, std::string_view typed) {
    std::string line(confirmation ? confirmationAnswer : typed);
    line += '\n';
    return line;
}

} // namespace vistrel::AskPassPrompt
