// A home of its own for a Vistrel run against the simulated headset: HOME
// and the XDG folders in a fresh folder (so the user's settings and known
// hosts are neither read nor changed), the headset's host key already
// trusted in Vistrel's known_hosts, and the simulator's agent for the login.
// Set in this process's environment, so that Vistrel run here or started
// from here uses it; removed with the object.
#pragma once

#include "HeadsetSimulator.h"
#include "ScratchFolder.h"

#include <filesystem>

namespace vistrel::bench {

class PrivateHome {
public:
    explicit PrivateHome(const test::HeadsetSimulator& headset);
    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;

    // Vistrel's known_hosts in it, which trusts the headset.
    [[nodiscard]] std::filesystem::path knownHosts() const {
        return folder_.path() / "data/Vistrel/known_hosts";
    }

private:
    test::ScratchFolder folder_;
};

} // namespace vistrel::bench
