// Decoded pictures with known content for tests and benchmarks: 8-bit 4:2:0
// frames (YUV420P or NV12) made from RGB colours with a chosen colour matrix
// in video range, the way a decoder hands them over.
#pragma once

#include "receive/PixelBuffer.h"

#include <array>
#include <cstdint>

namespace vistrel::test {

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
};

struct YCbCr {
    int y = 0;
    int cb = 0;
    int cr = 0;
};

// Video-range Y'CbCr of an sRGB colour under BT.601 (AVCOL_SPC_SMPTE170M or
// AVCOL_SPC_BT470BG) or BT.709 (AVCOL_SPC_BT709) coefficients.
YCbCr toVideoRange(Rgb colour, AVColorSpace matrix);

// Four quadrants: top-left, top-right, bottom-left, bottom-right.
PixelBuffer makeQuadrants(int width, int height, AVPixelFormat format, AVColorSpace matrix,
                          const std::array<Rgb, 4>& colours);

PixelBuffer makeSolid(int width, int height, AVPixelFormat format, Rgb colour);

// Random samples everywhere: pictures that do not compress.
PixelBuffer makeNoise(int width, int height, AVPixelFormat format, std::uint32_t seed);

// A scene that moves a little with every `index`, like a camera picture.
PixelBuffer makeMoving(int width, int height, AVPixelFormat format, int index);

} // namespace vistrel::test
