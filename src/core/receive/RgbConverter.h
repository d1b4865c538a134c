// Turns decoded pictures into 8-bit RGBA (alpha 255, sRGB) by the colour rule
// of ColourEncoding. Keeps its libswscale context while the pictures keep
// their size and layout, so one converter serves a whole stream. One thread
// at a time.
#pragma once

extern "C" {
#include <libavutil/frame.h>
}

#include "receive/ColourEncoding.h"

#include <array>
#include <memory>

struct SwsContext;

namespace vistrel {

// The colour rule as one affine map from samples (Y', Cb, Cr, each stored
// value / 255) to RGB in 0…1: rows R, G, B of {Y', Cb, Cr, 1}. Read from the
// coefficient table and range handling RgbConverter gives libswscale, so
// that a shader using it and the files can never disagree.
using RgbFromSamples = std::array<std::array<double, 4>, 3>;
RgbFromSamples rgbFromSamples(const ColourEncoding& encoding);

class RgbConverter {
public:
    enum class Precision {
        // Exact to the level; for files (tens of milliseconds at 720p).
        Exact,
        // Within two levels of Exact on flat colours, about a hundred times
        // faster; for the screen.
        Fast,
    };

    explicit RgbConverter(Precision precision);
    ~RgbConverter();
    RgbConverter(const RgbConverter&) = delete;
    RgbConverter& operator=(const RgbConverter&) = delete;

    // Writes the top-left `width` × `height` pixels of `picture` into `target`
    // as rows `stride` bytes apart. False, with nothing promised about
    // `target`, when the picture has no pixels, a layout libswscale does not
    // know, or a size outside 1…16384 or beyond its own.
    bool convert(const AVFrame& picture, int width, int height, unsigned char* target, int stride);

private:
    struct ContextDeleter {
        void operator()(SwsContext* context) const;
    };

    int flags_;
    std::unique_ptr<SwsContext, ContextDeleter> context_;
    // What context_ was made and set up for.
    int width_ = 0;
    int height_ = 0;
    int format_ = -1;
    int matrix_ = -1;
    int fullRange_ = -1;
};

} // namespace vistrel
