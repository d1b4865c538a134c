#include "session/CaptureController.h"

#include "Messages.h"
#include "QtText.h"
#include "StreamError.h"
#include "capture/ScreenshotCapture.h"
#include "receive/ColourEncoding.h"
#include "session/RunGate.h"
#include "session/StreamSession.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QThreadPool>
#include <filesystem>

namespace vistrel {

namespace {

std::filesystem::path fileSystemPath(const QString& path) {
    return {QFile::encodeName(path).toStdString()};
}

} // namespace

CaptureController::CaptureController(StreamSession& session) : session_(session) {
}

bool CaptureController::canRecord() const {
    return session_.phase() == StreamSession::Phase::Streaming && !session_.latestFrame_.empty() &&
           !session_.isSavingRecording() && !session_.isChoosingCaptureLocation();
}

bool CaptureController::canScreenshot() const {
    return session_.phase() == StreamSession::Phase::Streaming && !session_.latestFrame_.empty() &&
           !session_.isSavingScreenshot() && !session_.isChoosingCaptureLocation();
}

void CaptureController::choose(Kind kind, std::function<void(const QString& path)> chosen) {
    const bool recording = kind == Kind::Recording;
    CaptureLocationRequest request;
    request.title = qs(recording ? Messages::saveRecordingTitle : Messages::saveScreenshotTitle);
    request.extension = recording ? QStringLiteral("mp4") : QStringLiteral("png");
    request.nameFilter = qs(recording ? Messages::movieFileType : Messages::pictureFileType);
    request.defaultName =
        QStringLiteral("Vistrel ") +
        session_.services_.clock->now().toString(QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss")) +
        QLatin1Char('.') + request.extension;
    request.folder = QStandardPaths::standardLocations(recording ? QStandardPaths::MoviesLocation
                                                                 : QStandardPaths::PicturesLocation)
                         .value(0);

    session_.publish(session_.isChoosingCaptureLocation_, true);
    // The dialog answers on the GUI thread, but maybe after the session is gone.
    QPointer<StreamSession> alive(&session_);
    session_.services_.chooser->choose(
        request, [this, alive, chosen = std::move(chosen)](std::optional<QString> path) {
            if (!alive) {
                return;
            }
            session_.publish(session_.isChoosingCaptureLocation_, false);
            if (path) {
                chosen(*path);
            }
        });
}

void CaptureController::cancelChooser() {
    if (session_.isChoosingCaptureLocation()) {
        session_.services_.chooser->cancel();
    }
}

void CaptureController::toggleRecording() {
    if (session_.recordingStartedAt().isValid()) {
        stopRecording();
        return;
    }
    if (!canRecord()) {
        return;
    }
    const QUuid run = session_.generation_;
    choose(Kind::Recording, [this, run](const QString& path) { startRecording(path, run); });
}

void CaptureController::startRecording(const QString& path, const QUuid& run) {
    // The run may have ended, or another begun, while the dialog was open.
    const PixelBuffer& picture = session_.latestFrame_;
    if (session_.generation_ != run || session_.phase() != StreamSession::Phase::Streaming ||
        picture.empty()) {
        return;
    }
    std::shared_ptr<LocalVideoRecorder> recorder;
    try {
        recorder = LocalVideoRecorder::create(fileSystemPath(path), picture.width(),
                                              picture.height(), colourEncodingOf(*picture.frame()));
    } catch (const StreamError& failure) {
        session_.publish(session_.error_, qs(Messages::recordingNotStarted(failure.message())));
        return;
    } catch (const std::exception& failure) {
        session_.publish(session_.error_, qs(Messages::recordingNotStarted(failure.what())));
        return;
    }
    recorder->setOnFailure([this, gate = RunGate::forRun(session_, run)](const std::string& text) {
        gate.post([this, message = qs(text)] {
            session_.publish(session_.error_, message);
            stopRecording();
        });
    });
    const StreamSession::DerivedBatch batch(session_);
    recorder_ = recorder;
    session_.publish(session_.recordingStartedAt_, session_.services_.clock->now());
    session_.publish(session_.captureNotice_, {});
    session_.publish(session_.lastCaptureURL_, {});
    // The recording begins with the picture on screen now.
    recorder->append(picture, session_.services_.clock->uptime());
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
    const StreamSession::DerivedBatch batch(session_);
    // The recorder keeps itself alive until it has finished.
    const std::shared_ptr<LocalVideoRecorder> recorder = std::exchange(recorder_, nullptr);
    session_.publish(session_.recordingStartedAt_, {});
    session_.publish(session_.isSavingRecording_, true);
    recorder->finish([this, gate = RunGate::whileAlive(session_)](const CaptureResult& outcome) {
        gate.post([this, outcome] {
            session_.publish(session_.isSavingRecording_, false);
            report(outcome, Kind::Recording);
            session_.completeTerminationIfReady();
        });
    });
}

void CaptureController::captureScreenshot() {
    if (!canScreenshot()) {
        return;
    }
    // The picture on screen now is the one saved, whatever comes later.
    choose(Kind::Screenshot, [this, held = session_.latestFrame_](const QString& path) {
        saveScreenshot(held, path);
    });
}

void CaptureController::saveScreenshot(const PixelBuffer& picture, const QString& path) {
    session_.publish(session_.isSavingScreenshot_, true);
    QThreadPool::globalInstance()->start(
        [this, gate = RunGate::whileAlive(session_), picture, target = fileSystemPath(path)] {
            CaptureResult outcome;
            try {
                ScreenshotCapture::save(picture, target);
                outcome.location = target;
            } catch (const std::exception& failure) {
                outcome.error = failure.what();
            }
            gate.post([this, outcome] {
                session_.publish(session_.isSavingScreenshot_, false);
                report(outcome, Kind::Screenshot);
                session_.completeTerminationIfReady();
            });
        });
}

void CaptureController::report(const CaptureResult& outcome, Kind kind) {
    const std::string_view word =
        kind == Kind::Recording ? Messages::kindRecording : Messages::kindScreenshot;
    if (!outcome.ok()) {
        session_.publish(session_.error_, qs(Messages::captureFailed(word, outcome.error)));
        return;
    }
    const QString path = QFile::decodeName(QByteArray::fromStdString(outcome.location.string()));
    session_.publish(session_.captureNotice_,
                     qs(Messages::captureSaved(word, QFileInfo(path).fileName().toStdString())));
    session_.publish(session_.lastCaptureURL_, QUrl::fromLocalFile(path));
}

void CaptureController::revealLastCapture() {
    if (!session_.lastCaptureURL().isEmpty()) {
        const QString file = session_.lastCaptureURL().toLocalFile();
        session_.services_.revealer->reveal(
            file, [gate = RunGate::whileAlive(session_), this, file] {
                gate.post([this, folder = QFileInfo(file).absolutePath()] {
                    session_.publish(session_.error_,
                                     qs(Messages::folderNotShown(folder.toStdString())));
                });
            });
    }
}

} // namespace vistrel
