// How one question of the SSH client is put to the user: the prompt text, the
// choice between a yes/no confirmation and a secret, and the words on the
// dialog. Pure functions without a toolkit, shared by the askpass program and
// its tests.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vistrel::AskPassPrompt {

inline constexpr std::string_view confirmationTitle = "Trust this Steam Frame?";
// Above SSH's own question, whose "(yes/no/[fingerprint])" the buttons do not
// offer: says what the default button does.
inline constexpr std::string_view confirmationCaption = "Trust this key and connect?";
inline constexpr std::string_view secretTitle = "Connect to Steam Frame";
inline constexpr std::string_view confirmationButton = "Trust & Connect";
inline constexpr std::string_view secretButton = "Connect";
inline constexpr std::string_view cancelButton = "Cancel";
inline constexpr std::string_view passphrasePlaceholder = "SSH key passphrase";
inline constexpr std::string_view passwordPlaceholder = "SSH password";
inline constexpr std::string_view confirmationAnswer = "yes";

// The question: every argument after the program path, joined with single
// blanks; empty when there are none (argv may even lack the program path).
std::string joinArguments(std::span<const char* const> argv);

// True for a yes/no question. `hint` is SSH_ASKPASS_PROMPT, absent when unset:
// only the exact value "confirm" forces a confirmation; otherwise the text of
// the question decides, case-sensitively.
bool isConfirmation(std::string_view prompt, std::optional<std::string_view> hint);

std::string_view title(bool confirmation);
std::string_view acceptButton(bool confirmation);

// The grey hint in the secret field; the only test here that ignores case.
std::string_view placeholder(std::string_view prompt);

// The bytes for standard output once the user accepted: "yes" for a
// confirmation, otherwise what was typed, then one line feed.
std::string answerLine(bool confirmation, std::string_view typed);

} // namespace vistrel::AskPassPrompt
