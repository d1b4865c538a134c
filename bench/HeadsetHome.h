// The simulated headset (tools/headset-sim; root only) and a home of Vistrel's
// own against it: HOME and the XDG folders in a fresh folder, so that the
// user's settings and known hosts are neither read nor changed, Vistrel's
// known_hosts already trusting the headset, and the simulator's agent for the
// login; set in this process's environment, for Vistrel run here or from here.
#pragma once

#include "HeadsetSimulator.h"
#include "ScratchFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vistrel::bench {

struct HeadsetHome {
    test::HeadsetSimulator headset;
    test::ScratchFolder home;

    HeadsetHome() {
        namespace fs = std::filesystem;
        for (const char* folder : {"config", "data/Vistrel", "cache", "runtime"}) {
            fs::create_directories(home / folder);
        }
        // Vistrel and the desktop insist on private folders for these two.
        fs::permissions(home / "data/Vistrel", fs::perms::owner_all);
        fs::permissions(home / "runtime", fs::perms::owner_all);
        std::ofstream(knownHosts()) << headset.knownHostsLine() << '\n';
        auto environment = headset.agentEnvironment();
        environment.insert({{"HOME", home.path()},
                            {"XDG_CONFIG_HOME", home / "config"},
                            {"XDG_DATA_HOME", home / "data"},
                            {"XDG_CACHE_HOME", home / "cache"},
                            {"XDG_RUNTIME_DIR", home / "runtime"}});
        for (const auto& [name, value] : environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }

    [[nodiscard]] std::filesystem::path knownHosts() const {
        return home / "data/Vistrel/known_hosts";
    }
};

} // namespace vistrel::bench
