#include "connection/RemoteCommand.h"

#include "ChildProcess.h"
#include "Messages.h"
#include "StreamError.h"
#include "connection/ConnectionConfiguration.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

using test::runProcess;

TEST(RemoteCommand, QuoteMakesOneShellWordOfAnyText) {
    for (const std::string text :
         {"", "it's", "''''", "$(touch /tmp/vistrel-pwned)", "`id`", "a\nb\n", "tab\there  two ",
          "\"double\" \\back\\slash", "gr\u00fc\u00dfe \u2019 \U0001F600", "; rm -rf / #",
          "$HOME ${PATH} !! *", "\x01\x7f"}) {
        const auto bash = runProcess({"bash", "-c", "printf %s " + RemoteCommand::quote(text)});
        EXPECT_EQ(bash.out, text) << bash.err;
    }
}

// ssh -G resolves the options without connecting: a known-hosts path holding
// a double quote, a backslash or ssh's %-tokens comes back unchanged, and the
// remote login shell's "bash -c <word>" takes the word apart into exactly the
// script. A path with ${…}, which ssh cannot escape, is refused.
TEST(RemoteCommand, SshAndTheRemoteShellReadTheArgumentsBackExactly) {
    const ConnectionConfiguration configuration("10.77.0.2", "steamos", 8090);
    const std::string path = "/tmp/odd\"dir\\name/100% sure/%d %h %%/known_hosts";
    auto arguments = RemoteCommand::sshArguments(configuration, "10.77.0.1", path);
    ASSERT_EQ(arguments.back().rfind("bash -c ", 0), 0U);
    const auto bash = runProcess({"bash", "-c", "printf %s " + arguments.back().substr(8)});
    EXPECT_EQ(bash.out, RemoteCommand::script("10.77.0.1", 8090)) << bash.err;
    arguments.insert(arguments.begin(), {"ssh", "-G"});
    const auto ssh = runProcess(arguments);
    ASSERT_EQ(ssh.exitStatus, 0) << ssh.err;
    for (const std::string& line : {"userknownhostsfile " + path, std::string("user steamos"),
                                    std::string("hostname 10.77.0.2")}) {
        EXPECT_NE(ssh.out.find("\n" + line + "\n"), std::string::npos) << line;
    }
    const std::string variable = "/home/${USER}/known_hosts";
    try {
        (void)RemoteCommand::sshArguments(configuration, "10.77.0.1", variable);
        ADD_FAILURE() << "accepted " << variable;
    } catch (const StreamError& error) {
        EXPECT_EQ(error.message(), Messages::knownHostsPathRefused(variable));
    }
}

} // namespace
} // namespace vistrel
