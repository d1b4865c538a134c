#include "connection/SshExitClassifier.h"

#include "Messages.h"

#include <cstddef>

namespace vistrel::SshExitClassifier {

namespace {

constexpr std::size_t shownCharacters = 1200;

bool isContinuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0U) == 0x80U;
}

// Unicode white space: the ASCII blanks, NEL and the space separators.
bool isSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// The code point of the UTF-8 sequence `bytes` (well-formed input assumed).
char32_t decode(std::string_view bytes) {
    const auto lead = static_cast<unsigned char>(bytes.front());
    if (bytes.size() == 1) {
        return lead < 0x80U ? lead : U'\uFFFD';
    }
    char32_t c = lead & (0x7FU >> bytes.size());
    for (const char byte : bytes.substr(1)) {
        c = (c << 6) | (static_cast<unsigned char>(byte) & 0x3FU);
    }
    return c;
}

// Length in bytes of the character that starts `text` / that ends `text`.
std::size_t firstLength(std::string_view text) {
    std::size_t length = 1;
    while (length < text.size() && isContinuation(text[length])) {
        ++length;
    }
    return length;
}
std::size_t lastLength(std::string_view text) {
    std::size_t length = 1;
    while (length < text.size() && isContinuation(text[text.size() - length])) {
        ++length;
    }
    return length;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(decode(text.substr(0, firstLength(text))))) {
        text.remove_prefix(firstLength(text));
    }
    while (!text.empty() && isSpace(decode(text.substr(text.size() - lastLength(text))))) {
        text.remove_suffix(lastLength(text));
    }
    return text;
}

std::string_view lastCharacters(std::string_view text, std::size_t count) {
    std::size_t from = text.size();
    for (std::size_t taken = 0; taken < count && from > 0; ++taken) {
        from -= lastLength(text.substr(0, from));
    }
    return text.substr(from);
}

} // namespace

std::string message(std::string_view diagnostics, int status) {
    const auto contains = [diagnostics](std::string_view phrase) {
        return diagnostics.find(phrase) != std::string_view::npos;
    };
    if (contains("REMOTE HOST IDENTIFICATION HAS CHANGED")) {
        return std::string(Messages::hostKeyChanged);
    }
    if (contains("Permission denied")) {
        return std::string(Messages::authenticationFailed);
    }
    if (contains("Connection refused")) {
        return std::string(Messages::connectionRefused);
    }
    if (const std::string_view said = trimmed(diagnostics); !said.empty()) {
        return std::string(lastCharacters(said, shownCharacters));
    }
    return Messages::connectionEnded(status);
}

} // namespace vistrel::SshExitClassifier
