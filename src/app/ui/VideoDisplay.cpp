#include "ui/VideoDisplay.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <QVideoFrame>
#include <QVideoFrameFormat>
#include <algorithm>
#include <cstring>

namespace vistrel {

namespace {

QVideoFrameFormat::ColorSpace colorSpaceOf(const AVFrame& frame) {
    switch (frame.colorspace) {
    case AVCOL_SPC_BT709:
        return QVideoFrameFormat::ColorSpace_BT709;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return QVideoFrameFormat::ColorSpace_BT2020;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return QVideoFrameFormat::ColorSpace_BT601;
    default:
        // Untagged streams: what encoders assume for SD and HD sizes.
        return frame.height > 576 ? QVideoFrameFormat::ColorSpace_BT709
                                  : QVideoFrameFormat::ColorSpace_BT601;
    }
}

// Copies `rows` rows of `bytes` bytes between planes of different strides.
void copyPlane(uchar* target, int targetStride, const uint8_t* source, int sourceStride, int bytes,
               int rows) {
    for (int row = 0; row < rows; ++row) {
        std::memcpy(target + static_cast<std::ptrdiff_t>(row) * targetStride,
                    source + static_cast<std::ptrdiff_t>(row) * sourceStride,
                    static_cast<std::size_t>(bytes));
    }
}

} // namespace

VideoDisplay::VideoDisplay(QObject* parent) : QObject(parent) {
}

void VideoDisplay::setVideoSink(QVideoSink* sink) {
    if (sink_ == sink) {
        return;
    }
    sink_ = sink;
    emit videoSinkChanged();
}

bool VideoDisplay::show(const PixelBuffer& picture) {
    const AVFrame* frame = picture.frame();
    // 4:2:0 pictures of an odd size lose their last column or row on screen.
    const int width = frame == nullptr ? 0 : frame->width & ~1;
    const int height = frame == nullptr ? 0 : frame->height & ~1;
    if (width <= 0 || height <= 0) {
        emit failed();
        return false;
    }
    QVideoFrameFormat::PixelFormat layout = QVideoFrameFormat::Format_Invalid;
    switch (picture.format()) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
        layout = QVideoFrameFormat::Format_YUV420P;
        break;
    case AV_PIX_FMT_NV12:
        layout = QVideoFrameFormat::Format_NV12;
        break;
    default:
        emit failed();
        return false;
    }
    if (!sink_) {
        return false;
    }

    QVideoFrameFormat format(QSize(width, height), layout);
    format.setColorSpace(colorSpaceOf(*frame));
    format.setColorRange(frame->color_range == AVCOL_RANGE_JPEG ||
                                 picture.format() == AV_PIX_FMT_YUVJ420P
                             ? QVideoFrameFormat::ColorRange_Full
                             : QVideoFrameFormat::ColorRange_Video);
    QVideoFrame video(format);
    if (!video.map(QVideoFrame::WriteOnly)) {
        // A frame without memory for now: this picture is skipped, the next
        // one may fare better.
        return false;
    }
    copyPlane(video.bits(0), video.bytesPerLine(0), frame->data[0], frame->linesize[0], width,
              height);
    if (layout == QVideoFrameFormat::Format_YUV420P) {
        for (int plane = 1; plane <= 2; ++plane) {
            copyPlane(video.bits(plane), video.bytesPerLine(plane), frame->data[plane],
                      frame->linesize[plane], width / 2, height / 2);
        }
    } else {
        copyPlane(video.bits(1), video.bytesPerLine(1), frame->data[1], frame->linesize[1], width,
                  height / 2);
    }
    video.unmap();
    sink_->setVideoFrame(video);
    ++shown_;
    return true;
}

void VideoDisplay::flush() {
    if (sink_) {
        sink_->setVideoFrame(QVideoFrame());
    }
}

} // namespace vistrel
