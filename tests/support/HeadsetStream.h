// Real H.264-in-MPEG-TS streams as the headset sends them: ffmpeg with the
// remote script's encoder arguments (testsrc2 standing in for the camera),
// sent over UDP to 127.0.0.1 as the script sends.
#pragma once

#include "MediaFiles.h"
#include "support/UniqueFd.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel::test {

// ffmpeg with `input` (up to and including "-i ..."), then the remote script's
// own encoder arguments and destination, for 127.0.0.1 and `port`.
std::vector<std::string> headsetEncoder(const std::vector<std::string>& input, std::uint16_t port);

struct TestStream {
    std::vector<Bytes> datagrams; // as ffmpeg's UDP output cut them
    Bytes bytes;                  // all datagrams
    std::vector<Bytes> units;     // libavformat's access units
};

// The shared streams, by name: "320x240" and "1280x720" (3 s), "256x144"
// (1 s), and 0.1 s ones the decoder refuses: "yuv444p", "yuv420p10le",
// "8208x16". The make_test_streams fixture writes them to the build folder
// once per test run; one that is missing is made here.
const TestStream& testStream(const std::string& name);
void makeTestStreams();

// A UDP port that nobody was bound to a moment ago.
std::uint16_t freeUdpPort();
// A UDP socket bound to `address` and `port` (0: one the system chooses);
// none when that fails, as for a port that is taken.
UniqueFd bindUdp(const std::string& address, std::uint16_t port = 0);
std::uint16_t boundPort(const UniqueFd& socket);

} // namespace vistrel::test
