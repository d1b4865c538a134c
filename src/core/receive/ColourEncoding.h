// How the samples of a decoded picture become colours: the matrix and the
// range. Pictures may carry both as tags; the headset's do not, because
// FFmpeg's own RGB-to-YUV conversion, which makes them, writes BT.601 in
// limited range without saying so.
#pragma once

extern "C" {
#include <libavutil/frame.h>
}

namespace vistrel {

enum class ColourMatrix { Bt601, Bt709, Bt2020, Fcc, Smpte240m };

struct ColourEncoding {
    ColourMatrix matrix = ColourMatrix::Bt601;
    bool fullRange = false;

    friend bool operator==(const ColourEncoding&, const ColourEncoding&) = default;
};

// The one rule for every conversion of a decoded picture, on screen and in
// files: each tag the picture has is followed; a missing matrix is BT.601 and
// a missing range is limited. The YUVJ layouts are full range by definition.
ColourEncoding colourEncodingOf(const AVFrame& picture);

} // namespace vistrel
