#include "PrivateHome.h"

#include <cstdlib>
#include <fstream>

namespace vistrel::bench {

namespace fs = std::filesystem;

PrivateHome::PrivateHome(const test::HeadsetSimulator& headset) {
    const fs::path home = folder_.path();
    for (const char* folder : {"config", "data/Vistrel", "cache", "runtime"}) {
        fs::create_directories(home / folder);
    }
    // Vistrel and the desktop insist on private folders for these two.
    fs::permissions(home / "data/Vistrel", fs::perms::owner_all);
    fs::permissions(home / "runtime", fs::perms::owner_all);
    std::ofstream(knownHosts()) << headset.knownHostsLine() << '\n';

    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    for (const auto& [name, value] : headset.agentEnvironment()) {
        ::setenv(name.c_str(), value.c_str(), 1);
    }
}

} // namespace vistrel::bench
