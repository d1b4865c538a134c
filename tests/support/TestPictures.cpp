#include "TestPictures.h"

#include <cmath>
#include <memory>
#include <random>
#include <stdexcept>

namespace vistrel::test {

namespace {

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

FramePtr allocate(int width, int height, AVPixelFormat format) {
    if (format != AV_PIX_FMT_YUV420P && format != AV_PIX_FMT_NV12) {
        throw std::invalid_argument("test pictures are YUV420P or NV12");
    }
    FramePtr frame(av_frame_alloc());
    frame->width = width;
    frame->height = height;
    frame->format = format;
    frame->color_range = AVCOL_RANGE_MPEG;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        throw std::runtime_error("av_frame_get_buffer failed");
    }
    return frame;
}

// Calls `sample(x, y)` for every luma position and `chroma(cx, cy)` for every
// chroma position, and stores what they return in the frame's own layout.
template <typename Luma, typename Chroma> void fill(AVFrame& frame, Luma luma, Chroma chroma) {
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            frame.data[0][y * frame.linesize[0] + x] = static_cast<uint8_t>(luma(x, y));
        }
    }
    const int cw = (frame.width + 1) / 2;
    const int ch = (frame.height + 1) / 2;
    for (int y = 0; y < ch; ++y) {
        for (int x = 0; x < cw; ++x) {
            const auto [cb, cr] = chroma(x, y);
            if (frame.format == AV_PIX_FMT_NV12) {
                frame.data[1][y * frame.linesize[1] + 2 * x] = static_cast<uint8_t>(cb);
                frame.data[1][y * frame.linesize[1] + 2 * x + 1] = static_cast<uint8_t>(cr);
            } else {
                frame.data[1][y * frame.linesize[1] + x] = static_cast<uint8_t>(cb);
                frame.data[2][y * frame.linesize[2] + x] = static_cast<uint8_t>(cr);
            }
        }
    }
}

PixelBuffer wrap(const FramePtr& frame) {
    PixelBuffer picture = PixelBuffer::referencing(frame.get());
    if (picture.empty()) {
        throw std::runtime_error("PixelBuffer::referencing failed");
    }
    return picture;
}

} // namespace

YCbCr toVideoRange(Rgb colour, AVColorSpace matrix) {
    const bool bt709 = matrix == AVCOL_SPC_BT709;
    const double kr = bt709 ? 0.2126 : 0.299;
    const double kb = bt709 ? 0.0722 : 0.114;
    const double r = colour.r / 255.0;
    const double g = colour.g / 255.0;
    const double b = colour.b / 255.0;
    const double y = kr * r + (1 - kr - kb) * g + kb * b;
    const double pb = (b - y) / (2 * (1 - kb));
    const double pr = (r - y) / (2 * (1 - kr));
    return {static_cast<int>(std::lround(16 + 219 * y)),
            static_cast<int>(std::lround(128 + 224 * pb)),
            static_cast<int>(std::lround(128 + 224 * pr))};
}

PixelBuffer makeQuadrants(int width, int height, AVPixelFormat format, AVColorSpace matrix,
                          const std::array<Rgb, 4>& colours) {
    FramePtr frame = allocate(width, height, format);
    frame->colorspace = matrix;
    std::array<YCbCr, 4> values{};
    for (std::size_t i = 0; i < 4; ++i) {
        values.at(i) = toVideoRange(colours.at(i), matrix);
    }
    auto quadrant = [&](int x, int y, int w, int h) {
        const int index = (x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0);
        return static_cast<std::size_t>(index);
    };
    const int cw = (width + 1) / 2;
    const int ch = (height + 1) / 2;
    fill(
        *frame, [&](int x, int y) { return values.at(quadrant(x, y, width, height)).y; },
        [&](int x, int y) {
            const YCbCr& v = values.at(quadrant(x, y, cw, ch));
            return std::pair{v.cb, v.cr};
        });
    return wrap(frame);
}

PixelBuffer makeSolid(int width, int height, AVPixelFormat format, Rgb colour) {
    return makeQuadrants(width, height, format, AVCOL_SPC_BT709, {colour, colour, colour, colour});
}

PixelBuffer makeNoise(int width, int height, AVPixelFormat format, std::uint32_t seed) {
    FramePtr frame = allocate(width, height, format);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> luma(16, 235);
    std::uniform_int_distribution<int> chroma(16, 240);
    fill(
        *frame, [&](int, int) { return luma(random); },
        [&](int, int) {
            return std::pair{chroma(random), chroma(random)};
        });
    return wrap(frame);
}

PixelBuffer makeMoving(int width, int height, AVPixelFormat format, int index) {
    FramePtr frame = allocate(width, height, format);
    frame->colorspace = AVCOL_SPC_BT709;
    const double phase = index * 0.07;
    fill(
        *frame,
        [&](int x, int y) {
            const double wave = std::sin(x * 0.031 + phase) * std::cos(y * 0.023 - phase * 0.5);
            const int noise = ((x * 7919 + y * 104729 + index * 31) >> 3) & 7;
            return 16 + static_cast<int>(100 + 90 * wave) + noise;
        },
        [&](int x, int y) {
            return std::pair{128 + static_cast<int>(40 * std::sin(x * 0.05 + phase)),
                             128 + static_cast<int>(40 * std::cos(y * 0.04 - phase))};
        });
    return wrap(frame);
}

} // namespace vistrel::test
