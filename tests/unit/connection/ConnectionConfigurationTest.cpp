#include "connection/ConnectionConfiguration.h"

#include "Messages.h"
#include "StreamError.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using vistrel::ConnectionConfiguration;
using vistrel::StreamError;
namespace Messages = vistrel::Messages;

namespace {

// The message of the first failing rule, or nothing when the input is valid.
std::optional<std::string> failure(const std::string& host, const std::string& user,
                                   std::uint16_t port = 8090) {
    try {
        ConnectionConfiguration configuration(host, user, port);
        return std::nullopt;
    } catch (const StreamError& error) {
        return error.message();
    }
}

const std::string address(Messages::invalidAddress);
const std::string username(Messages::invalidUsername);
const std::string portMessage(Messages::invalidPort);

} // namespace

TEST(ConnectionConfiguration, AcceptsAndTrimsTheAddress) {
    struct Case {
        const char* typed;
        const char* stored;
    };
    const Case cases[] = {
        {"192.168.4.10", "192.168.4.10"},
        {" 192.168.4.10\n", "192.168.4.10"},
        {"\t\r\n 10.0.0.2 \t", "10.0.0.2"},
        {"\u00a0\u200310.0.0.2\u3000\u2028", "10.0.0.2"}, // no-break, em and ideographic spaces
        {"1.0.0.0", "1.0.0.0"},
        {"127.0.0.1", "127.0.0.1"},
        {"223.255.255.255", "223.255.255.255"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const ConnectionConfiguration configuration(c.typed, "steamos", 8090);
        EXPECT_EQ(configuration.host(), c.stored);
        EXPECT_EQ(configuration.username(), "steamos");
        EXPECT_EQ(configuration.port(), 8090);
    }
}

TEST(ConnectionConfiguration, RejectsWhatIsNotAUsableIPv4Address) {
    const std::string rejected[] = {
        "",
        "   ",
        "192.168.4",
        "192.168.4.256",
        "192.168.4.10.",
        ".1.2.3.4",
        "headset.lan",
        "0.1.2.3",
        "224.0.0.1",
        "239.255.255.250",
        "240.0.0.1",
        "255.255.255.255",
        "1.2.3.4 5",
        "1.2.3.4/24",
        "::1",
        "0x7f.0.0.1",
        "1.2.3.-4",
        "192.168.4.10\u00e9",
        "1..2.3",
        "\xff\xfe",
        "10.0.0.2\u200b", // zero-width space is not whitespace
        std::string("192.168.4.10\0junk", 17),
        // Overlong forms of whitespace are no whitespace.
        std::string("\xc0\xa0") + "1.2.3.4",
        "1.2.3.4\xe0\x80\x89",
        std::string("\xf0\x80\x80\xa0") + "1.2.3.4",
    };
    for (const std::string& host : rejected) {
        SCOPED_TRACE(host);
        EXPECT_EQ(failure(host, "steamos"), address);
    }
}

TEST(ConnectionConfiguration, ValidatesTheUserName) {
    struct Case {
        std::string name;
        bool accepted;
    };
    const Case cases[] = {
        {"steamos", true},
        {"Deck_User-01", true},
        {"a", true},
        {"_", true},
        {std::string(64, 'x'), true},
        {std::string(65, 'x'), false},
        {"", false},
        {"-steamos", false},
        {"-", false},
        {"steam os", false},
        {"steam.os", false},
        {"steam@os", false},
        {"st\u00e9amos", false},
        {" steamos", false},
        {"steamos ", false},
        {"steamos\n", false},
        {"steam\tos", false},
        {"steam\ros", false},
        {std::string("steam\0os", 8), false},
        {"o'neil", false},
        {"$(id)", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.accepted) {
            EXPECT_EQ(failure("10.0.0.2", c.name), std::nullopt);
        } else {
            EXPECT_EQ(failure("10.0.0.2", c.name), username);
        }
    }
}

TEST(ConnectionConfiguration, UserNameIsKeptExactlyAsGiven) {
    const ConnectionConfiguration configuration("10.0.0.2", "Deck_User-01", 1);
    EXPECT_EQ(configuration.username(), "Deck_User-01");
    EXPECT_EQ(configuration.port(), 1);
}

TEST(ConnectionConfiguration, FirstFailingRuleWins) {
    EXPECT_EQ(failure("10.0.0.2", "steamos", 0), portMessage);
    EXPECT_EQ(failure("10.0.0.2", "steamos", 65535), std::nullopt);
    EXPECT_EQ(failure("not an address", "bad name", 0), address);
    EXPECT_EQ(failure("0.0.0.0", "", 0), address);
    EXPECT_EQ(failure("10.0.0.2", "bad name", 0), username);
    EXPECT_EQ(failure("10.0.0.2", "", 0), username);
}

TEST(ConnectionConfiguration, LocalAddressOfLoopbackIsLoopback) {
    const ConnectionConfiguration configuration("127.0.0.1", "steamos", 8090);
    EXPECT_EQ(configuration.localAddress(), "127.0.0.1");
    const ConnectionConfiguration other("127.0.0.2", "steamos", 8090);
    EXPECT_EQ(other.localAddress(), "127.0.0.1");
}

TEST(ConnectionConfiguration, NoRouteGivesTheRouteMessageAndLeavesNoSocket) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to enter a fresh network namespace, where nothing is routed";
    }
    // The child enters an empty network namespace (not even loopback is up),
    // so the route lookup must fail; it reports the message and whether the
    // lookup left a descriptor open.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string report;
        if (::unshare(CLONE_NEWNET) != 0) {
            report = "unshare failed";
        } else {
            const int before = ::dup(0);
            ::close(before);
            try {
                (void)ConnectionConfiguration("10.0.0.2", "steamos", 8090).localAddress();
                report = "no error";
            } catch (const StreamError& error) {
                report = error.message();
            }
            const int after = ::dup(0);
            ::close(after);
            report += before == after ? "|closed" : "|leaked";
        }
        (void)!::write(pipeFds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string report;
    char buffer[512];
    ssize_t n = 0;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(report, "Find a route to the Steam Frame: Network is unreachable|closed");
}
