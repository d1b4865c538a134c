// The application's one controller. It starts a stream (SSH client, remote
// script, UDP receive pipeline), moves through the phases as the script and
// the pictures report in, watches for a stream that never starts or stops
// arriving, stops in order and shows the newest picture; the SSH client is
// driven through its SshChannel, the capture commands by its
// CaptureController. Every field the window shows is a property here; all of
// it lives on the GUI thread.
#pragma once

#include "receive/PixelBuffer.h"
#include "receive/UdpReceiver.h"
#include "session/CaptureController.h"
#include "session/FrameHandOff.h"
#include "session/SessionServices.h"
#include "session/VideoDisplay.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace vistrel {

class SshChannel;

class StreamSession : public QObject {
    Q_OBJECT

    // The headset address as typed; start() replaces it with the trimmed one.
    Q_PROPERTY(QString host READ host WRITE setHost NOTIFY hostChanged)
    Q_PROPERTY(Phase phase READ phase NOTIFY phaseChanged)
    // The last failure as one sentence; empty when there is none.
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    // The SSH client's standard error of this run, its last 16000 characters.
    Q_PROPERTY(QString diagnostics READ diagnostics NOTIFY diagnosticsChanged)
    // "1280 × 720" for the last shown picture; empty when none.
    Q_PROPERTY(QString resolution READ resolution NOTIFY resolutionChanged)
    // When the first picture of this run was shown; invalid when none.
    Q_PROPERTY(QDateTime startedAt READ startedAt NOTIFY startedAtChanged)
    // This computer's address towards the headset and the port, e.g. "192.168.4.2:8090".
    Q_PROPERTY(QString receivingAddress READ receivingAddress NOTIFY receivingAddressChanged)
    // Start of the recording in progress; invalid when none.
    Q_PROPERTY(
        QDateTime recordingStartedAt READ recordingStartedAt NOTIFY recordingStartedAtChanged)
    Q_PROPERTY(bool isSavingRecording READ isSavingRecording NOTIFY isSavingRecordingChanged)
    Q_PROPERTY(bool isSavingScreenshot READ isSavingScreenshot NOTIFY isSavingScreenshotChanged)
    Q_PROPERTY(bool isChoosingCaptureLocation READ isChoosingCaptureLocation NOTIFY
                   isChoosingCaptureLocationChanged)
    // "Recording saved · <file name>" after a saved capture; empty when none.
    Q_PROPERTY(QString captureNotice READ captureNotice NOTIFY captureNoticeChanged)
    // The file saved last; empty when none.
    Q_PROPERTY(QUrl lastCaptureURL READ lastCaptureURL NOTIFY lastCaptureURLChanged)

    Q_PROPERTY(bool canStart READ canStart NOTIFY canStartChanged)
    Q_PROPERTY(bool canRecord READ canRecord NOTIFY canRecordChanged)
    Q_PROPERTY(bool canScreenshot READ canScreenshot NOTIFY canScreenshotChanged)
    Q_PROPERTY(bool requiresTerminationWait READ requiresTerminationWait NOTIFY
                   requiresTerminationWaitChanged)

    // The saved SSH user name ("steamos" when none was saved), for the settings view.
    Q_PROPERTY(QString sshUsername READ sshUsername WRITE setSshUsername NOTIFY sshUsernameChanged)
    // While streaming: no new picture for more than a second, so the one on
    // screen is no longer live.
    Q_PROPERTY(bool isPictureHeld READ isPictureHeld NOTIFY isPictureHeldChanged)

    // The picture the video surface shows; the same object for the session's life.
    Q_PROPERTY(vistrel::VideoDisplay* display READ display CONSTANT)

public:
    enum class Phase { Idle, Connecting, Waiting, Streaming, Stopping };
    Q_ENUM(Phase)

    // Called once the session no longer holds up quitting.
    using Completion = std::function<void()>;

    explicit StreamSession(SessionServices services, QObject* parent = nullptr);
    // Releases what the session holds; does not stop a run in order (the
    // application ends the run before it quits).
    ~StreamSession() override;
    StreamSession(const StreamSession&) = delete;
    StreamSession& operator=(const StreamSession&) = delete;

    [[nodiscard]] const QString& host() const { return host_.value; }
    void setHost(const QString& host) { publish(host_, host); }
    [[nodiscard]] Phase phase() const { return phase_.value; }
    [[nodiscard]] const QString& error() const { return error_.value; }
    [[nodiscard]] const QString& diagnostics() const { return diagnostics_.value; }
    [[nodiscard]] const QString& resolution() const { return resolution_.value; }
    [[nodiscard]] const QDateTime& startedAt() const { return startedAt_.value; }
    [[nodiscard]] const QString& receivingAddress() const { return receivingAddress_.value; }
    [[nodiscard]] const QDateTime& recordingStartedAt() const { return recordingStartedAt_.value; }
    [[nodiscard]] bool isSavingRecording() const { return isSavingRecording_.value; }
    [[nodiscard]] bool isSavingScreenshot() const { return isSavingScreenshot_.value; }
    [[nodiscard]] bool isChoosingCaptureLocation() const {
        return isChoosingCaptureLocation_.value;
    }
    [[nodiscard]] const QString& captureNotice() const { return captureNotice_.value; }
    [[nodiscard]] const QUrl& lastCaptureURL() const { return lastCaptureURL_.value; }
    [[nodiscard]] bool isPictureHeld() const { return isPictureHeld_.value; }

    [[nodiscard]] bool canStart() const;
    [[nodiscard]] bool canRecord() const;
    [[nodiscard]] bool canScreenshot() const;
    [[nodiscard]] bool requiresTerminationWait() const;

    [[nodiscard]] QString sshUsername() const;
    void setSshUsername(const QString& name);
    // The saved loss policy (hold when none was saved); a change is saved
    // and reaches a running stream at once.
    [[nodiscard]] LossPolicy lossPolicy() const;
    void setLossPolicy(LossPolicy policy);

    [[nodiscard]] VideoDisplay* display() const { return display_; }
    // The picture on screen, as decoded.
    [[nodiscard]] const PixelBuffer& latestFrame() const { return latestFrame_; }

    // For observers such as the statistics overlay (and tests): the current
    // run's token, new at every start and finish; its SSH client's channel;
    // its receiver (null between runs); the pictures shown since the session
    // was made; the pictures the run's hand-off replaced before they were
    // shown; when the last keep-alive was written (steady clock, seconds).
    [[nodiscard]] const QUuid& run() const { return generation_; }
    [[nodiscard]] SshChannel& channel() const { return *channel_; }
    [[nodiscard]] const UdpReceiver* receiver() const { return receiver_.get(); }
    [[nodiscard]] std::uint64_t picturesShown() const { return presented_; }
    [[nodiscard]] std::uint64_t picturesReplaced() const {
        return handOff_ ? handOff_->replaced() : 0;
    }
    [[nodiscard]] double lastKeepAlive() const { return lastPing_; }
    // The services the session was given, for views that keep a setting or
    // need a timer on the same clock.
    [[nodiscard]] Clock& clock() const { return *services_.clock; }
    [[nodiscard]] SettingsStore& settings() const { return *services_.settings; }

    // Starts a stream when canStart; failures end in `error`.
    Q_INVOKABLE void start();
    // Stops the run in order (or finishes at once when nothing runs).
    Q_INVOKABLE void end() { end(Completion{}); }
    // The same; `completion` runs once the run has finished and no capture is
    // being written (what a quit waits for).
    void end(Completion completion);

    // Starts a recording (after asking where) or stops the one running.
    Q_INVOKABLE void toggleRecording();
    Q_INVOKABLE void stopRecording();
    Q_INVOKABLE void captureScreenshot();
    Q_INVOKABLE void revealLastCapture();
    // The window's dismiss control for the saved-capture notice.
    Q_INVOKABLE void dismissCaptureNotice();
    // The window's dismiss control for the error box.
    Q_INVOKABLE void dismissError() { publish(error_, {}); }
    // A failure of the desktop around the session (no browser for the setup
    // guide), shown in the error box like the session's own.
    void showError(const QString& sentence) { publish(error_, sentence); }
    // Puts a short report of the state and the SSH output on the clipboard.
    Q_INVOKABLE void copyDiagnostics();

    // How a phase is named in the window's header and the diagnostics report.
    [[nodiscard]] static std::string_view stateName(Phase phase);

    // The report copyDiagnostics() puts on the clipboard.
    [[nodiscard]] QString diagnosticsReport() const;

    // The timer's work, every 0.5 s while a run exists: keep-alive, the two
    // watchdogs and the stop deadline.
    void tick();

signals:
    void hostChanged();
    void phaseChanged();
    void errorChanged();
    void diagnosticsChanged();
    void resolutionChanged();
    void startedAtChanged();
    void receivingAddressChanged();
    void recordingStartedAtChanged();
    void isSavingRecordingChanged();
    void isSavingScreenshotChanged();
    void isChoosingCaptureLocationChanged();
    void captureNoticeChanged();
    void lastCaptureURLChanged();
    void canStartChanged();
    void canRecordChanged();
    void canScreenshotChanged();
    void requiresTerminationWaitChanged();
    void sshUsernameChanged();
    void lossPolicyChanged();
    void isPictureHeldChanged();
    // A stream was started: the window comes to the front.
    void activationRequested();
    // A picture was shown.
    void pictureShown();

private:
    // A published field: its value and the signal that announces a change.
    template <typename T> struct Published {
        T value;
        void (StreamSession::*changed)();
    };
    // The one way a published field changes: assign, announce, and re-derive
    // the gating properties.
    template <typename T> void publish(Published<T>& field, std::type_identity_t<T> value) {
        if (same(field.value, value)) {
            return;
        }
        field.value = std::move(value);
        emit(this->*field.changed)();
        updateDerived();
    }
    template <typename T> static bool same(const T& a, const T& b) { return a == b; }
    static bool same(const QDateTime& a, const QDateTime& b) {
        return a.isValid() == b.isValid() && a == b;
    }
    // Announces the derived properties that changed; deferred while a
    // DerivedBatch is open.
    void updateDerived();
    // Announces the derived properties once, after a group of field changes.
    class DerivedBatch {
    public:
        explicit DerivedBatch(StreamSession& session) : session_(session) {
            ++session_.batchDepth_;
        }
        ~DerivedBatch() {
            if (--session_.batchDepth_ == 0) {
                session_.updateDerived();
            }
        }
        DerivedBatch(const DerivedBatch&) = delete;
        DerivedBatch& operator=(const DerivedBatch&) = delete;

    private:
        StreamSession& session_;
    };

    // The capture controller's state, published field by field.
    void publishCapture(const CaptureState& state);

    // Run set-up and teardown.
    void startRun(const QUuid& token);
    void fail(const QString& message);
    void finish();
    void completeTerminationIfReady();

    // The conversation with the remote script.
    void remoteLine(const QString& line);
    void sshExited(int status);

    // Pictures.
    void updatePictureHeld(double now);
    void present(const PixelBuffer& picture);
    void setLatestFrame(PixelBuffer frame);

    SessionServices services_;

    // Published.
    Published<QString> host_{{}, &StreamSession::hostChanged};
    Published<Phase> phase_{Phase::Idle, &StreamSession::phaseChanged};
    Published<QString> error_{{}, &StreamSession::errorChanged};
    Published<QString> diagnostics_{{}, &StreamSession::diagnosticsChanged};
    Published<QString> resolution_{{}, &StreamSession::resolutionChanged};
    Published<QDateTime> startedAt_{{}, &StreamSession::startedAtChanged};
    Published<QString> receivingAddress_{{}, &StreamSession::receivingAddressChanged};
    Published<QDateTime> recordingStartedAt_{{}, &StreamSession::recordingStartedAtChanged};
    Published<bool> isSavingRecording_{false, &StreamSession::isSavingRecordingChanged};
    Published<bool> isSavingScreenshot_{false, &StreamSession::isSavingScreenshotChanged};
    Published<bool> isChoosingCaptureLocation_{false,
                                               &StreamSession::isChoosingCaptureLocationChanged};
    Published<QString> captureNotice_{{}, &StreamSession::captureNoticeChanged};
    Published<QUrl> lastCaptureURL_{{}, &StreamSession::lastCaptureURLChanged};
    Published<bool> isPictureHeld_{false, &StreamSession::isPictureHeldChanged};

    // Last announced values of the derived properties.
    bool canStart_ = false;
    bool canRecord_ = false;
    bool canScreenshot_ = false;
    bool requiresTerminationWait_ = false;
    int batchDepth_ = 0; // open DerivedBatch scopes

    // Private state; times are on the steady clock, in seconds.
    VideoDisplay* display_; // child of the session
    PixelBuffer latestFrame_;
    std::unique_ptr<CaptureController> capture_;
    std::unique_ptr<SshChannel> channel_;
    std::unique_ptr<UdpReceiver> receiver_;
    std::unique_ptr<QObject> timer_;
    std::optional<double> lastFrame_;
    std::optional<double> waitingSince_;
    std::optional<double> stopDeadline_;
    double lastPing_ = -std::numeric_limits<double>::infinity();
    // While a run lasts: the computer does not fall asleep when idle, and a
    // sleep the user asks for waits until the run's STOP has gone out.
    std::unique_ptr<ActivityHold> activity_;
    std::unique_ptr<ActivityHold> sleepDelay_;
    QUuid generation_;
    std::vector<Completion> finishing_;
    // The run's hand-off of pictures; none between runs and a fresh one for
    // each, so that nothing an ended run posted can hold up the next.
    std::shared_ptr<FrameHandOff> handOff_;

    std::uint64_t presented_ = 0;
};

} // namespace vistrel
