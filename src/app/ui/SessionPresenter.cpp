#include "ui/SessionPresenter.h"

#include "Messages.h"
#include "QtText.h"
#include "ui/Labels.h"

#include <QFontDatabase>

namespace vistrel {

SessionPresenter::SessionPresenter(StreamSession& session, QObject* parent)
    : QObject(parent), session_(&session) {
    // Every published field feeds some derived value; one signal for all of
    // them keeps the bindings simple and the re-evaluation cheap.
    const auto all = {
        &StreamSession::phaseChanged,
        &StreamSession::errorChanged,
        &StreamSession::resolutionChanged,
        &StreamSession::startedAtChanged,
        &StreamSession::recordingStartedAtChanged,
        &StreamSession::isSavingRecordingChanged,
        &StreamSession::isSavingScreenshotChanged,
        &StreamSession::isChoosingCaptureLocationChanged,
        &StreamSession::captureNoticeChanged,
        &StreamSession::canStartChanged,
        &StreamSession::canRecordChanged,
        &StreamSession::canScreenshotChanged,
    };
    for (const auto signal : all) {
        connect(session_, signal, this, &SessionPresenter::changed);
    }
    connect(session_, &StreamSession::hostChanged, this, &SessionPresenter::hostChanged);
    connect(session_, &StreamSession::sshUsernameChanged, this,
            &SessionPresenter::sshUsernameChanged);
    connect(session_->display(), &VideoDisplay::videoSinkChanged, this,
            &SessionPresenter::videoSinkChanged);
}

QString SessionPresenter::statusText() const {
    switch (phase()) {
    case StreamSession::Phase::Idle:
        return qs(Messages::stateIdle);
    case StreamSession::Phase::Connecting:
        return qs(Messages::stateConnecting);
    case StreamSession::Phase::Waiting:
        return qs(Messages::stateWaiting);
    case StreamSession::Phase::Streaming:
        return qs(Messages::stateStreaming);
    case StreamSession::Phase::Stopping:
        return qs(Messages::stateStopping);
    }
    return {};
}

QString SessionPresenter::placeholderTitle() const {
    switch (phase()) {
    case StreamSession::Phase::Idle:
        return qs(Messages::idleTitle);
    case StreamSession::Phase::Connecting:
        return qs(Messages::connectingTitle);
    case StreamSession::Phase::Waiting:
        return qs(Messages::waitingTitle);
    case StreamSession::Phase::Streaming:
        return {};
    case StreamSession::Phase::Stopping:
        return qs(Messages::stoppingTitle);
    }
    return {};
}

QString SessionPresenter::placeholderSubtitle() const {
    switch (phase()) {
    case StreamSession::Phase::Idle:
        return qs(Messages::idleSubtitle);
    case StreamSession::Phase::Connecting:
        return qs(Messages::connectingSubtitle);
    case StreamSession::Phase::Waiting:
        return qs(Messages::waitingSubtitle);
    case StreamSession::Phase::Streaming:
        return {};
    case StreamSession::Phase::Stopping:
        return qs(Messages::stoppingSubtitle);
    }
    return {};
}

bool SessionPresenter::showsSpinner() const {
    const auto p = phase();
    return p == StreamSession::Phase::Connecting || p == StreamSession::Phase::Waiting ||
           p == StreamSession::Phase::Stopping;
}

QString SessionPresenter::videoAccessibleName() const {
    return isLive() ? Labels::liveVideo() : Labels::videoPreview();
}

QString SessionPresenter::networkText() const {
    return isLive() ? session_->resolution() : Labels::localNetwork();
}

QString SessionPresenter::recordButtonTitle() const {
    return isRecording() ? Labels::stopRecording() : Labels::record();
}

QString SessionPresenter::recordMenuTitle() const {
    return isRecording() ? Labels::stopRecording() : Labels::recordItem();
}

bool SessionPresenter::showsSaving() const {
    // The recording indicator takes the place while a recording runs.
    return !isRecording() && (session_->isSavingRecording() || session_->isSavingScreenshot());
}

bool SessionPresenter::endButtonEnabled() const {
    // The button, unlike the menu command, cannot be pressed again while a
    // stop is under way.
    return !isIdle() && phase() != StreamSession::Phase::Stopping;
}

QString SessionPresenter::tagline() {
    return qs(Messages::tagline);
}

QString SessionPresenter::showInFolderTitle() {
    return qs(Messages::showInFileManager);
}

QString SessionPresenter::monospaceFamily() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

bool SessionPresenter::focusAddressAtFirstShow() const {
    return session_->host().isEmpty();
}

void SessionPresenter::submitAddress() {
    if (session_->canStart()) {
        session_->start();
    }
}

} // namespace vistrel
