#include "session/StreamSession.h"

#include "Messages.h"
#include "QtText.h"
#include "StreamError.h"
#include "capture/ScreenshotCapture.h"
#include "connection/ConnectionConfiguration.h"
#include "connection/RemoteCommand.h"
#include "connection/SshExitClassifier.h"
#include "session/AskpassLocator.h"
#include "session/CapturedFrame.h"
#include "support/PrivateFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThreadPool>
#include <cerrno>
#include <csignal>
#include <sys/types.h>

namespace vistrel {

namespace {

constexpr double timerInterval = 0.5;
constexpr double keepAliveInterval = 3.0;
constexpr double stallTimeout = 10.0;
constexpr double firstFrameTimeout = 20.0;
constexpr double stopDeadline = 7.0;
constexpr double killDelay = 2.0;
constexpr qsizetype outputBufferLimit = 4096;
constexpr qsizetype diagnosticsLimit = 16000;

QString frameAddressKey() {
    return QStringLiteral("frameAddress");
}
QString sshUsernameKey() {
    return QStringLiteral("sshUsername");
}
QString defaultUsername() {
    return QStringLiteral("steamos");
}

// The last `limit` UTF-16 units of `text`, never starting inside a surrogate pair.
QString lastCharacters(const QString& text, qsizetype limit) {
    if (text.size() <= limit) {
        return text;
    }
    qsizetype from = text.size() - limit;
    if (text.at(from).isLowSurrogate()) {
        ++from;
    }
    return text.mid(from);
}

std::filesystem::path fileSystemPath(const QString& path) {
    return {QFile::encodeName(path).toStdString()};
}

void releaseProcess(QProcess* process) {
    if (process != nullptr) {
        // Often called from the process's own finished signal.
        process->deleteLater();
    }
}

QObject* mainQueue() {
    return QCoreApplication::instance();
}

} // namespace

// Announces the derived properties once, after a group of field changes.
class StreamSession::DerivedBatch {
public:
    explicit DerivedBatch(StreamSession& session) : session_(session) { ++session_.batchDepth_; }
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

StreamSession::StreamSession(SessionServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)), display_(new VideoDisplay(this)),
      process_(nullptr, &releaseProcess), generation_(QUuid::createUuid()),
      mailbox_(std::make_shared<FrameMailbox>()) {
    host_ = services_.settings->string(frameAddressKey()).value_or(QString());
    // Queued, so that a failure seen while showing a picture stops the run
    // after present() has returned.
    connect(
        display_, &VideoDisplay::failed, this, [this] { fail(qs(Messages::displayFailed)); },
        Qt::QueuedConnection);
    canStart_ = canStart();
    canRecord_ = canRecord();
    canScreenshot_ = canScreenshot();
    requiresTerminationWait_ = requiresTerminationWait();
}

StreamSession::~StreamSession() {
    if (receiver_) {
        receiver_->stop();
    }
    if (process_) {
        process_->disconnect(this);
        // Deleted here rather than later: the event loop may be gone.
        std::unique_ptr<QProcess> process(process_.release());
    }
}

// MARK: fields

void StreamSession::setHost(const QString& host) {
    if (host_ == host) {
        return;
    }
    host_ = host;
    emit hostChanged();
    updateDerived();
}

void StreamSession::setPhase(Phase phase) {
    if (phase_ == phase) {
        return;
    }
    phase_ = phase;
    emit phaseChanged();
    updateDerived();
}

void StreamSession::setError(const QString& error) {
    if (error_ == error) {
        return;
    }
    error_ = error;
    emit errorChanged();
}

void StreamSession::dismissError() {
    setError({});
}

void StreamSession::setDiagnostics(const QString& text) {
    if (diagnostics_ == text) {
        return;
    }
    diagnostics_ = text;
    emit diagnosticsChanged();
}

void StreamSession::setResolution(const QString& text) {
    if (resolution_ == text) {
        return;
    }
    resolution_ = text;
    emit resolutionChanged();
}

void StreamSession::setStartedAt(const QDateTime& time) {
    if (startedAt_ == time && startedAt_.isValid() == time.isValid()) {
        return;
    }
    startedAt_ = time;
    emit startedAtChanged();
}

void StreamSession::setReceivingAddress(const QString& address) {
    if (receivingAddress_ == address) {
        return;
    }
    receivingAddress_ = address;
    emit receivingAddressChanged();
}

void StreamSession::setRecordingStartedAt(const QDateTime& time) {
    if (recordingStartedAt_ == time && recordingStartedAt_.isValid() == time.isValid()) {
        return;
    }
    recordingStartedAt_ = time;
    emit recordingStartedAtChanged();
    updateDerived();
}

void StreamSession::setSavingRecording(bool saving) {
    if (isSavingRecording_ == saving) {
        return;
    }
    isSavingRecording_ = saving;
    emit isSavingRecordingChanged();
    updateDerived();
}

void StreamSession::setSavingScreenshot(bool saving) {
    if (isSavingScreenshot_ == saving) {
        return;
    }
    isSavingScreenshot_ = saving;
    emit isSavingScreenshotChanged();
    updateDerived();
}

void StreamSession::setChoosingCaptureLocation(bool choosing) {
    if (isChoosingCaptureLocation_ == choosing) {
        return;
    }
    isChoosingCaptureLocation_ = choosing;
    emit isChoosingCaptureLocationChanged();
    updateDerived();
}

void StreamSession::setCaptureNotice(const QString& notice) {
    if (captureNotice_ == notice) {
        return;
    }
    captureNotice_ = notice;
    emit captureNoticeChanged();
}

void StreamSession::setLastCaptureURL(const QUrl& url) {
    if (lastCaptureURL_ == url) {
        return;
    }
    lastCaptureURL_ = url;
    emit lastCaptureURLChanged();
}

void StreamSession::setLatestFrame(PixelBuffer frame) {
    const bool had = !latestFrame_.empty();
    latestFrame_ = std::move(frame);
    if (had != !latestFrame_.empty()) {
        updateDerived();
    }
}

bool StreamSession::canStart() const {
    return !host_.trimmed().isEmpty() && phase_ == Phase::Idle && !isSavingRecording_;
}

bool StreamSession::canRecord() const {
    return phase_ == Phase::Streaming && !latestFrame_.empty() && !isSavingRecording_ &&
           !isChoosingCaptureLocation_;
}

bool StreamSession::canScreenshot() const {
    return phase_ == Phase::Streaming && !latestFrame_.empty() && !isSavingScreenshot_ &&
           !isChoosingCaptureLocation_;
}

bool StreamSession::requiresTerminationWait() const {
    return phase_ != Phase::Idle || recordingStartedAt_.isValid() || isSavingRecording_ ||
           isSavingScreenshot_;
}

void StreamSession::updateDerived() {
    if (batchDepth_ > 0) {
        return;
    }
    const auto announce = [this](bool& cached, bool now, void (StreamSession::*signal)()) {
        if (cached != now) {
            cached = now;
            emit(this->*signal)();
        }
    };
    announce(canStart_, canStart(), &StreamSession::canStartChanged);
    announce(canRecord_, canRecord(), &StreamSession::canRecordChanged);
    announce(canScreenshot_, canScreenshot(), &StreamSession::canScreenshotChanged);
    announce(requiresTerminationWait_, requiresTerminationWait(),
             &StreamSession::requiresTerminationWaitChanged);
}

QString StreamSession::sshUsername() const {
    return services_.settings->string(sshUsernameKey()).value_or(defaultUsername());
}

void StreamSession::setSshUsername(const QString& name) {
    if (services_.settings->string(sshUsernameKey()) == name) {
        return;
    }
    services_.settings->setString(sshUsernameKey(), name);
    emit sshUsernameChanged();
}

// MARK: start

void StreamSession::start() {
    if (!canStart()) {
        return;
    }
    const DerivedBatch batch(*this);
    setError({});
    setDiagnostics({});
    outputBuffer_.clear();
    setResolution({});
    lastFrame_.reset();
    waitingSince_.reset();
    setStartedAt({});

    generation_ = QUuid::createUuid();
    const QUuid token = generation_;
    try {
        startRun(token);
    } catch (const StreamError& failure) {
        setError(qs(failure.message()));
        finish();
    } catch (const std::exception& failure) {
        setError(QString::fromLocal8Bit(failure.what()));
        finish();
    }
}

void StreamSession::startRun(const QUuid& token) {
    const QString username =
        services_.settings->string(sshUsernameKey()).value_or(defaultUsername());
    const ConnectionConfiguration configuration(host_.toStdString(), username.toStdString(),
                                                services_.port);
    const std::string localAddress = configuration.localAddress();

    setHost(qs(configuration.host()));
    services_.settings->setString(frameAddressKey(), host_);
    setReceivingAddress(qs(localAddress) + QLatin1Char(':') + QString::number(services_.port));

    const QString askpass = AskpassLocator::find(services_.applicationDir);
    if (askpass.isEmpty()) {
        throw StreamError(std::string(Messages::helperMissing));
    }

    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty()) {
        throw StreamError(Messages::folderNotCreated("Vistrel", systemErrorText(ENOENT)));
    }
    const QString folder = QDir(dataHome).filePath(QStringLiteral("Vistrel"));
    PrivateFolder::create(QFile::encodeName(folder).toStdString());

    // The receiver's callbacks run on its threads: they only hand over to
    // the GUI thread, where the run's token decides whether they still count.
    QPointer<StreamSession> weak(this);
    std::shared_ptr<FrameMailbox> mailbox = mailbox_;
    runCallbacks_.onFrame = [weak, mailbox, token](const PixelBuffer& picture) {
        if (mailbox->post(picture)) {
            QMetaObject::invokeMethod(
                mainQueue(),
                [weak, token] {
                    if (weak) {
                        weak->deliver(token);
                    }
                },
                Qt::QueuedConnection);
        }
    };
    runCallbacks_.onError = [weak, token](const std::string& message) {
        QMetaObject::invokeMethod(
            mainQueue(),
            [weak, token, text = qs(message)] {
                if (weak && weak->generation_ == token) {
                    weak->fail(text);
                }
            },
            Qt::QueuedConnection);
    };
    auto receiver = std::make_unique<UdpReceiver>();
    receiver->setOnFrame(runCallbacks_.onFrame);
    receiver->setOnError(runCallbacks_.onError);
    receiver->start(services_.port, configuration.host());
    receiver_ = std::move(receiver);
    setPhase(Phase::Connecting);

    QStringList arguments;
    for (const std::string& argument : RemoteCommand::sshArguments(
             configuration, localAddress,
             QDir(folder).filePath(QStringLiteral("known_hosts")).toStdString())) {
        arguments << qs(argument);
    }
    launchSsh(token, arguments, askpass);

    activity_ = services_.activity->begin(qs(Messages::activityReason));
    timer_ = services_.clock->repeat(timerInterval, this, [this] { tick(); });
    emit activationRequested();
}

void StreamSession::launchSsh(const QUuid& token, const QStringList& arguments,
                              const QString& askpass) {
    process_.reset(std::make_unique<QProcess>().release());
    QProcess* process = process_.get();
    process->setProgram(services_.sshProgram);
    process->setArguments(arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SSH_ASKPASS"), askpass);
    environment.insert(QStringLiteral("SSH_ASKPASS_REQUIRE"), QStringLiteral("force"));
#ifdef __APPLE__
    // OpenSSH consults askpass only with a display set; the helper itself
    // needs none there.
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral("vistrel:0"));
#else
    // The helper is a Qt window on this desktop: it needs the real DISPLAY or
    // WAYLAND_DISPLAY (a made-up one makes it abort, which ssh takes as a
    // refusal). SSH_ASKPASS_REQUIRE=force already makes ssh ask it without one.
#endif
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    outputDecoder_.reset();
    errorDecoder_.reset();

    connect(process, &QProcess::readyReadStandardOutput, this, [this, token, process] {
        if (generation_ == token) {
            consumeOutput(process->readAllStandardOutput());
        }
    });
    connect(process, &QProcess::readyReadStandardError, this, [this, token, process] {
        if (generation_ == token) {
            consumeErrors(process->readAllStandardError());
        }
    });
    connect(process, &QProcess::finished, this,
            [this, token](int exitCode, QProcess::ExitStatus /*status*/) {
                // For a client killed by a signal, exitCode is the signal number.
                if (generation_ == token) {
                    processExited(exitCode);
                }
            });

    process->start(QIODevice::ReadWrite);
    if (!process->waitForStarted(-1)) {
        throw StreamError(Messages::sshNotLaunched(process->errorString().toStdString()));
    }
    inputOpen_ = true;
}

// MARK: the remote script

void StreamSession::consumeOutput(const QByteArray& bytes) {
    outputBuffer_ += outputDecoder_.decode(bytes);
    qsizetype lineStart = 0;
    while (true) {
        const qsizetype end = outputBuffer_.indexOf(QLatin1Char('\n'), lineStart);
        if (end < 0) {
            break;
        }
        const QString line = outputBuffer_.mid(lineStart, end - lineStart);
        lineStart = end + 1;
        if (line == QLatin1String(RemoteCommand::startedMarker.data(),
                                  static_cast<qsizetype>(RemoteCommand::startedMarker.size())) &&
            phase_ == Phase::Connecting) {
            setPhase(Phase::Waiting);
            waitingSince_ = services_.clock->uptime();
        }
        emit remoteOutputLine(line);
    }
    outputBuffer_.remove(0, lineStart);
    outputBuffer_ = lastCharacters(outputBuffer_, outputBufferLimit);
}

void StreamSession::consumeErrors(const QByteArray& bytes) {
    setDiagnostics(lastCharacters(diagnostics_ + errorDecoder_.decode(bytes), diagnosticsLimit));
}

bool StreamSession::processRunning() const {
    return process_ && process_->state() != QProcess::NotRunning;
}

void StreamSession::send(std::string_view line) {
    if (processRunning() && inputOpen_) {
        // Buffered by QProcess; a client that has gone makes the write fail quietly.
        process_->write(line.data(), static_cast<qint64>(line.size()));
    }
}

void StreamSession::processExited(int status) {
    if (phase_ != Phase::Stopping && error_.isEmpty()) {
        setError(connectionError(status));
    }
    finish();
}

QString StreamSession::connectionError(int status) const {
    return qs(SshExitClassifier::message(diagnostics_.toStdString(), status));
}

void StreamSession::tick() {
    if (phase_ == Phase::Idle) {
        return;
    }
    const double now = services_.clock->uptime();
    if (phase_ == Phase::Stopping) {
        if (stopDeadline_ && now > *stopDeadline_ && processRunning()) {
            QPointer<QProcess> process(process_.get());
            const qint64 pid = process_->processId();
            process_->terminate();
            services_.clock->callAfter(killDelay, mainQueue(), [process, pid] {
                if (process && process->state() != QProcess::NotRunning &&
                    process->processId() == pid) {
                    ::kill(static_cast<pid_t>(pid), SIGKILL);
                }
            });
            stopDeadline_.reset();
        }
        return;
    }
    if (now - lastPing_ >= keepAliveInterval) {
        send(RemoteCommand::pingLine);
        lastPing_ = now;
    }
    if (lastFrame_ && now - *lastFrame_ > stallTimeout) {
        fail(qs(Messages::videoStopped));
        return;
    }
    if (waitingSince_ && !lastFrame_ && now - *waitingSince_ > firstFrameTimeout) {
        fail(qs(Messages::noVideoArrived));
    }
}

// MARK: stopping

void StreamSession::fail(const QString& message) {
    if (phase_ == Phase::Idle || phase_ == Phase::Stopping) {
        return;
    }
    setError(message);
    end();
}

void StreamSession::end(Completion completion) {
    if (completion) {
        finishing_.push_back(std::move(completion));
    }
    cancelCaptureLocation();
    stopRecording();
    if (phase_ == Phase::Idle) {
        finish();
        return;
    }
    if (phase_ == Phase::Stopping) {
        return;
    }
    setPhase(Phase::Stopping);
    if (receiver_) {
        receiver_->stop();
        receiver_.reset();
    }
    display_->flush();
    if (processRunning()) {
        send(RemoteCommand::stopLine);
        process_->closeWriteChannel();
        inputOpen_ = false;
        stopDeadline_ = services_.clock->uptime() + stopDeadline;
        return;
    }
    finish();
}

void StreamSession::finish() {
    const DerivedBatch batch(*this);
    cancelCaptureLocation();
    stopRecording();
    setLatestFrame({});
    if (receiver_) {
        receiver_->stop();
        receiver_.reset();
    }
    timer_.reset();
    if (process_) {
        process_->disconnect(this);
        if (inputOpen_) {
            process_->closeWriteChannel();
        }
        process_.reset();
    }
    inputOpen_ = false;
    stopDeadline_.reset();
    waitingSince_.reset();
    lastFrame_.reset();
    lastPing_ = -std::numeric_limits<double>::infinity();
    generation_ = QUuid::createUuid();
    runCallbacks_ = {};
    mailbox_->clear();
    activity_.reset();
    display_->flush();
    setPhase(Phase::Idle);
    setStartedAt({});
    setResolution({});
    completeTerminationIfReady();
}

void StreamSession::completeTerminationIfReady() {
    if (requiresTerminationWait()) {
        return;
    }
    // Never inside finish(): the callbacks run in a later task of the GUI thread.
    std::vector<Completion> ready = std::exchange(finishing_, {});
    QMetaObject::invokeMethod(
        mainQueue(),
        [ready = std::move(ready)] {
            for (const Completion& completion : ready) {
                completion();
            }
        },
        Qt::QueuedConnection);
}

// MARK: pictures

void StreamSession::deliver(const QUuid& token) {
    const PixelBuffer picture = mailbox_->take();
    if (generation_ == token && !picture.empty()) {
        present(picture);
    }
}

void StreamSession::present(const PixelBuffer& picture) {
    if (phase_ != Phase::Connecting && phase_ != Phase::Waiting && phase_ != Phase::Streaming) {
        return;
    }
    const DerivedBatch batch(*this);
    const double now = services_.clock->uptime();
    if (phase_ != Phase::Streaming) {
        setPhase(Phase::Streaming);
        setStartedAt(services_.clock->now());
    }
    lastFrame_ = now;
    setLatestFrame(picture);
    if (recorder_) {
        recorder_->append(picture, now);
    }
    setResolution(QStringLiteral("%1 \u00d7 %2").arg(picture.width()).arg(picture.height()));
    display_->show(picture);
    ++presented_;
}

// MARK: captures

void StreamSession::chooseCaptureLocation(CaptureKind kind,
                                          std::function<void(std::optional<QString>)> done) {
    const bool recording = kind == CaptureKind::Recording;
    CaptureLocationRequest request;
    request.title = qs(recording ? Messages::saveRecordingTitle : Messages::saveScreenshotTitle);
    request.extension = recording ? QStringLiteral("mp4") : QStringLiteral("png");
    request.nameFilter =
        recording ? QStringLiteral("MPEG-4 movie (*.mp4)") : QStringLiteral("PNG image (*.png)");
    request.defaultName =
        QStringLiteral("Vistrel ") +
        services_.clock->now().toString(QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss")) +
        QLatin1Char('.') + request.extension;
    request.folder = QStandardPaths::standardLocations(recording ? QStandardPaths::MoviesLocation
                                                                 : QStandardPaths::PicturesLocation)
                         .value(0);

    choosingLocation_ = true;
    setChoosingCaptureLocation(true);
    QPointer<StreamSession> weak(this);
    services_.chooser->choose(request, [weak, done = std::move(done)](std::optional<QString> path) {
        if (!weak) {
            return;
        }
        weak->choosingLocation_ = false;
        weak->setChoosingCaptureLocation(false);
        done(std::move(path));
    });
}

void StreamSession::cancelCaptureLocation() {
    if (choosingLocation_) {
        services_.chooser->cancel();
    }
}

void StreamSession::toggleRecording() {
    if (recordingStartedAt_.isValid()) {
        stopRecording();
        return;
    }
    if (!canRecord()) {
        return;
    }
    const QUuid token = generation_;
    QPointer<StreamSession> weak(this);
    chooseCaptureLocation(CaptureKind::Recording, [weak, token](std::optional<QString> path) {
        if (!weak || !path) {
            return;
        }
        StreamSession& session = *weak;
        if (session.generation_ != token || session.phase_ != Phase::Streaming ||
            session.latestFrame_.empty()) {
            return;
        }
        std::shared_ptr<LocalVideoRecorder> recorder;
        try {
            recorder = LocalVideoRecorder::create(
                fileSystemPath(*path), session.latestFrame_.width(), session.latestFrame_.height());
        } catch (const StreamError& failure) {
            session.setError(qs(Messages::recordingNotStarted(failure.message())));
            return;
        } catch (const std::exception& failure) {
            session.setError(qs(Messages::recordingNotStarted(failure.what())));
            return;
        }
        recorder->setOnFailure([weak, token](const std::string& message) {
            QMetaObject::invokeMethod(
                mainQueue(),
                [weak, token, text = qs(message)] {
                    if (weak && weak->generation_ == token) {
                        weak->setError(text);
                        weak->stopRecording();
                    }
                },
                Qt::QueuedConnection);
        });
        const DerivedBatch batch(session);
        session.recorder_ = recorder;
        session.setRecordingStartedAt(session.services_.clock->now());
        session.setCaptureNotice({});
        session.setLastCaptureURL({});
        recorder->append(session.latestFrame_, session.services_.clock->uptime());
    });
}

void StreamSession::stopRecording() {
    if (!recorder_) {
        return;
    }
    const DerivedBatch batch(*this);
    const std::shared_ptr<LocalVideoRecorder> recorder = std::exchange(recorder_, nullptr);
    setRecordingStartedAt({});
    setSavingRecording(true);
    QPointer<StreamSession> weak(this);
    recorder->finish([weak](const CaptureResult& outcome) {
        QMetaObject::invokeMethod(
            mainQueue(),
            [weak, outcome] {
                if (!weak) {
                    return;
                }
                weak->setSavingRecording(false);
                weak->reportCapture(outcome, CaptureKind::Recording);
                weak->completeTerminationIfReady();
            },
            Qt::QueuedConnection);
    });
}

void StreamSession::captureScreenshot() {
    if (!canScreenshot() || latestFrame_.empty()) {
        return;
    }
    // The picture on screen now is the one saved, whatever comes later.
    CapturedFrame held{latestFrame_};
    QPointer<StreamSession> weak(this);
    chooseCaptureLocation(
        CaptureKind::Screenshot, [weak, held = std::move(held)](std::optional<QString> path) {
            if (!weak || !path) {
                return;
            }
            weak->setSavingScreenshot(true);
            QThreadPool::globalInstance()->start([weak, held, target = fileSystemPath(*path)] {
                CaptureResult outcome;
                try {
                    ScreenshotCapture::save(held.buffer, target);
                    outcome.location = target;
                } catch (const std::exception& failure) {
                    outcome.error = failure.what();
                }
                QMetaObject::invokeMethod(
                    mainQueue(),
                    [weak, outcome] {
                        if (!weak) {
                            return;
                        }
                        weak->setSavingScreenshot(false);
                        weak->reportCapture(outcome, CaptureKind::Screenshot);
                        weak->completeTerminationIfReady();
                    },
                    Qt::QueuedConnection);
            });
        });
}

void StreamSession::reportCapture(const CaptureResult& outcome, CaptureKind kind) {
    const std::string_view word =
        kind == CaptureKind::Recording ? Messages::kindRecording : Messages::kindScreenshot;
    if (!outcome.ok()) {
        setError(qs(Messages::captureFailed(word, outcome.error)));
        return;
    }
    const QString path = QFile::decodeName(QByteArray::fromStdString(outcome.location.string()));
    setCaptureNotice(qs(Messages::captureSaved(word, QFileInfo(path).fileName().toStdString())));
    setLastCaptureURL(QUrl::fromLocalFile(path));
}

void StreamSession::revealLastCapture() {
    if (!lastCaptureURL_.isEmpty()) {
        services_.revealer->reveal(lastCaptureURL_.toLocalFile());
    }
}

void StreamSession::dismissCaptureNotice() {
    setCaptureNotice({});
}

// MARK: diagnostics

QString StreamSession::diagnosticsReport() const {
    std::string_view label;
    switch (phase_) {
    case Phase::Idle:
        label = Messages::stateIdle;
        break;
    case Phase::Connecting:
        label = Messages::stateConnecting;
        break;
    case Phase::Waiting:
        label = Messages::stateWaiting;
        break;
    case Phase::Streaming:
        label = Messages::stateStreaming;
        break;
    case Phase::Stopping:
        label = Messages::stateStopping;
        break;
    }
    return QStringLiteral("Vistrel\nState: ") + qs(label) + QStringLiteral("\nHeadset: ") + host_ +
           QStringLiteral("\nReceiver: ") + receivingAddress_ + QLatin1Char('\n') + error_ +
           QLatin1Char('\n') + diagnostics_;
}

void StreamSession::copyDiagnostics() {
    services_.clipboard->setText(diagnosticsReport());
}

} // namespace vistrel
