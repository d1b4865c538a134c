// Decoded pictures with known content, in real AVFrames as a decoder hands
// them over: 8-bit 4:2:0 (YUV420P, YUVJ420P or NV12), video range unless told.
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

// Y'CbCr of an sRGB colour under BT.709 (AVCOL_SPC_BT709) or otherwise BT.601
// coefficients.
YCbCr toYCbCr(Rgb colour, AVColorSpace matrix, bool fullRange = false);

// A picture of any pixel format, untagged; YUV420P and NV12 ones are mid-grey.
PixelBuffer makePicture(int width, int height, AVPixelFormat format = AV_PIX_FMT_YUV420P);

// Four quadrants: top-left, top-right, bottom-left, bottom-right.
PixelBuffer makeQuadrants(int width, int height, AVPixelFormat format, AVColorSpace matrix,
                          const std::array<Rgb, 4>& colours, bool fullRange = false);

// Random samples everywhere (YUV420P): pictures that do not compress.
PixelBuffer makeNoise(int width, int height, std::uint32_t seed);

} // namespace vistrel::test
