#include "connection/ConnectionConfiguration.h"

#include "Messages.h"
#include "StreamError.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

// One row per rule; `expected` is the address as kept, or the message of the
// first rule that fails (address, then user name, then port).
TEST(ConnectionConfiguration, OneRowPerRule) {
    const std::string address(Messages::invalidAddress);
    const std::string user(Messages::invalidUsername);
    const struct {
        std::string host;
        std::string user;
        std::string expected;
        std::uint16_t port = 8090;
    } rows[] = {
        {" 192.168.4.10\n", "steamos", "192.168.4.10"},
        {"\u00a0\u200310.0.0.2\u3000\u2028", "Deck_User-01", "10.0.0.2", 1}, // Unicode spaces
        {"1.0.0.0", std::string(64, 'x'), "1.0.0.0", 65535},
        {"223.255.255.255", "_", "223.255.255.255"},
        {"", "steamos", address},
        {"192.168.4", "steamos", address},
        {"192.168.4.256", "steamos", address},
        {"0.1.2.3", "steamos", address},
        {"224.0.0.1", "steamos", address}, // multicast and above
        {"1.2.3.4 5", "steamos", address},
        {"0x7f.0.0.1", "steamos", address},
        {"headset.lan", "steamos", address},
        {"-oProxyCommand=sh", "steamos", address},
        {"10.0.0.2\u200b", "steamos", address}, // zero-width space is no space
        {std::string("10.0.0.2\0junk", 13), "steamos", address},
        // Overlong forms, of a space before and a tab after, are no spaces.
        {"\xc0\xa0"
         "10.0.0.2",
         "steamos", address},
        {"10.0.0.2\xe0\x80\x89", "steamos", address},
        {"10.0.0.2", "", user},
        {"10.0.0.2", std::string(65, 'x'), user},
        {"10.0.0.2", "-oProxyCommand", user},
        {"10.0.0.2", "steam os", user},
        {"10.0.0.2", "st\u00e9amos", user},
        {"10.0.0.2", "$(id)", user},
        {"10.0.0.2", "steamos", std::string(Messages::invalidPort), 0},
        {"not an address", "bad name", address, 0},
        {"10.0.0.2", "bad name", user, 0},
    };
    for (const auto& row : rows) {
        try {
            EXPECT_EQ(ConnectionConfiguration(row.host, row.user, row.port).host(), row.expected)
                << row.host << " " << row.user;
        } catch (const StreamError& error) {
            EXPECT_EQ(error.message(), row.expected) << row.host << " " << row.user;
        }
    }
}

} // namespace
} // namespace vistrel
