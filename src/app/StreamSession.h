// The application's one controller. It starts a stream (SSH client, remote
// script, UDP receive pipeline), talks to the script, watches for a stream
// that never starts or stops arriving, stops in order, turns SSH failures
// into sentences, shows the newest picture and runs the capture commands.
// Every field the window shows is a property here; all of it lives on the GUI
// thread, and every callback of a run checks the run's token before it acts.
#pragma once

#include "FrameMailbox.h"
#include "SessionServices.h"
#include "Utf8StreamDecoder.h"
#include "VideoDisplay.h"
#include "capture/LocalVideoRecorder.h"
#include "receive/PixelBuffer.h"
#include "receive/UdpReceiver.h"

#include <QDateTime>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace vistrel {

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

    [[nodiscard]] const QString& host() const { return host_; }
    void setHost(const QString& host);
    [[nodiscard]] Phase phase() const { return phase_; }
    [[nodiscard]] const QString& error() const { return error_; }
    [[nodiscard]] const QString& diagnostics() const { return diagnostics_; }
    [[nodiscard]] const QString& resolution() const { return resolution_; }
    [[nodiscard]] const QDateTime& startedAt() const { return startedAt_; }
    [[nodiscard]] const QString& receivingAddress() const { return receivingAddress_; }
    [[nodiscard]] const QDateTime& recordingStartedAt() const { return recordingStartedAt_; }
    [[nodiscard]] bool isSavingRecording() const { return isSavingRecording_; }
    [[nodiscard]] bool isSavingScreenshot() const { return isSavingScreenshot_; }
    [[nodiscard]] bool isChoosingCaptureLocation() const { return isChoosingCaptureLocation_; }
    [[nodiscard]] const QString& captureNotice() const { return captureNotice_; }
    [[nodiscard]] const QUrl& lastCaptureURL() const { return lastCaptureURL_; }

    [[nodiscard]] bool canStart() const;
    [[nodiscard]] bool canRecord() const;
    [[nodiscard]] bool canScreenshot() const;
    [[nodiscard]] bool requiresTerminationWait() const;

    [[nodiscard]] QString sshUsername() const;
    void setSshUsername(const QString& name);

    [[nodiscard]] VideoDisplay* display() const { return display_; }
    // The picture on screen, as decoded.
    [[nodiscard]] const PixelBuffer& latestFrame() const { return latestFrame_; }

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
    Q_INVOKABLE void dismissError();
    // Puts a short report of the state and the SSH output on the clipboard.
    Q_INVOKABLE void copyDiagnostics();

    // The report copyDiagnostics() puts on the clipboard.
    [[nodiscard]] QString diagnosticsReport() const;

    // The timer's work, every 0.5 s while a run exists: keep-alive, the two
    // watchdogs and the stop deadline.
    void tick();

    // What the current run installed on its receiver, so that a test can feed
    // pictures and errors through exactly the path the decoder uses.
    struct RunCallbacks {
        UdpReceiver::FrameCallback onFrame;
        UdpReceiver::ErrorCallback onError;
    };
    [[nodiscard]] const RunCallbacks& runCallbacks() const { return runCallbacks_; }

    // Pictures shown by present() since construction, and pictures replaced in
    // the mailbox before the GUI thread took them.
    [[nodiscard]] std::uint64_t presentedCount() const { return presented_; }
    [[nodiscard]] std::uint64_t mailboxDropCount() const { return mailbox_->dropped(); }

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
    // A stream was started: the window comes to the front.
    void activationRequested();
    // Each complete line the remote script printed on its standard output.
    void remoteOutputLine(const QString& line);

private:
    // Tests reach the private steps (consumeOutput, present, connectionError…)
    // through this class of theirs.
    friend class StreamSessionProbe;

    enum class CaptureKind { Recording, Screenshot };
    class DerivedBatch;

    // Run set-up and teardown.
    void startRun(const QUuid& token);
    void launchSsh(const QUuid& token, const QStringList& arguments, const QString& askpass);
    void fail(const QString& message);
    void finish();
    void completeTerminationIfReady();

    // The conversation with the remote script.
    void consumeOutput(const QByteArray& bytes);
    void consumeErrors(const QByteArray& bytes);
    void send(std::string_view line);
    void processExited(int status);
    [[nodiscard]] QString connectionError(int status) const;
    [[nodiscard]] bool processRunning() const;

    // Pictures.
    void deliver(const QUuid& token);
    void present(const PixelBuffer& picture);

    // Captures.
    void chooseCaptureLocation(CaptureKind kind, std::function<void(std::optional<QString>)> done);
    void reportCapture(const CaptureResult& outcome, CaptureKind kind);
    void cancelCaptureLocation();

    // Setters that announce changes; each re-derives the gating properties.
    void setPhase(Phase phase);
    void setError(const QString& error);
    void setDiagnostics(const QString& text);
    void setResolution(const QString& text);
    void setStartedAt(const QDateTime& time);
    void setReceivingAddress(const QString& address);
    void setRecordingStartedAt(const QDateTime& time);
    void setSavingRecording(bool saving);
    void setSavingScreenshot(bool saving);
    void setChoosingCaptureLocation(bool choosing);
    void setCaptureNotice(const QString& notice);
    void setLastCaptureURL(const QUrl& url);
    void setLatestFrame(PixelBuffer frame);
    void updateDerived();

    SessionServices services_;

    // Published.
    QString host_;
    Phase phase_ = Phase::Idle;
    QString error_;
    QString diagnostics_;
    QString resolution_;
    QDateTime startedAt_;
    QString receivingAddress_;
    QDateTime recordingStartedAt_;
    bool isSavingRecording_ = false;
    bool isSavingScreenshot_ = false;
    bool isChoosingCaptureLocation_ = false;
    QString captureNotice_;
    QUrl lastCaptureURL_;

    // Last announced values of the derived properties.
    bool canStart_ = false;
    bool canRecord_ = false;
    bool canScreenshot_ = false;
    bool requiresTerminationWait_ = false;

    // Private state; times are on the steady clock, in seconds.
    VideoDisplay* display_; // child of the session
    PixelBuffer latestFrame_;
    std::shared_ptr<LocalVideoRecorder> recorder_;
    bool choosingLocation_ = false; // a chooser dialog of ours is open
    std::unique_ptr<UdpReceiver> receiver_;
    std::unique_ptr<QProcess, void (*)(QProcess*)> process_;
    bool inputOpen_ = false;
    Utf8StreamDecoder outputDecoder_;
    Utf8StreamDecoder errorDecoder_;
    std::unique_ptr<QObject> timer_;
    std::optional<double> lastFrame_;
    std::optional<double> waitingSince_;
    std::optional<double> stopDeadline_;
    double lastPing_ = -std::numeric_limits<double>::infinity();
    std::unique_ptr<ActivityHold> activity_;
    QUuid generation_;
    QString outputBuffer_;
    std::vector<Completion> finishing_;
    std::shared_ptr<FrameMailbox> mailbox_;
    RunCallbacks runCallbacks_;
    std::uint64_t presented_ = 0;
    int batchDepth_ = 0; // open DerivedBatch scopes
};

} // namespace vistrel
