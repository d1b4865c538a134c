// The session's record and screenshot commands: what allows them, the save
// dialog they open, the recorder and the PNG writer they drive, and the saving
// flags, notices and errors they leave. It owns its state; the session
// publishes it. It sees of its session only its Link, and lives as long as it.
#pragma once

#include "capture/LocalVideoRecorder.h"
#include "desktop/CaptureLocationChooser.h"
#include "desktop/Clock.h"
#include "desktop/FileRevealer.h"
#include "receive/PixelBuffer.h"
#include "session/RunGate.h"

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace vistrel {

// What the capture commands show: a plain value the session publishes field by field.
struct CaptureState {
    QDateTime recordingStartedAt; // invalid when no recording runs
    bool isSavingRecording = false;
    bool isSavingScreenshot = false;
    bool isChoosingLocation = false;
    QString notice; // "Recording saved · <name>" after a save
    QUrl lastCapture;
};

class CaptureController {
public:
    // All the controller takes from its session.
    struct Link {
        Clock& clock;
        CaptureLocationChooser& chooser;
        FileRevealer& revealer;
        // The picture on screen while streaming; empty otherwise.
        std::function<PixelBuffer()> livePicture;
        std::function<QUuid()> run;
        // Gates for work that reports back from other threads: for the
        // current run only, or for as long as the session exists.
        std::function<RunGate()> runGate;
        RunGate sessionGate;
        // A failure for the session's error line; the run goes on.
        std::function<void(const QString&)> showError;
        // The state changed; publish it.
        std::function<void(const CaptureState&)> changed;
        // A save ended: a quit may be waiting for it.
        std::function<void()> saved;
    };

    explicit CaptureController(Link link);
    [[nodiscard]] const CaptureState& state() const { return state_; }
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
    void dismissNotice();

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
    // Applies `change` to the state and announces it.
    void update(const std::function<void(CaptureState&)>& change);

    Link link_;
    CaptureState state_;
    std::shared_ptr<LocalVideoRecorder> recorder_;
};

} // namespace vistrel
