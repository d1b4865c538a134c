// Decoded pictures with known content, in real AVFrames as a decoder hands
// them over: 8-bit 4:2:0 (YUV420P, YUVJ420P or NV12), video range unless told.
#pragma once

#include "receive/PixelBuffer.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>

namespace vistrel::test {

struct Rgb {
    int r, g, b;
};

struct YCbCr {
    int y, cb, cr;
};

// Makes a frame and, for the 4:2:0 layouts, stores value(plane, x, y) at
// every position of plane 0 (Y'), 1 (Cb) and 2 (Cr), in the frame's own layout.
template <typename Value>
PixelBuffer makeFrame(int width, int height, AVPixelFormat format, AVColorSpace matrix, Value value,
                      bool fullRange = false) {
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                       [](AVFrame* f) { av_frame_free(&f); });
    frame->width = width;
    frame->height = height;
    frame->format = format;
    frame->colorspace = matrix;
    frame->color_range = fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        throw std::runtime_error("av_frame_get_buffer failed");
    }
    const bool nv12 = format == AV_PIX_FMT_NV12;
    for (int plane = 0;
         (nv12 || format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P) && plane < 3;
         ++plane) {
        const int stored = nv12 && plane == 2 ? 1 : plane;
        for (int y = 0; y < (plane == 0 ? height : (height + 1) / 2); ++y) {
            for (int x = 0; x < (plane == 0 ? width : (width + 1) / 2); ++x) {
                frame->data[stored][y * frame->linesize[stored] +
                                    (nv12 && plane > 0 ? 2 * x + plane - 1 : x)] =
                    static_cast<std::uint8_t>(value(plane, x, y));
            }
        }
    }
    return PixelBuffer::referencing(frame.get());
}

// Y'CbCr of an sRGB colour under BT.709 (AVCOL_SPC_BT709), otherwise BT.601.
inline YCbCr toYCbCr(Rgb colour, AVColorSpace matrix, bool fullRange = false) {
    const double kr = matrix == AVCOL_SPC_BT709 ? 0.2126 : 0.299;
    const double kb = matrix == AVCOL_SPC_BT709 ? 0.0722 : 0.114;
    const double y = (kr * colour.r + (1 - kr - kb) * colour.g + kb * colour.b) / 255.0;
    const double pb = (colour.b / 255.0 - y) / (2 * (1 - kb));
    const double pr = (colour.r / 255.0 - y) / (2 * (1 - kr));
    const double luma = fullRange ? 255 : 219;
    const double chroma = fullRange ? 255 : 224;
    return {static_cast<int>(std::lround((fullRange ? 0 : 16) + luma * y)),
            static_cast<int>(std::lround(128 + chroma * pb)),
            static_cast<int>(std::lround(128 + chroma * pr))};
}

// A picture of any pixel format, untagged; YUV420P and NV12 ones are mid-grey.
inline PixelBuffer makePicture(int width, int height, AVPixelFormat format = AV_PIX_FMT_YUV420P) {
    return makeFrame(width, height, format, AVCOL_SPC_UNSPECIFIED,
                     [](int, int, int) { return 128; });
}

// Four quadrants: top-left, top-right, bottom-left, bottom-right.
inline PixelBuffer makeQuadrants(int width, int height, AVPixelFormat format, AVColorSpace matrix,
                                 const std::array<Rgb, 4>& colours, bool fullRange = false) {
    const auto value = [&](int plane, int x, int y) {
        const int w = plane == 0 ? width : (width + 1) / 2;
        const int h = plane == 0 ? height : (height + 1) / 2;
        const YCbCr v = toYCbCr(
            colours.at(static_cast<std::size_t>((x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0))),
            matrix, fullRange);
        return plane == 0 ? v.y : plane == 1 ? v.cb : v.cr;
    };
    return makeFrame(width, height, format, matrix, value, fullRange);
}

// Random samples everywhere (YUV420P): pictures that do not compress.
inline PixelBuffer makeNoise(int width, int height, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(16, 235);
    return makeFrame(width, height, AV_PIX_FMT_YUV420P, AVCOL_SPC_UNSPECIFIED,
                     [&](int, int, int) { return sample(random); });
}

} // namespace vistrel::test
