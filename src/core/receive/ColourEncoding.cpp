#include "receive/ColourEncoding.h"

namespace vistrel {

ColourEncoding colourEncodingOf(const AVFrame& picture) {
    ColourEncoding encoding;
    switch (picture.colorspace) {
    case AVCOL_SPC_BT709:
        encoding.matrix = ColourMatrix::Bt709;
        break;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        encoding.matrix = ColourMatrix::Bt2020;
        break;
    case AVCOL_SPC_FCC:
        encoding.matrix = ColourMatrix::Fcc;
        break;
    case AVCOL_SPC_SMPTE240M:
        encoding.matrix = ColourMatrix::Smpte240m;
        break;
    default:
        // BT470BG and SMPTE170M are BT.601 by name; untagged pictures by rule.
        break;
    }
    const auto format = static_cast<AVPixelFormat>(picture.format);
    encoding.fullRange = picture.color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P ||
                         format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P;
    return encoding;
}

} // namespace vistrel
