// What the video surface shows: the newest presented picture, as decoded.
// The window's video item pulls it on each change and converts it on the GPU,
// so the session shows pictures without knowing the window. Lives as long as
// the session.
#pragma once

#include "receive/PixelBuffer.h"

#include <QObject>
#include <cstdint>

namespace vistrel {

class VideoDisplay : public QObject {
    Q_OBJECT

public:
    explicit VideoDisplay(QObject* parent = nullptr);

    // Makes the picture current; false, and `failed` emitted, when it is not
    // a non-empty 8-bit 4:2:0 picture (YUV420P, YUVJ420P or NV12), which the
    // video item could never show.
    bool show(const PixelBuffer& picture);

    // Removes the picture on screen.
    void flush();

    // The picture to show; empty while there is none.
    [[nodiscard]] const PixelBuffer& current() const { return current_; }

    // Pictures made current so far.
    [[nodiscard]] std::uint64_t shownCount() const { return shown_; }

    // Called by the video item when it could not put the current picture on
    // screen; ends the stream as a picture of the wrong layout would.
    void reportFailure() { emit failed(); }

signals:
    // A picture became current.
    void shown();
    // The current picture changed or went away.
    void currentChanged();
    // A picture could not be shown.
    void failed();

private:
    PixelBuffer current_;
    std::uint64_t shown_ = 0;
};

} // namespace vistrel
