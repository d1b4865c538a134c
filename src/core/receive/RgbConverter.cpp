#include "receive/RgbConverter.h"

#include "receive/ColourEncoding.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace vistrel {

namespace {

int swscaleMatrix(ColourMatrix matrix) {
    switch (matrix) {
    case ColourMatrix::Bt709:
        return SWS_CS_ITU709;
    case ColourMatrix::Bt2020:
        return SWS_CS_BT2020;
    case ColourMatrix::Fcc:
        return SWS_CS_FCC;
    case ColourMatrix::Smpte240m:
        return SWS_CS_SMPTE240M;
    case ColourMatrix::Bt601:
        break;
    }
    return SWS_CS_ITU601;
}

} // namespace

RgbFromSamples rgbFromSamples(const ColourEncoding& encoding) {
    // libswscale's table is {Cr→R, Cb→B, Cb→G, Cr→G} × 65536 for limited-range
    // chroma; it widens luma in limited range and narrows chroma in full range.
    const int* table = sws_getCoefficients(swscaleMatrix(encoding.matrix));
    const double chroma = encoding.fullRange ? 224.0 / 255.0 / 65536.0 : 1.0 / 65536.0;
    const double cy = encoding.fullRange ? 1.0 : 255.0 / 219.0;
    const double y0 = encoding.fullRange ? 0.0 : 16.0 / 255.0;
    const double c0 = 128.0 / 255.0;
    const double crToR = table[0] * chroma;
    const double cbToB = table[1] * chroma;
    const double cbToG = -table[2] * chroma;
    const double crToG = -table[3] * chroma;
    const double offset = -cy * y0;
    return {{{cy, 0.0, crToR, offset - crToR * c0},
             {cy, cbToG, crToG, offset - (cbToG + crToG) * c0},
             {cy, cbToB, 0.0, offset - cbToB * c0}}};
}

void RgbConverter::ContextDeleter::operator()(SwsContext* context) const {
    sws_freeContext(context);
}

RgbConverter::RgbConverter(Precision precision)
    // Full chroma interpolation in both: without it swscale reuses each
    // chroma sample for two pixels and bar edges get coloured fringes.
    : flags_(precision == Precision::Exact ? SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT
                                           : SWS_BILINEAR | SWS_FULL_CHR_H_INT) {
}

RgbConverter::~RgbConverter() = default;

bool RgbConverter::convert(const AVFrame& picture, int width, int height, unsigned char* target,
                           int stride) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384 || width > picture.width ||
        height > picture.height || picture.data[0] == nullptr || target == nullptr ||
        stride < width * 4) {
        return false;
    }
    const auto format = static_cast<AVPixelFormat>(picture.format);
    // swscale asserts on layouts it does not know, so they never reach it.
    if (sws_isSupportedInput(format) == 0) {
        return false;
    }
    if (!context_ || width != width_ || height != height_ || format != format_) {
        context_.reset(sws_getContext(width, height, format, width, height, AV_PIX_FMT_RGBA, flags_,
                                      nullptr, nullptr, nullptr));
        if (!context_) {
            return false;
        }
        width_ = width;
        height_ = height;
        format_ = format;
        matrix_ = -1;
    }
    const ColourEncoding encoding = colourEncodingOf(picture);
    const int matrix = swscaleMatrix(encoding.matrix);
    const int fullRange = encoding.fullRange ? 1 : 0;
    if (matrix != matrix_ || fullRange != fullRange_) {
        const int* coefficients = sws_getCoefficients(matrix);
        // Output is full-range RGB; brightness, contrast and saturation neutral.
        if (sws_setColorspaceDetails(context_.get(), coefficients, fullRange, coefficients, 1, 0,
                                     1 << 16, 1 << 16) < 0) {
            context_.reset();
            return false;
        }
        matrix_ = matrix;
        fullRange_ = fullRange;
    }
    unsigned char* planes[4] = {target, nullptr, nullptr, nullptr};
    const int strides[4] = {stride, 0, 0, 0};
    return sws_scale(context_.get(), picture.data, picture.linesize, 0, height, planes, strides) ==
           height;
}

} // namespace vistrel
