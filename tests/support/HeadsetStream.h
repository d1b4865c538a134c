// Real H.264-in-MPEG-TS streams for tests, made by the ffmpeg program with
// the encoder settings the headset uses (testsrc2 standing in for the
// camera), and libavformat's own reading of them as a reference.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vistrel::test {

using Bytes = std::vector<std::uint8_t>;

// ffmpeg's arguments after the input, up to and including "-f mpegts", as the
// headset's script passes them.
std::vector<std::string> headsetEncoderArguments();

// A transport stream of `seconds` of testsrc2 at width × height, 20 frames
// per second in; `pixelFormat` replaces the headset's yuv420p. Throws
// std::runtime_error when ffmpeg fails.
Bytes encodeHeadsetStream(int width, int height, double seconds,
                          const std::string& pixelFormat = "yuv420p");

// The URL the headset's script sends to, for 127.0.0.1 and `port`.
std::string headsetDestination(std::uint16_t port);

// The same stream sent by ffmpeg to a UDP socket on 127.0.0.1 with the
// destination options of the headset's script, one entry per datagram in
// arrival order: the datagrams as ffmpeg's UDP output cuts them. Throws
// std::runtime_error when ffmpeg fails or a datagram was lost.
std::vector<Bytes> sendHeadsetStream(int width, int height, double seconds);

// Runs libavformat's mpegts demuxer (no parser) over the stream in memory and
// hands each packet's payload to `onPacket`, in order.
void demuxWithLibavformat(const Bytes& stream,
                          const std::function<void(const std::uint8_t*, int)>& onPacket);

// The video PES payloads of a transport stream as libavformat reads them.
std::vector<Bytes> referenceAccessUnits(const Bytes& stream);

// The stream decoded by the ffmpeg program: one YUV420P picture per entry,
// every decoded picture, none duplicated or dropped.
std::vector<Bytes> referencePictures(const Bytes& stream, int width, int height);

// A UDP port on 127.0.0.1 that nobody was using a moment ago.
std::uint16_t freeUdpPort();

} // namespace vistrel::test
