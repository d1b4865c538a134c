// What the windows show, derived from the session: each text, visibility and
// enabled state the views bind to, and the commands their controls call. The
// views draw these values and decide nothing themselves.
#pragma once

#include "session/StreamSession.h"
#include "ui/StatisticsPresenter.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace vistrel {

class SessionPresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Provided by the application")

    // The address field's text, written through to the session as typed.
    Q_PROPERTY(QString host READ host WRITE setHost NOTIFY hostChanged)
    Q_PROPERTY(QString sshUsername READ sshUsername WRITE setSshUsername NOTIFY sshUsernameChanged)
    // The loss policy as the settings view offers it: keep the picture
    // moving, or hold the last whole picture.
    Q_PROPERTY(bool keepsPictureMoving READ keepsPictureMoving WRITE setKeepsPictureMoving NOTIFY
                   keepsPictureMovingChanged)

    Q_PROPERTY(QString statusText READ statusText NOTIFY changed)
    // The status dot shows the accent colour (live), else a muted one.
    Q_PROPERTY(bool statusDotLit READ statusDotLit NOTIFY changed)
    Q_PROPERTY(bool isLive READ isLive NOTIFY changed)
    // "LIVE", or "HELD" while the picture on screen is no longer new.
    Q_PROPERTY(QString badgeText READ badgeText NOTIFY changed)
    Q_PROPERTY(bool isPictureHeld READ isPictureHeld NOTIFY changed)
    Q_PROPERTY(bool isIdle READ isIdle NOTIFY changed)
    Q_PROPERTY(QString placeholderTitle READ placeholderTitle NOTIFY changed)
    Q_PROPERTY(QString placeholderSubtitle READ placeholderSubtitle NOTIFY changed)
    Q_PROPERTY(bool showsSpinner READ showsSpinner NOTIFY changed)
    Q_PROPERTY(bool showsHeadsetMark READ showsHeadsetMark NOTIFY changed)
    Q_PROPERTY(QString videoAccessibleName READ videoAccessibleName NOTIFY changed)
    Q_PROPERTY(QString networkText READ networkText NOTIFY changed)
    Q_PROPERTY(bool showsElapsed READ showsElapsed NOTIFY changed)
    Q_PROPERTY(QDateTime startedAt READ startedAt NOTIFY changed)
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY changed)
    Q_PROPERTY(QDateTime recordingStartedAt READ recordingStartedAt NOTIFY changed)
    Q_PROPERTY(QString recordButtonTitle READ recordButtonTitle NOTIFY changed)
    Q_PROPERTY(QString recordMenuTitle READ recordMenuTitle NOTIFY changed)
    Q_PROPERTY(bool recordEnabled READ recordEnabled NOTIFY changed)
    Q_PROPERTY(bool screenshotEnabled READ screenshotEnabled NOTIFY changed)
    Q_PROPERTY(bool showsSaving READ showsSaving NOTIFY changed)
    Q_PROPERTY(bool hasCaptureNotice READ hasCaptureNotice NOTIFY changed)
    Q_PROPERTY(QString captureNotice READ captureNotice NOTIFY changed)
    Q_PROPERTY(bool hasError READ hasError NOTIFY changed)
    Q_PROPERTY(QString error READ error NOTIFY changed)
    Q_PROPERTY(bool addressEditable READ addressEditable NOTIFY changed)
    Q_PROPERTY(bool canStart READ canStart NOTIFY changed)
    Q_PROPERTY(bool endButtonEnabled READ endButtonEnabled NOTIFY changed)
    Q_PROPERTY(bool endMenuEnabled READ endMenuEnabled NOTIFY changed)
    // A short confirmation of a command that shows nothing else (Copy
    // Diagnostics); empty when none. It goes by itself after a few seconds.
    Q_PROPERTY(QString confirmation READ confirmation NOTIFY confirmationChanged)
    Q_PROPERTY(bool hasConfirmation READ hasConfirmation NOTIFY confirmationChanged)

    // The statistics overlay over the video, and whether it shows now: asked
    // for, and a stream running.
    Q_PROPERTY(vistrel::StatisticsPresenter* statistics READ statistics CONSTANT)
    Q_PROPERTY(bool showsStatistics READ showsStatistics NOTIFY changed)

    Q_PROPERTY(QString monospaceFamily READ monospaceFamily CONSTANT)

public:
    explicit SessionPresenter(StreamSession& session, QObject* parent = nullptr);

    [[nodiscard]] QString host() const { return session_->host(); }
    void setHost(const QString& host) { session_->setHost(host); }
    [[nodiscard]] QString sshUsername() const { return session_->sshUsername(); }
    void setSshUsername(const QString& name) { session_->setSshUsername(name); }
    [[nodiscard]] bool keepsPictureMoving() const {
        return session_->lossPolicy() == LossPolicy::KeepMoving;
    }
    void setKeepsPictureMoving(bool keep) {
        session_->setLossPolicy(keep ? LossPolicy::KeepMoving : LossPolicy::Hold);
    }
    // What the window's video item shows.
    [[nodiscard]] VideoDisplay* display() const { return session_->display(); }

    [[nodiscard]] QString statusText() const;
    [[nodiscard]] bool statusDotLit() const;
    [[nodiscard]] bool isLive() const { return phase() == StreamSession::Phase::Streaming; }
    [[nodiscard]] bool isPictureHeld() const { return session_->isPictureHeld(); }
    [[nodiscard]] QString badgeText() const;
    [[nodiscard]] bool isIdle() const { return phase() == StreamSession::Phase::Idle; }
    [[nodiscard]] QString placeholderTitle() const;
    [[nodiscard]] QString placeholderSubtitle() const;
    [[nodiscard]] bool showsSpinner() const;
    [[nodiscard]] bool showsHeadsetMark() const { return isIdle(); }
    [[nodiscard]] QString videoAccessibleName() const;
    [[nodiscard]] QString networkText() const;
    [[nodiscard]] bool showsElapsed() const { return session_->startedAt().isValid(); }
    [[nodiscard]] QDateTime startedAt() const { return session_->startedAt(); }
    [[nodiscard]] bool isRecording() const { return session_->recordingStartedAt().isValid(); }
    [[nodiscard]] QDateTime recordingStartedAt() const { return session_->recordingStartedAt(); }
    [[nodiscard]] QString recordButtonTitle() const;
    [[nodiscard]] QString recordMenuTitle() const;
    [[nodiscard]] bool recordEnabled() const { return isRecording() || session_->canRecord(); }
    [[nodiscard]] bool screenshotEnabled() const { return session_->canScreenshot(); }
    [[nodiscard]] bool showsSaving() const;
    [[nodiscard]] bool hasCaptureNotice() const { return !session_->captureNotice().isEmpty(); }
    [[nodiscard]] QString captureNotice() const { return session_->captureNotice(); }
    [[nodiscard]] bool hasError() const { return !session_->error().isEmpty(); }
    [[nodiscard]] QString error() const { return session_->error(); }
    [[nodiscard]] bool addressEditable() const { return isIdle(); }
    [[nodiscard]] bool canStart() const { return session_->canStart(); }
    [[nodiscard]] bool endButtonEnabled() const;
    [[nodiscard]] bool endMenuEnabled() const { return !isIdle(); }
    [[nodiscard]] const QString& confirmation() const { return confirmation_; }
    [[nodiscard]] bool hasConfirmation() const { return !confirmation_.isEmpty(); }

    [[nodiscard]] StatisticsPresenter* statistics() const { return statistics_; }
    [[nodiscard]] bool showsStatistics() const { return statistics_->shown() && !isIdle(); }

    [[nodiscard]] static QString monospaceFamily();

    // Whether the address field takes the keyboard focus when the window first
    // shows: exactly when no address is known yet.
    Q_INVOKABLE [[nodiscard]] bool focusAddressAtFirstShow() const;

    // Return in the address field: starts only when starting is possible now.
    Q_INVOKABLE void submitAddress();
    Q_INVOKABLE void start() { session_->start(); }
    Q_INVOKABLE void end() { session_->end(); }
    Q_INVOKABLE void toggleRecording() { session_->toggleRecording(); }
    Q_INVOKABLE void captureScreenshot() { session_->captureScreenshot(); }
    Q_INVOKABLE void revealLastCapture() { session_->revealLastCapture(); }
    Q_INVOKABLE void copyDiagnostics();
    Q_INVOKABLE void dismissError() { session_->dismissError(); }
    Q_INVOKABLE void dismissCaptureNotice() { session_->dismissCaptureNotice(); }

signals:
    // Any published field of the session changed.
    void changed();
    void hostChanged();
    void sshUsernameChanged();
    void keepsPictureMovingChanged();
    // A picture became current for the window's video item: the window draws anyway.
    void pictureShown();
    void confirmationChanged();

private:
    [[nodiscard]] StreamSession::Phase phase() const { return session_->phase(); }

    StreamSession* session_;          // the application's session, which outlives the windows
    StatisticsPresenter* statistics_; // child
    QString confirmation_;
    int confirmations_ = 0; // so that only the newest one takes itself away
};

} // namespace vistrel
