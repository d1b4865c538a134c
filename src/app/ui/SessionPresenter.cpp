#include "ui/SessionPresenter.h"

#include "Messages.h"
#include "session/QtText.h"
#include "ui/Labels.h"
#include "ui/PhaseTable.h"

#include <QFontDatabase>

namespace vistrel {

SessionPresenter::SessionPresenter(StreamSession& session, QObject* parent)
    : QObject(parent), session_(&session), statistics_(new StatisticsPresenter(session, this)) {
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
        &StreamSession::isPictureHeldChanged,
    };
    for (const auto signal : all) {
        connect(session_, signal, this, &SessionPresenter::changed);
    }
    connect(session_, &StreamSession::hostChanged, this, &SessionPresenter::hostChanged);
    connect(session_, &StreamSession::sshUsernameChanged, this,
            &SessionPresenter::sshUsernameChanged);
    connect(session_, &StreamSession::lossPolicyChanged, this,
            &SessionPresenter::keepsPictureMovingChanged);
    connect(session_->display(), &VideoDisplay::shown, this, &SessionPresenter::pictureShown);
    connect(statistics_, &StatisticsPresenter::shownChanged, this, &SessionPresenter::changed);
}

QString SessionPresenter::statusText() const {
    return isPictureHeld() ? Labels::heldStatus() : qs(StreamSession::stateName(phase()));
}

QString SessionPresenter::badgeText() const {
    return isPictureHeld() ? Labels::heldBadge() : Labels::liveBadge();
}

QString SessionPresenter::placeholderTitle() const {
    return phaseLook(phase()).title;
}

QString SessionPresenter::placeholderSubtitle() const {
    return phaseLook(phase()).subtitle;
}

bool SessionPresenter::showsSpinner() const {
    return phaseLook(phase()).spinner;
}

bool SessionPresenter::statusDotLit() const {
    return phaseLook(phase()).dotLit && !isPictureHeld();
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

QString SessionPresenter::monospaceFamily() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

bool SessionPresenter::focusAddressAtFirstShow() const {
    return session_->host().isEmpty();
}

void SessionPresenter::copyDiagnostics() {
    session_->copyDiagnostics();
    confirmation_ = Labels::diagnosticsCopied();
    emit confirmationChanged();
    constexpr double shownFor = 3.0; // seconds: long enough to read, gone before it is in the way
    session_->clock().callAfter(shownFor, this, [this, which = ++confirmations_] {
        if (which == confirmations_) {
            confirmation_.clear();
            emit confirmationChanged();
        }
    });
}

void SessionPresenter::submitAddress() {
    if (session_->canStart()) {
        session_->start();
    }
}

} // namespace vistrel
