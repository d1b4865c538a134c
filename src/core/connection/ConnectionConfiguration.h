// What the user supplied for one run, validated: the headset's IPv4 address,
// the SSH user name and the local UDP port. A value exists only if valid.
#pragma once

#include <cstdint>
#include <string>

namespace vistrel {

class ConnectionConfiguration {
public:
    // Throws StreamError with the first failing rule's message.
    ConnectionConfiguration(std::string_view host, std::string_view username, std::uint16_t port);

    [[nodiscard]] const std::string& host() const noexcept { return host_; }
    [[nodiscard]] const std::string& username() const noexcept { return username_; }
    [[nodiscard]] std::uint16_t port() const noexcept { return port_; }

    // This computer's IPv4 address on the route to the host, found by asking
    // the routing table; nothing is sent. Throws StreamError.
    [[nodiscard]] std::string localAddress() const;

    // Removes leading and trailing Unicode whitespace and newlines from UTF-8 text.
    static std::string trimmed(std::string_view text);

private:
    std::string host_;
    std::string username_;
    std::uint16_t port_;
};

} // namespace vistrel
