#include "connection/ConnectionConfiguration.h"

#include "Messages.h"
#include "StreamError.h"
#include "support/UniqueFd.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace vistrel {

namespace {

bool isUnicodeSpace(char32_t c) {
    // The Unicode White_Space set: what a pasted address may carry around it.
    static constexpr char32_t spaces[] = {0x09, 0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0x85,
                                          0xA0, 0x1680, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
    for (const char32_t s : spaces) {
        if (c == s) {
            return true;
        }
    }
    return c >= 0x2000 && c <= 0x200A;
}

// Decodes the scalar starting at `at`; returns its length, 0 if malformed.
// Strict: an overlong form (C0 A0 for a space), a surrogate or a value above
// U+10FFFF is malformed, so no disguised space is ever trimmed.
std::size_t decodeForward(std::string_view s, std::size_t at, char32_t& out) {
    const auto b = static_cast<unsigned char>(s[at]);
    std::size_t length = 0;
    if (b < 0x80) {
        out = b;
        return 1;
    }
    if ((b & 0xE0) == 0xC0) {
        length = 2;
        out = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3;
        out = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4;
        out = b & 0x07;
    } else {
        return 0;
    }
    if (at + length > s.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto c = static_cast<unsigned char>(s[at + i]);
        if ((c & 0xC0) != 0x80) {
            return 0;
        }
        out = (out << 6) | (c & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (out < smallest[length] || (out >= 0xD800 && out <= 0xDFFF) || out > 0x10FFFF) {
        return 0;
    }
    return length;
}

// Finds the start of the scalar that ends at `end` (exclusive).
std::size_t scalarStartBefore(std::string_view s, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && end - start < 4 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) {
        --start;
    }
    return start;
}

} // namespace

std::string ConnectionConfiguration::trimmed(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        char32_t c = 0;
        const std::size_t length = decodeForward(text, begin, c);
        if (length == 0 || !isUnicodeSpace(c)) {
            break;
        }
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        const std::size_t start = scalarStartBefore(text, end);
        char32_t c = 0;
        if (decodeForward(text, start, c) != end - start || !isUnicodeSpace(c)) {
            break;
        }
        end = start;
    }
    return std::string(text.substr(begin, end - begin));
}

ConnectionConfiguration::ConnectionConfiguration(std::string_view host, std::string_view username,
                                                 std::uint16_t port)
    : host_(trimmed(host)), username_(username), port_(port) {
    // inet_pton reads up to the first NUL; whatever follows one must not
    // ride along into the saved address.
    in_addr parsed{};
    if (host_.find('\0') != std::string::npos ||
        ::inet_pton(AF_INET, host_.c_str(), &parsed) != 1) {
        throw StreamError(std::string(Messages::invalidAddress));
    }
    // inet_pton accepted a dotted quad, so the first piece is plain digits.
    const std::string_view first = std::string_view(host_).substr(0, host_.find('.'));
    int leading = 0;
    const auto [end, status] = std::from_chars(first.data(), first.data() + first.size(), leading);
    if (first.empty() || status != std::errc() || end != first.data() + first.size() ||
        leading < 1 || leading > 223) {
        throw StreamError(std::string(Messages::invalidAddress));
    }

    if (username_.empty() || username_.size() > 64) {
        throw StreamError(std::string(Messages::invalidUsername));
    }
    for (const char c : username_) {
        const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                             (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!allowed) {
            throw StreamError(std::string(Messages::invalidUsername));
        }
    }
    if (username_.front() == '-') {
        throw StreamError(std::string(Messages::invalidUsername));
    }

    if (port_ == 0) {
        throw StreamError(std::string(Messages::invalidPort));
    }
}

std::string ConnectionConfiguration::localAddress() const {
    // Close-on-exec, as ssh may be started by another thread meanwhile.
    const UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket) {
        throw StreamError::posix(Messages::stepOpenSocket);
    }

    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(22);
    ::inet_pton(AF_INET, host_.c_str(), &remote.sin_addr);
    // Connecting a datagram socket only selects a route; nothing leaves this computer.
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
        throw StreamError::posix(Messages::stepFindRoute);
    }

    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        throw StreamError::posix(Messages::stepFindAddress);
    }

    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text) == nullptr) {
        throw StreamError::posix(Messages::stepReadAddress);
    }
    return text;
}

} // namespace vistrel
