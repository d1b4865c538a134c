// Files read back with the real libraries (libavformat, libavcodec, libpng),
// as a player or viewer would, and small file helpers.
#pragma once

#include "receive/PixelBuffer.h"

#include <cstdint> // before FFmpeg's headers, which need UINT64_C in C++

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavcodec/packet.h>
}

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vistrel::test {

using Bytes = std::vector<std::uint8_t>;

struct Movie {
    std::string error; // empty when the file opened and was read to its end
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    AVRational timeBase{0, 1};
    std::int64_t duration = 0;           // of the video stream, in its time base
    std::vector<std::int64_t> pts{};     // of every video packet, in file order
    std::vector<PixelBuffer> pictures{}; // libavcodec's decoding, when asked for
};

// The first video stream of a file (MP4, MPEG-TS), read by libavformat
// without parsers: `onPacket` sees each video packet as stored.
using OnPacket = std::function<void(const AVPacket&)>;
Movie readMovie(const std::filesystem::path& file, bool decode = true, const OnPacket& = {});
Movie readMovie(const Bytes& contents, bool decode = true, const OnPacket& onPacket = {});

// The video packets (PES payloads: access units) of a transport stream.
std::vector<Bytes> accessUnits(const Bytes& stream);

struct Png {
    std::string error; // empty when libpng read the whole image
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgba; // 4 bytes a pixel
    [[nodiscard]] const unsigned char* at(int x, int y) const {
        return &rgba.at(std::size_t(y * width + x) * 4);
    }
};
Png readPng(const std::filesystem::path& file);

std::string readFile(const std::filesystem::path& file); // empty when missing
std::vector<std::string> readLines(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& contents);
// Names in a folder, hidden ones included, sorted.
std::vector<std::string> listFolder(const std::filesystem::path& folder);

} // namespace vistrel::test
