// The session's record and screenshot commands: what allows them, the save
// dialog they open, the recorder and the PNG writer they drive, and the saving
// flags, notices and errors they leave in the session's published fields.
// It belongs to one session and lives as long as it.
#pragma once

#include "capture/LocalVideoRecorder.h"
#include "receive/PixelBuffer.h"

#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace vistrel {

class StreamSession;

class CaptureController {
public:
    explicit CaptureController(StreamSession& session);
    CaptureController(const CaptureController&) = delete;
    CaptureController& operator=(const CaptureController&) = delete;

    // Live, with a picture on screen, no save dialog open, and no save of the
    // same kind under way.
    [[nodiscard]] bool canRecord() const;
    [[nodiscard]] bool canScreenshot() const;

    // Starts a recording (after asking where) or stops the one running.
    void toggleRecording();
    // Stops a recording in progress and saves it in the background.
    void stopRecording();
    // Saves the picture on screen now as a PNG (after asking where).
    void captureScreenshot();
    void revealLastCapture();

    // Every picture shown joins a recording in progress; `seconds` on the
    // steady clock.
    void append(const PixelBuffer& picture, double seconds);
    // An open save dialog is closed as if cancelled (the run ends).
    void cancelChooser();

private:
    enum class Kind { Recording, Screenshot };
    void choose(Kind kind, std::function<void(const QString& path)> chosen);
    void startRecording(const QString& path, const QUuid& run);
    void saveScreenshot(const PixelBuffer& picture, const QString& path);
    void report(const CaptureResult& outcome, Kind kind);

    StreamSession& session_;
    std::shared_ptr<LocalVideoRecorder> recorder_;
};

} // namespace vistrel
