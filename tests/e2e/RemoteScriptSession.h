// One run of /usr/bin/ssh against a simulated headset, exactly as the
// application starts it: the real arguments from RemoteCommand::sshArguments
// and the real remote script. Only the known-hosts file, the agent holding
// the test key and an askpass program that answers "yes" and writes down what
// it was asked belong to the test.
#pragma once

#include "ChildProcess.h"
#include "HeadsetSimulator.h"
#include "ScratchFolder.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vistrel::test {

class RemoteScriptSession {
public:
    enum class Trust { preTrusted, unknownHost };

    // `knownHosts` empty: a file in a private folder whose name has a space.
    RemoteScriptSession(const HeadsetSimulator& headset, std::uint16_t port,
                        Trust trust = Trust::preTrusted, std::filesystem::path knownHosts = {});

    // Starts /usr/bin/ssh; may be called again for a second connection after
    // the first one ended.
    ChildProcess& start();
    [[nodiscard]] ChildProcess& ssh() { return *ssh_; }

    [[nodiscard]] std::vector<std::string> arguments() const;
    [[nodiscard]] const std::filesystem::path& knownHosts() const noexcept { return knownHosts_; }
    // The lines of every question the askpass program was asked, in order.
    [[nodiscard]] std::vector<std::string> askpassQuestions() const;

private:
    const HeadsetSimulator& headset_;
    std::uint16_t port_;
    ScratchFolder folder_;
    std::filesystem::path knownHosts_;
    std::filesystem::path askpass_;
    std::filesystem::path askpassLog_;
    std::unique_ptr<ChildProcess> ssh_;
};

} // namespace vistrel::test
