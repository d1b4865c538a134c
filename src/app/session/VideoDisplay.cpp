#include "session/VideoDisplay.h"

namespace vistrel {

VideoDisplay::VideoDisplay(QObject* parent) : QObject(parent) {
}

bool VideoDisplay::show(const PixelBuffer& picture) {
    const AVPixelFormat format = picture.format();
    if ((format != AV_PIX_FMT_YUV420P && format != AV_PIX_FMT_YUVJ420P &&
         format != AV_PIX_FMT_NV12) ||
        picture.width() <= 0 || picture.height() <= 0) {
        emit failed();
        return false;
    }
    current_ = picture;
    ++shown_;
    emit currentChanged();
    emit shown();
    return true;
}

void VideoDisplay::flush() {
    if (!current_.empty()) {
        current_ = {};
        emit currentChanged();
    }
}

} // namespace vistrel
