// Reads recorded MP4 and PNG files back with the real libraries (libavformat,
// libavcodec, libpng) so tests check what a player or viewer would see.
#pragma once

#include "receive/PixelBuffer.h"

#include <cstdint> // before FFmpeg's headers, which need UINT64_C in C++

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/rational.h>
}

#include <filesystem>
#include <string>
#include <vector>

namespace vistrel::test {

struct Mp4Info {
    std::string error; // empty when the file opened and was read to its end
    int videoStreams = 0;
    int otherStreams = 0;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    AVRational timeBase{0, 1};
    std::int64_t duration = 0;     // of the video stream, in its time base
    std::vector<std::int64_t> pts; // of every packet, in file order
    std::vector<bool> keyFrames;
    int decodedFrames = 0;
    int decodeErrors = 0;
    // Mean Y, Cb and Cr of the first decoded picture's centre 8 × 8 block.
    int centreY = -1;
    int centreCb = -1;
    int centreCr = -1;
};

Mp4Info readMp4(const std::filesystem::path& file);

struct PngInfo {
    std::string error; // empty when libpng read the whole image
    int width = 0;
    int height = 0;
    int bitDepth = 0;
    int colourType = -1; // as in the IHDR chunk: 6 is RGBA
    bool srgbChunk = false;
    std::vector<unsigned char> rgba; // as libpng decodes it, 4 bytes a pixel
    [[nodiscard]] const unsigned char* at(int x, int y) const {
        return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    }
};

// Every picture of the first video stream, as libavcodec's decoder made them.
std::vector<PixelBuffer> decodeAll(const std::filesystem::path& file);

PngInfo readPng(const std::filesystem::path& file);

std::string readFile(const std::filesystem::path& file);
// The file's lines without their line feeds; none for a missing file.
std::vector<std::string> readLines(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& contents);

// Names in a folder, hidden ones included, sorted.
std::vector<std::string> listFolder(const std::filesystem::path& folder);

} // namespace vistrel::test
