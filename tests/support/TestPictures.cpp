#include "TestPictures.h"

#include <cmath>
#include <memory>
#include <random>
#include <stdexcept>

namespace vistrel::test {

namespace {

// Makes a frame and, for the 4:2:0 layouts, stores luma(x, y) and
// chroma(cx, cy) = {cb, cr} at every position in the frame's own layout.
template <typename Luma, typename Chroma>
PixelBuffer make(int width, int height, AVPixelFormat format, AVColorSpace matrix, Luma luma,
                 Chroma chroma, bool fullRange = false) {
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
    if (nv12 || format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                frame->data[0][y * frame->linesize[0] + x] = static_cast<std::uint8_t>(luma(x, y));
            }
        }
        for (int y = 0; y < (height + 1) / 2; ++y) {
            for (int x = 0; x < (width + 1) / 2; ++x) {
                const auto [cb, cr] = chroma(x, y);
                frame->data[1][y * frame->linesize[1] + (nv12 ? 2 * x : x)] =
                    static_cast<std::uint8_t>(cb);
                frame->data[nv12 ? 1 : 2][y * frame->linesize[nv12 ? 1 : 2] +
                                          (nv12 ? 2 * x + 1 : x)] = static_cast<std::uint8_t>(cr);
            }
        }
    }
    return PixelBuffer::referencing(frame.get());
}

} // namespace

YCbCr toYCbCr(Rgb colour, AVColorSpace matrix, bool fullRange) {
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

PixelBuffer makePicture(int width, int height, AVPixelFormat format, std::uint8_t shade) {
    return make(
        width, height, format, AVCOL_SPC_UNSPECIFIED, [&](int, int) { return shade; },
        [](int, int) {
            return std::pair{128, 128};
        });
}

PixelBuffer makeQuadrants(int width, int height, AVPixelFormat format, AVColorSpace matrix,
                          const std::array<Rgb, 4>& colours, bool fullRange) {
    std::array<YCbCr, 4> values{};
    for (std::size_t i = 0; i < 4; ++i) {
        values.at(i) = toYCbCr(colours.at(i), matrix, fullRange);
    }
    // The quadrant of a position in a plane of w × h samples.
    const auto at = [&](int x, int y, int w, int h) -> const YCbCr& {
        return values.at(static_cast<std::size_t>((x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0)));
    };
    return make(
        width, height, format, matrix, [&](int x, int y) { return at(x, y, width, height).y; },
        [&](int x, int y) {
            const YCbCr& v = at(x, y, (width + 1) / 2, (height + 1) / 2);
            return std::pair{v.cb, v.cr};
        },
        fullRange);
}

PixelBuffer makeNoise(int width, int height, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(16, 235);
    // Untagged, like the headset's own pictures.
    return make(
        width, height, AV_PIX_FMT_YUV420P, AVCOL_SPC_UNSPECIFIED,
        [&](int, int) { return sample(random); },
        [&](int, int) {
            return std::pair{sample(random), sample(random)};
        });
}

PixelBuffer makeMoving(int width, int height, AVPixelFormat format, int index) {
    const double phase = index * 0.07;
    return make(
        width, height, format, AVCOL_SPC_BT709,
        [&](int x, int y) {
            const double wave = std::sin(x * 0.031 + phase) * std::cos(y * 0.023 - phase * 0.5);
            return 116 + static_cast<int>(90 * wave) +
                   (((x * 7919 + y * 104729 + index * 31) >> 3) & 7);
        },
        [&](int x, int y) {
            return std::pair{128 + static_cast<int>(40 * std::sin(x * 0.05 + phase)),
                             128 + static_cast<int>(40 * std::cos(y * 0.04 - phase))};
        });
}

} // namespace vistrel::test
