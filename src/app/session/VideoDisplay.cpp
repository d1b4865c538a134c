#include "session/VideoDisplay.h"

#include "receive/ColourEncoding.h"

#include <QVideoFrame>
#include <QVideoFrameFormat>
#include <cstring>

namespace vistrel {

namespace {

// Copies `rows` rows of `bytes` bytes between planes of different strides.
void copyPlane(uchar* target, int targetStride, const uint8_t* source, int sourceStride, int bytes,
               int rows) {
    for (int row = 0; row < rows; ++row) {
        std::memcpy(target + static_cast<std::ptrdiff_t>(row) * targetStride,
                    source + static_cast<std::ptrdiff_t>(row) * sourceStride,
                    static_cast<std::size_t>(bytes));
    }
}

// The picture's samples as they are, for the GPU to convert.
QVideoFrame copied(const AVFrame& frame, QVideoFrameFormat::PixelFormat layout, QSize size) {
    QVideoFrameFormat format(size, layout);
    format.setColorSpace(QVideoFrameFormat::ColorSpace_BT601);
    format.setColorRange(QVideoFrameFormat::ColorRange_Video);
    QVideoFrame video(format);
    if (!video.map(QVideoFrame::WriteOnly)) {
        return {};
    }
    const int width = size.width();
    const int height = size.height();
    copyPlane(video.bits(0), video.bytesPerLine(0), frame.data[0], frame.linesize[0], width,
              height);
    if (layout == QVideoFrameFormat::Format_YUV420P) {
        for (int plane = 1; plane <= 2; ++plane) {
            copyPlane(video.bits(plane), video.bytesPerLine(plane), frame.data[plane],
                      frame.linesize[plane], width / 2, height / 2);
        }
    } else {
        copyPlane(video.bits(1), video.bytesPerLine(1), frame.data[1], frame.linesize[1], width,
                  height / 2);
    }
    video.unmap();
    return video;
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
    const QSize size(frame == nullptr ? 0 : frame->width & ~1,
                     frame == nullptr ? 0 : frame->height & ~1);
    QVideoFrameFormat::PixelFormat layout = QVideoFrameFormat::Format_Invalid;
    switch (picture.format()) {
    case AV_PIX_FMT_YUV420P:
        layout = QVideoFrameFormat::Format_YUV420P;
        break;
    case AV_PIX_FMT_NV12:
        layout = QVideoFrameFormat::Format_NV12;
        break;
    case AV_PIX_FMT_YUVJ420P:
        break;
    default:
        emit failed();
        return false;
    }
    if (size.isEmpty()) {
        emit failed();
        return false;
    }
    if (!sink_) {
        return false;
    }
    const bool gpuReadsItRight =
        layout != QVideoFrameFormat::Format_Invalid && colourEncodingOf(*frame) == ColourEncoding{};
    const QVideoFrame video =
        gpuReadsItRight ? copied(*frame, layout, size) : converted(*frame, size);
    if (!video.isValid()) {
        // A frame without memory for now, or a conversion that failed (and
        // said so): this picture is skipped, the next one may fare better.
        return false;
    }
    sink_->setVideoFrame(video);
    ++shown_;
    emit shown();
    return true;
}

QVideoFrame VideoDisplay::converted(const AVFrame& frame, QSize size) {
    QVideoFrame video(QVideoFrameFormat(size, QVideoFrameFormat::Format_RGBA8888));
    if (!video.map(QVideoFrame::WriteOnly)) {
        return {};
    }
    const bool done = converter_.convert(frame, size.width(), size.height(), video.bits(0),
                                         video.bytesPerLine(0));
    video.unmap();
    if (!done) {
        emit failed();
        return {};
    }
    return video;
}

void VideoDisplay::flush() {
    if (sink_) {
        sink_->setVideoFrame(QVideoFrame());
    }
}

} // namespace vistrel
