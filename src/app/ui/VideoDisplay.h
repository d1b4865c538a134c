// What the video surface shows: each presented picture goes at once to the
// QVideoSink of the window's VideoOutput, which fits it on black and converts
// its colours on the GPU. Lives as long as the session.
#pragma once

#include "receive/PixelBuffer.h"

#include <QObject>
#include <QPointer>
#include <QVideoSink>
#include <cstdint>

namespace vistrel {

class VideoDisplay : public QObject {
    Q_OBJECT
    // Set by the window from its VideoOutput; null while nothing shows the video.
    Q_PROPERTY(QVideoSink* videoSink READ videoSink WRITE setVideoSink NOTIFY videoSinkChanged)

public:
    explicit VideoDisplay(QObject* parent = nullptr);

    [[nodiscard]] QVideoSink* videoSink() const { return sink_; }
    void setVideoSink(QVideoSink* sink);

    // Copies the picture once into a video frame of the same layout (YUV420P
    // or NV12) and hands it to the sink. Returns false when nothing was shown:
    // no sink, a frame that could not be mapped this time (the picture is
    // skipped), or a picture whose layout cannot be shown (then `failed` is
    // emitted too).
    bool show(const PixelBuffer& picture);

    // Removes the picture on screen.
    void flush();

    // Pictures handed to a sink so far.
    [[nodiscard]] std::uint64_t shownCount() const { return shown_; }

signals:
    void videoSinkChanged();
    // A picture could not be turned into something the sink can show.
    void failed();

private:
    QPointer<QVideoSink> sink_;
    std::uint64_t shown_ = 0;
};

} // namespace vistrel
