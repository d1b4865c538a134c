#include "RemoteScriptSession.h"

#include "MediaFiles.h"
#include "connection/ConnectionConfiguration.h"
#include "connection/RemoteCommand.h"

#include <fstream>
#include <stdexcept>
#include <stdlib.h>
#include <sys/stat.h>

namespace vistrel::test {

namespace fs = std::filesystem;

RemoteScriptSession::RemoteScriptSession(const HeadsetSimulator& headset, std::uint16_t port,
                                         Trust trust, fs::path knownHosts)
    : headset_(headset), port_(port), knownHosts_(std::move(knownHosts)) {
    if (knownHosts_.empty()) {
        fs::create_directories(folder_.path() / "Application Support" / "Vistrel");
        knownHosts_ = folder_.path() / "Application Support" / "Vistrel" / "known_hosts";
    }
    if (trust == Trust::preTrusted) {
        std::ofstream(knownHosts_) << headset_.knownHostsLine() << '\n';
    }
    askpassLog_ = folder_.path() / "askpass.log";
    askpass_ = folder_.path() / "askpass";
    {
        std::ofstream script(askpass_);
        script << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" << askpassLog_.string()
               << "'\necho yes\n";
    }
    fs::permissions(askpass_, fs::perms::owner_all);
}

std::vector<std::string> RemoteScriptSession::arguments() const {
    const ConnectionConfiguration configuration(headset_.headsetAddress(), headset_.options().user,
                                                port_);
    auto argv =
        RemoteCommand::sshArguments(configuration, headset_.localAddress(), knownHosts_.string());
    argv.insert(argv.begin(), "/usr/bin/ssh");
    return argv;
}

ChildProcess& RemoteScriptSession::start() {
    auto environment = headset_.agentEnvironment();
    environment["SSH_ASKPASS"] = askpass_.string();
    environment["SSH_ASKPASS_REQUIRE"] = "force";
    environment["DISPLAY"] = "vistrel:0";
    ssh_.reset();
    ssh_ = std::make_unique<ChildProcess>(arguments(), environment);
    return *ssh_;
}

std::vector<std::string> RemoteScriptSession::askpassQuestions() const {
    return readLines(askpassLog_);
}

} // namespace vistrel::test
