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
        std::uint16_t port;
        std::string expected;
    } rows[] = {
        {" 192.168.4.10\n", "steamos", 8090, "192.168.4.10"},
        {"\u00a0\u200310.0.0.2\u3000\u2028", "Deck_User-01", 1, "10.0.0.2"}, // Unicode spaces
        {"1.0.0.0", std::string(64, 'x'), 65535, "1.0.0.0"},
        {"223.255.255.255", "_", 8090, "223.255.255.255"},
        {"", "steamos", 8090, address},
        {"192.168.4", "steamos", 8090, address},
        {"192.168.4.256", "steamos", 8090, address},
        {"0.1.2.3", "steamos", 8090, address},
        {"224.0.0.1", "steamos", 8090, address}, // multicast and above
        {"1.2.3.4 5", "steamos", 8090, address},
        {"0x7f.0.0.1", "steamos", 8090, address},
        {"headset.lan", "steamos", 8090, address},
        {"-oProxyCommand=sh", "steamos", 8090, address},
        {"10.0.0.2\u200b", "steamos", 8090, address}, // zero-width space is no space
        {std::string("10.0.0.2\0junk", 13), "steamos", 8090, address},
        {"\xc0\xa0"
         "10.0.0.2",
         "steamos", 8090, address}, // an overlong space is none
        {"10.0.0.2", "", 8090, user},
        {"10.0.0.2", std::string(65, 'x'), 8090, user},
        {"10.0.0.2", "-oProxyCommand", 8090, user},
        {"10.0.0.2", "steam os", 8090, user},
        {"10.0.0.2", "st\u00e9amos", 8090, user},
        {"10.0.0.2", "$(id)", 8090, user},
        {"10.0.0.2", "steamos", 0, std::string(Messages::invalidPort)},
        {"not an address", "bad name", 0, address},
        {"10.0.0.2", "bad name", 0, user},
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
