#include "connection/RemoteCommand.h"

#include "Messages.h"
#include "RunProcess.h"
#include "StreamError.h"
#include "connection/ConnectionConfiguration.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using vistrel::ConnectionConfiguration;
using vistrel::test::runProcess;
namespace RemoteCommand = vistrel::RemoteCommand;

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

const std::filesystem::path golden =
    std::filesystem::path(VISTREL_SOURCE_DIR) / "tests/unit/connection/golden";

} // namespace

TEST(RemoteCommand, QuoteMakesOneShellWordOfAnyText) {
    EXPECT_EQ(RemoteCommand::quote(""), "''");
    EXPECT_EQ(RemoteCommand::quote("it's"), "'it'\\''s'");

    const std::string hostile[] = {
        "",
        "plain",
        "it's",
        "''''",
        "$(touch /tmp/vistrel-pwned)",
        "`id`",
        "a\nb\n",
        "tab\there  spaces ",
        "\"double\" \\back\\slash",
        "gr\u00fc\u00dfe \u2019 \u2026 \U0001F600",
        "; rm -rf / #",
        "$HOME ${PATH} !! *",
        "\x01\x7f",
    };
    for (const auto& text : hostile) {
        SCOPED_TRACE(text);
        const auto result = runProcess({"bash", "-c", "printf %s " + RemoteCommand::quote(text)});
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.out, text);
    }
}

TEST(RemoteCommand, ScriptMatchesTheGoldenCopyByteForByte) {
    EXPECT_EQ(RemoteCommand::script("192.168.4.20", 8090),
              readFile(golden / "script-192.168.4.20-8090.sh"));
}

TEST(RemoteCommand, OnlyTheUrlVariesWithTheArguments) {
    const std::string reference = RemoteCommand::script("192.168.4.20", 8090);
    const std::string other = RemoteCommand::script("10.0.0.2", 1);
    const std::string referenceUrl = "'udp://192.168.4.20:8090?pkt_size=1316'";
    const std::string otherUrl = "'udp://10.0.0.2:1?pkt_size=1316'";
    const auto at = reference.find(referenceUrl);
    ASSERT_NE(at, std::string::npos);
    std::string expected = reference;
    expected.replace(at, referenceUrl.size(), otherUrl);
    EXPECT_EQ(other, expected);

    // Line 30 (of 48, no trailing newline) carries the URL.
    std::vector<std::string> lines;
    std::stringstream stream(other);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 48U);
    EXPECT_EQ(lines[29], "  -f mpegts " + otherUrl + " &");
    EXPECT_NE(other.back(), '\n');
}

TEST(RemoteCommand, ScriptIsValidBash) {
    const auto result = runProcess({"bash", "-n"}, RemoteCommand::script("192.168.4.20", 8090));
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

TEST(RemoteCommand, SshArgumentsAreTheFixed32) {
    const ConnectionConfiguration configuration(" 192.168.4.10\n", "steamos", 8090);
    const auto arguments = RemoteCommand::sshArguments(
        configuration, "192.168.4.20", "/home/a user/.local/share/Vistrel/known_hosts");
    // clang-format off
    const std::vector<std::string> expected = {
        "-F", "/dev/null", "-T", "-4",
        "-o", "ConnectTimeout=10",
        "-o", "ConnectionAttempts=1",
        "-o", "ServerAliveInterval=5",
        "-o", "ServerAliveCountMax=3",
        "-o", "StrictHostKeyChecking=ask",
        "-o", "UserKnownHostsFile=\"/home/a user/.local/share/Vistrel/known_hosts\"",
        "-o", "NumberOfPasswordPrompts=3",
        "-o", "ForwardAgent=no",
        "-o", "ClearAllForwardings=yes",
        "-o", "ControlMaster=no",
        "-o", "ControlPath=none",
        "-o", "LogLevel=ERROR",
        "-l", "steamos",
        "192.168.4.10",
        "bash -c " + RemoteCommand::quote(RemoteCommand::script("192.168.4.20", 8090)),
    };
    // clang-format on
    EXPECT_EQ(arguments, expected);
    ASSERT_EQ(arguments.size(), 32U);
}

TEST(RemoteCommand, RemoteCommandParsesBackIntoExactlyTheScript) {
    const ConnectionConfiguration configuration("10.77.0.2", "steamos", 8090);
    const auto arguments = RemoteCommand::sshArguments(configuration, "10.77.0.1", "/k");
    const std::string& command = arguments.back();
    const std::string prefix = "bash -c '";
    ASSERT_EQ(command.rfind(prefix, 0), 0U);
    ASSERT_EQ(command.back(), '\'');
    // The remote login shell sees "bash -c <word>"; let a real bash take the
    // word apart and print the argument that bash would run.
    const auto result =
        runProcess({"bash", "-c", "printf %s " + command.substr(std::string("bash -c ").size())});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, RemoteCommand::script("10.77.0.1", 8090));
}

TEST(RemoteCommand, SshReadsTheKnownHostsPathBackExactly) {
    // ssh -G resolves the options without connecting. A path holding a double
    // quote, a backslash or ssh's %-tokens must come back unchanged.
    const ConnectionConfiguration configuration("10.77.0.2", "steamos", 8090);
    for (const std::string path :
         {"/tmp/odd\"dir\\name/known_hosts", "/tmp/100% sure/%d %h %%/known_hosts"}) {
        SCOPED_TRACE(path);
        auto arguments = RemoteCommand::sshArguments(configuration, "10.77.0.1", path);
        arguments.insert(arguments.begin(), {"/usr/bin/ssh", "-G"});
        const auto result = runProcess(arguments);
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_NE(result.out.find("\nuserknownhostsfile " + path + "\n"), std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("\nuser steamos\n"), std::string::npos);
        EXPECT_NE(result.out.find("\nhostname 10.77.0.2\n"), std::string::npos);
        EXPECT_NE(result.out.find("\nconnecttimeout 10\n"), std::string::npos);
        EXPECT_NE(result.out.find("\nstricthostkeychecking ask\n"), std::string::npos);
        EXPECT_NE(result.out.find("\naddressfamily inet\n"), std::string::npos);
    }
    // ${…} has no escape in ssh: such a path is refused with a sentence.
    const std::string variable = "/home/${USER}/.local/share/Vistrel/known_hosts";
    try {
        (void)RemoteCommand::sshArguments(configuration, "10.77.0.1", variable);
        ADD_FAILURE() << "accepted " << variable;
    } catch (const vistrel::StreamError& error) {
        EXPECT_EQ(error.message(), vistrel::Messages::knownHostsPathRefused(variable));
    }
}
