// What the video surface shows: each presented picture goes at once to the
// QVideoSink of the window's VideoOutput, which fits it on black. Lives as
// long as the session.
//
// Colours follow the rule of ColourEncoding, as in screenshots. Qt 6.4's
// video shader reads only BT.601 limited range right: its BT.709 matrix swaps
// the two green terms (BT.601 red shows as 255,72,0), its full-range matrices
// are off, and a window keeps the matrix of the first picture it drew in each
// layout, whatever later pictures declare. So pictures in BT.601 limited range
// (the headset's) go to the GPU as decoded and always declared so; any other
// picture is converted to RGB here first.
#pragma once

#include "receive/PixelBuffer.h"
#include "receive/RgbConverter.h"

#include <QObject>
#include <QPointer>
#include <QVideoFrame>
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

    // Copies the picture once into a video frame, of the same layout (YUV420P
    // or NV12) or converted to RGBA, and hands it to the sink. Returns false
    // when nothing was shown: no sink, a frame that could not be mapped this
    // time (the picture is skipped), or a picture that cannot be shown (then
    // `failed` is emitted too).
    bool show(const PixelBuffer& picture);

    // Removes the picture on screen.
    void flush();

    // Pictures handed to a sink so far.
    [[nodiscard]] std::uint64_t shownCount() const { return shown_; }

signals:
    void videoSinkChanged();
    // A picture went to the sink.
    void shown();
    // A picture could not be turned into something the sink can show.
    void failed();

private:
    QVideoFrame converted(const AVFrame& frame, QSize size);

    QPointer<QVideoSink> sink_;
    RgbConverter converter_{RgbConverter::Precision::Fast};
    std::uint64_t shown_ = 0;
};

} // namespace vistrel
