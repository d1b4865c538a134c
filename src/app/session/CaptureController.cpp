#include "session/CaptureController.h"

#include "Messages.h"
#include "StreamError.h"
#include "capture/ScreenshotCapture.h"
#include "receive/ColourEncoding.h"
#include "session/QtText.h"
#include "session/SessionMessages.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThreadPool>
#include <filesystem>

namespace vistrel {

namespace {

std::filesystem::path fileSystemPath(const QString& path) {
    return {QFile::encodeName(path).toStdString()};
}

} // namespace

CaptureController::CaptureController(Link link) : link_(std::move(link)) {
}

void CaptureController::update(const std::function<void(CaptureState&)>& change) {
    change(state_);
    link_.changed(state_);
}

bool CaptureController::canRecord() const {
    return !link_.livePicture().empty() && !state_.isSavingRecording && !state_.isChoosingLocation;
}

bool CaptureController::canScreenshot() const {
    return !link_.livePicture().empty() && !state_.isSavingScreenshot && !state_.isChoosingLocation;
}

void CaptureController::choose(Kind kind, std::function<void(const QString& path)> chosen) {
    const bool recording = kind == Kind::Recording;
    CaptureLocationRequest request;
    request.title =
        qs(recording ? SessionMessages::saveRecordingTitle : SessionMessages::saveScreenshotTitle);
    request.saveLabel = qs(SessionMessages::saveButton);
    request.extension = recording ? QStringLiteral("mp4") : QStringLiteral("png");
    request.nameFilter =
        qs(recording ? SessionMessages::movieFileType : SessionMessages::pictureFileType);
    request.defaultName = QStringLiteral("Vistrel ") +
                          link_.clock.now().toString(QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss")) +
                          QLatin1Char('.') + request.extension;
    request.folder = QStandardPaths::standardLocations(recording ? QStandardPaths::MoviesLocation
                                                                 : QStandardPaths::PicturesLocation)
                         .value(0);

    update([](CaptureState& s) { s.isChoosingLocation = true; });
    // The dialog answers on the GUI thread, but maybe after the session is gone.
    link_.chooser.choose(request, [this, gate = link_.sessionGate,
                                   chosen = std::move(chosen)](std::optional<QString> path) {
        if (!gate.isOpen()) {
            return;
        }
        update([](CaptureState& s) { s.isChoosingLocation = false; });
        if (path) {
            chosen(*path);
        }
    });
}

void CaptureController::cancelChooser() {
    if (state_.isChoosingLocation) {
        link_.chooser.cancel();
    }
}

void CaptureController::toggleRecording() {
    if (state_.recordingStartedAt.isValid()) {
        stopRecording();
        return;
    }
    if (!canRecord()) {
        return;
    }
    const QUuid run = link_.run();
    choose(Kind::Recording, [this, run](const QString& path) { startRecording(path, run); });
}

void CaptureController::startRecording(const QString& path, const QUuid& run) {
    // The run may have ended, or another begun, while the dialog was open.
    const PixelBuffer picture = link_.livePicture();
    if (link_.run() != run || picture.empty()) {
        return;
    }
    std::shared_ptr<LocalVideoRecorder> recorder;
    try {
        recorder = LocalVideoRecorder::create(fileSystemPath(path), picture.width(),
                                              picture.height(), colourEncodingOf(*picture.frame()));
    } catch (const StreamError& failure) {
        link_.showError(qs(SessionMessages::recordingNotStarted(failure.message())));
        return;
    } catch (const std::exception& failure) {
        link_.showError(qs(SessionMessages::recordingNotStarted(failure.what())));
        return;
    }
    recorder->setOnFailure([this, gate = link_.runGate()](const std::string& text) {
        gate.post([this, message = qs(text)] {
            link_.showError(message);
            stopRecording();
        });
    });
    recorder_ = recorder;
    update([now = link_.clock.now()](CaptureState& s) {
        s.recordingStartedAt = now;
        s.notice.clear();
        s.lastCapture.clear();
    });
    // The recording begins with the picture on screen now.
    recorder->append(picture, link_.clock.uptime());
}

void CaptureController::append(const PixelBuffer& picture, double seconds) {
    if (recorder_) {
        recorder_->append(picture, seconds);
    }
}

void CaptureController::stopRecording() {
    if (!recorder_) {
        return;
    }
    // The recorder keeps itself alive until it has finished.
    const std::shared_ptr<LocalVideoRecorder> recorder = std::exchange(recorder_, nullptr);
    update([](CaptureState& s) {
        s.recordingStartedAt = {};
        s.isSavingRecording = true;
    });
    recorder->finish([this, gate = link_.sessionGate](const CaptureResult& outcome) {
        gate.post([this, outcome] {
            update([](CaptureState& s) { s.isSavingRecording = false; });
            report(outcome, Kind::Recording);
            link_.saved();
        });
    });
}

void CaptureController::captureScreenshot() {
    if (!canScreenshot()) {
        return;
    }
    // The picture on screen now is the one saved, whatever comes later.
    choose(Kind::Screenshot,
           [this, held = link_.livePicture()](const QString& path) { saveScreenshot(held, path); });
}

void CaptureController::saveScreenshot(const PixelBuffer& picture, const QString& path) {
    update([](CaptureState& s) { s.isSavingScreenshot = true; });
    QThreadPool::globalInstance()->start(
        [this, gate = link_.sessionGate, picture, target = fileSystemPath(path)] {
            CaptureResult outcome;
            try {
                ScreenshotCapture::save(picture, target);
                outcome.location = target;
            } catch (const std::exception& failure) {
                outcome.error = failure.what();
            }
            gate.post([this, outcome] {
                update([](CaptureState& s) { s.isSavingScreenshot = false; });
                report(outcome, Kind::Screenshot);
                link_.saved();
            });
        });
}

void CaptureController::report(const CaptureResult& outcome, Kind kind) {
    const std::string_view word =
        kind == Kind::Recording ? SessionMessages::kindRecording : SessionMessages::kindScreenshot;
    if (!outcome.ok()) {
        link_.showError(qs(SessionMessages::captureFailed(word, outcome.error)));
        return;
    }
    const QString path = QFile::decodeName(QByteArray::fromStdString(outcome.location.string()));
    update([&](CaptureState& s) {
        s.notice =
            qs(SessionMessages::captureSaved(word, QFileInfo(path).fileName().toStdString()));
        s.lastCapture = QUrl::fromLocalFile(path);
    });
}

void CaptureController::dismissNotice() {
    update([](CaptureState& s) { s.notice.clear(); });
}

void CaptureController::revealLastCapture() {
    if (!state_.lastCapture.isEmpty()) {
        const QString file = state_.lastCapture.toLocalFile();
        link_.revealer.reveal(file, [this, gate = link_.sessionGate, file] {
            gate.post([this, folder = QFileInfo(file).absolutePath()] {
                link_.showError(qs(SessionMessages::folderNotShown(folder.toStdString())));
            });
        });
    }
}

} // namespace vistrel
