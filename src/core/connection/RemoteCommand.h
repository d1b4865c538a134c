// The script that runs on the headset and the exact /usr/bin/ssh command line
// that carries it. Pure functions: these bytes run on the headset.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vistrel {

class ConnectionConfiguration;

namespace RemoteCommand {

// Lines the script prints on its standard output and reads on its standard input.
inline constexpr std::string_view startedMarker = "VL_STARTED";
inline constexpr std::string_view pingLine = "PING\n";
inline constexpr std::string_view stopLine = "STOP\n";

// Makes any text a single POSIX shell word.
std::string quote(std::string_view text);

// The bash script that starts the encoder and speaks the line protocol.
std::string script(std::string_view destination, std::uint16_t port);

// The 32 arguments for /usr/bin/ssh (the program path not included). Throws
// StreamError for a known-hosts path that ssh cannot take literally.
std::vector<std::string> sshArguments(const ConnectionConfiguration& configuration,
                                      std::string_view destination, std::string_view knownHosts);

} // namespace RemoteCommand
} // namespace vistrel
