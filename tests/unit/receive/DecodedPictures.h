// Reads decoded pictures back as tightly packed YUV420P bytes, the layout the
// ffmpeg program writes with "-f rawvideo -pix_fmt yuv420p".
#pragma once

#include "receive/PixelBuffer.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace vistrel::test {

inline std::vector<std::uint8_t> packedPicture(const PixelBuffer& picture) {
    const AVFrame* frame = picture.frame();
    std::vector<std::uint8_t> bytes;
    if (frame == nullptr || frame->format != AV_PIX_FMT_YUV420P) {
        return bytes;
    }
    const int widths[3] = {frame->width, (frame->width + 1) / 2, (frame->width + 1) / 2};
    const int heights[3] = {frame->height, (frame->height + 1) / 2, (frame->height + 1) / 2};
    for (int plane = 0; plane < 3; ++plane) {
        for (int row = 0; row < heights[plane]; ++row) {
            const std::uint8_t* line =
                frame->data[plane] + static_cast<std::ptrdiff_t>(row) * frame->linesize[plane];
            bytes.insert(bytes.end(), line, line + widths[plane]);
        }
    }
    return bytes;
}

// One pixel as 8-bit RGB, from the picture's limited-range BT.601 YUV.
struct Rgb {
    int r;
    int g;
    int b;
};

inline Rgb pixel(const PixelBuffer& picture, int x, int y) {
    const AVFrame* frame = picture.frame();
    const double luma = frame->data[0][y * frame->linesize[0] + x];
    double cb = 0;
    double cr = 0;
    if (frame->format == AV_PIX_FMT_NV12) {
        const std::uint8_t* chroma = frame->data[1] + (y / 2) * frame->linesize[1] + (x / 2) * 2;
        cb = chroma[0];
        cr = chroma[1];
    } else {
        cb = frame->data[1][(y / 2) * frame->linesize[1] + x / 2];
        cr = frame->data[2][(y / 2) * frame->linesize[2] + x / 2];
    }
    const double c = (luma - 16) * 255.0 / 219.0;
    const double u = (cb - 128) * 255.0 / 224.0;
    const double v = (cr - 128) * 255.0 / 224.0;
    auto clamp = [](double value) {
        return static_cast<int>(std::min(255.0, std::max(0.0, value + 0.5)));
    };
    return {clamp(c + 1.402 * v), clamp(c - 0.344136 * u - 0.714136 * v), clamp(c + 1.772 * u)};
}

} // namespace vistrel::test
