#include "session/StreamSession.h"

#include "Messages.h"
#include "StreamError.h"
#include "connection/ConnectionConfiguration.h"
#include "connection/RemoteCommand.h"
#include "connection/SshExitClassifier.h"
#include "session/AskpassLocator.h"
#include "session/CaptureController.h"
#include "session/QtText.h"
#include "session/RunGate.h"
#include "session/SessionMessages.h"
#include "session/SshChannel.h"
#include "support/PrivateFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>

namespace vistrel {

namespace {

constexpr double timerInterval = 0.5;
constexpr double keepAliveInterval = 3.0;
constexpr double stallTimeout = 10.0;
constexpr double firstFrameTimeout = 20.0;
constexpr double stopDeadline = 7.0;
constexpr double killDelay = 2.0;
// A picture older than this is no longer presented as live.
constexpr double heldAfter = 1.0;

QString frameAddressKey() {
    return QStringLiteral("frameAddress");
}
QString sshUsernameKey() {
    return QStringLiteral("sshUsername");
}
QString defaultUsername() {
    return QStringLiteral("steamos");
}
QString lossPolicyKey() {
    return QStringLiteral("lossPolicy");
}

} // namespace

StreamSession::StreamSession(SessionServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)), display_(new VideoDisplay(this)),
      capture_(std::make_unique<CaptureController>(CaptureController::Link{
          *services_.clock,
          *services_.chooser,
          *services_.revealer,
          [this] { return phase() == Phase::Streaming ? latestFrame_ : PixelBuffer(); },
          [this] { return generation_; },
          [this] { return RunGate::forRun(*this, generation_); },
          RunGate::whileAlive(*this),
          [this](const QString& message) { publish(error_, message); },
          [this](const CaptureState& state) { publishCapture(state); },
          [this] { completeTerminationIfReady(); },
      })),
      channel_(std::make_unique<SshChannel>()), generation_(QUuid::createUuid()) {
    host_.value = services_.settings->string(frameAddressKey()).value_or(QString());
    // Queued, so that a failure seen while showing a picture stops the run
    // after present() has returned.
    connect(
        display_, &VideoDisplay::failed, this, [this] { fail(qs(SessionMessages::displayFailed)); },
        Qt::QueuedConnection);
    // The channel speaks on the GUI thread and falls silent when a run
    // releases its client, so what it says always belongs to the current run.
    connect(channel_.get(), &SshChannel::lineRead, this, &StreamSession::remoteLine);
    connect(channel_.get(), &SshChannel::errorTextChanged, this,
            [this] { publish(diagnostics_, channel_->errorText()); });
    connect(channel_.get(), &SshChannel::exited, this, &StreamSession::sshExited);
    // The remote script has its STOP: sleep may go ahead, the rest of the
    // stop does not need the computer awake.
    connect(channel_.get(), &SshChannel::inputClosed, this, [this] { sleepDelay_.reset(); });
    canStart_ = canStart();
    canRecord_ = canRecord();
    canScreenshot_ = canScreenshot();
    requiresTerminationWait_ = requiresTerminationWait();
}

StreamSession::~StreamSession() {
    if (receiver_) {
        receiver_->stop();
    }
    channel_.reset();
}

void StreamSession::publishCapture(const CaptureState& state) {
    const DerivedBatch batch(*this);
    publish(recordingStartedAt_, state.recordingStartedAt);
    publish(isSavingRecording_, state.isSavingRecording);
    publish(isSavingScreenshot_, state.isSavingScreenshot);
    publish(isChoosingCaptureLocation_, state.isChoosingLocation);
    publish(captureNotice_, state.notice);
    publish(lastCaptureURL_, state.lastCapture);
}

void StreamSession::dismissCaptureNotice() {
    capture_->dismissNotice();
}

bool StreamSession::canStart() const {
    return !host().trimmed().isEmpty() && phase() == Phase::Idle && !isSavingRecording();
}

bool StreamSession::canRecord() const {
    return capture_->canRecord();
}

bool StreamSession::canScreenshot() const {
    return capture_->canScreenshot();
}

bool StreamSession::requiresTerminationWait() const {
    return phase() != Phase::Idle || recordingStartedAt().isValid() || isSavingRecording() ||
           isSavingScreenshot();
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

void StreamSession::setLatestFrame(PixelBuffer frame) {
    const bool had = !latestFrame_.empty();
    latestFrame_ = std::move(frame);
    if (had != !latestFrame_.empty()) {
        updateDerived();
    }
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

LossPolicy StreamSession::lossPolicy() const {
    const std::optional<QString> saved = services_.settings->string(lossPolicyKey());
    return saved ? LossPolicies::named(saved->toStdString()).value_or(LossPolicy::Hold)
                 : LossPolicy::Hold;
}

void StreamSession::setLossPolicy(LossPolicy policy) {
    if (policy == lossPolicy()) {
        return;
    }
    services_.settings->setString(lossPolicyKey(), qs(LossPolicies::name(policy)));
    if (receiver_) {
        receiver_->setLossPolicy(policy);
    }
    emit lossPolicyChanged();
}

void StreamSession::start() {
    if (!canStart()) {
        return;
    }
    const DerivedBatch batch(*this);
    publish(error_, {});
    publish(diagnostics_, {});
    publish(resolution_, {});
    lastFrame_.reset();
    waitingSince_.reset();
    publish(startedAt_, {});

    generation_ = QUuid::createUuid();
    const QUuid token = generation_;
    try {
        startRun(token);
    } catch (const StreamError& failure) {
        publish(error_, qs(failure.message()));
        finish();
    } catch (const std::exception& failure) {
        publish(error_, QString::fromLocal8Bit(failure.what()));
        finish();
    }
}

void StreamSession::startRun(const QUuid& token) {
    const ConnectionConfiguration configuration(host().toStdString(), sshUsername().toStdString(),
                                                services_.port);
    const std::string localAddress = configuration.localAddress();

    publish(host_, qs(configuration.host()));
    services_.settings->setString(frameAddressKey(), host());
    publish(receivingAddress_,
            qs(localAddress) + QLatin1Char(':') + QString::number(services_.port));

    const QString askpass = AskpassLocator::find(services_.applicationDir);
    if (askpass.isEmpty()) {
        throw StreamError(std::string(SessionMessages::helperMissing));
    }

    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty()) {
        throw StreamError(Messages::folderNotCreated("Vistrel", systemErrorText(ENOENT)));
    }
    const QString folder = QDir(dataHome).filePath(QStringLiteral("Vistrel"));
    PrivateFolder::create(QFile::encodeName(folder).toStdString());

    // The receiver's callbacks run on its threads: they only hand over to
    // the GUI thread, through the run's gate.
    const RunGate gate = RunGate::forRun(*this, token);
    handOff_ = std::make_shared<FrameHandOff>(
        [this](const PixelBuffer& picture) { present(picture); },
        [gate](std::function<void()> deliver) { gate.post(std::move(deliver)); });
    auto receiver = std::make_unique<UdpReceiver>();
    receiver->setLossPolicy(lossPolicy());
    receiver->setOnFrame(
        [handOff = handOff_](const PixelBuffer& picture) { handOff->post(picture); });
    receiver->setOnError([this, gate](const std::string& message) {
        gate.post([this, text = qs(message)] { fail(text); });
    });
    receiver->start(services_.port, configuration.host());
    receiver_ = std::move(receiver);
    publish(phase_, Phase::Connecting);

    QStringList arguments;
    for (const std::string& argument : RemoteCommand::sshArguments(
             configuration, localAddress,
             QDir(folder).filePath(QStringLiteral("known_hosts")).toStdString())) {
        arguments << qs(argument);
    }
    channel_->launch(services_.sshProgram, arguments, askpass);

    activity_ = services_.activity->preventIdleSleep(qs(SessionMessages::activityReason));
    sleepDelay_ = services_.activity->delaySleep(qs(SessionMessages::activityReason));
    timer_ = services_.clock->repeat(timerInterval, this, [this] { tick(); });
    emit activationRequested();
}

void StreamSession::remoteLine(const QString& line) {
    if (line == qs(RemoteCommand::startedMarker) && phase() == Phase::Connecting) {
        publish(phase_, Phase::Waiting);
        waitingSince_ = services_.clock->uptime();
    }
}

void StreamSession::sshExited(int status) {
    if (phase() != Phase::Stopping && error().isEmpty()) {
        publish(error_, qs(SshExitClassifier::message(diagnostics().toStdString(), status)));
    }
    finish();
}

void StreamSession::tick() {
    if (phase() == Phase::Idle) {
        return;
    }
    const double now = services_.clock->uptime();
    if (phase() == Phase::Stopping) {
        if (stopDeadline_ && now > *stopDeadline_ && channel_->isRunning()) {
            channel_->terminate(*services_.clock, killDelay);
            stopDeadline_.reset();
        }
        return;
    }
    updatePictureHeld(now);
    if (now - lastPing_ >= keepAliveInterval) {
        channel_->send(RemoteCommand::pingLine);
        lastPing_ = now;
    }
    if (lastFrame_ && now - *lastFrame_ > stallTimeout) {
        fail(qs(SessionMessages::videoStopped));
        return;
    }
    if (waitingSince_ && !lastFrame_ && now - *waitingSince_ > firstFrameTimeout) {
        fail(qs(SessionMessages::noVideoArrived));
    }
}

void StreamSession::fail(const QString& message) {
    if (phase() == Phase::Idle || phase() == Phase::Stopping) {
        return;
    }
    publish(error_, message);
    end();
}

void StreamSession::end(Completion completion) {
    if (completion) {
        finishing_.push_back(std::move(completion));
    }
    capture_->cancelChooser();
    capture_->stopRecording();
    if (phase() == Phase::Idle) {
        finish();
        return;
    }
    if (phase() == Phase::Stopping) {
        return;
    }
    publish(phase_, Phase::Stopping);
    publish(isPictureHeld_, false);
    if (receiver_) {
        receiver_->stop();
        receiver_.reset();
    }
    display_->flush();
    if (channel_->isRunning()) {
        channel_->send(RemoteCommand::stopLine);
        channel_->closeInput();
        stopDeadline_ = services_.clock->uptime() + stopDeadline;
        return;
    }
    finish();
}

void StreamSession::finish() {
    const DerivedBatch batch(*this);
    capture_->cancelChooser();
    capture_->stopRecording();
    setLatestFrame({});
    if (receiver_) {
        receiver_->stop();
        receiver_.reset();
    }
    timer_.reset();
    channel_->release();
    stopDeadline_.reset();
    waitingSince_.reset();
    lastFrame_.reset();
    lastPing_ = -std::numeric_limits<double>::infinity();
    generation_ = QUuid::createUuid();
    handOff_.reset();
    activity_.reset();
    sleepDelay_.reset();
    display_->flush();
    publish(phase_, Phase::Idle);
    publish(isPictureHeld_, false);
    publish(startedAt_, {});
    publish(resolution_, {});
    completeTerminationIfReady();
}

void StreamSession::completeTerminationIfReady() {
    if (requiresTerminationWait()) {
        return;
    }
    // Never inside finish(): the callbacks run in a later task of the GUI thread.
    std::vector<Completion> ready = std::exchange(finishing_, {});
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [ready = std::move(ready)] {
            for (const Completion& completion : ready) {
                completion();
            }
        },
        Qt::QueuedConnection);
}

void StreamSession::present(const PixelBuffer& picture) {
    if (phase() != Phase::Connecting && phase() != Phase::Waiting && phase() != Phase::Streaming) {
        return;
    }
    const DerivedBatch batch(*this);
    const double now = services_.clock->uptime();
    if (phase() != Phase::Streaming) {
        publish(phase_, Phase::Streaming);
        publish(startedAt_, services_.clock->now());
    }
    lastFrame_ = now;
    updatePictureHeld(now);
    setLatestFrame(picture);
    capture_->append(picture, now);
    publish(resolution_, QStringLiteral("%1 \u00d7 %2").arg(picture.width()).arg(picture.height()));
    display_->show(picture);
    ++presented_;
    emit pictureShown();
}

void StreamSession::updatePictureHeld(double now) {
    publish(isPictureHeld_,
            phase() == Phase::Streaming && lastFrame_ && now - *lastFrame_ > heldAfter);
}

void StreamSession::toggleRecording() {
    capture_->toggleRecording();
}

void StreamSession::stopRecording() {
    capture_->stopRecording();
}

void StreamSession::captureScreenshot() {
    capture_->captureScreenshot();
}

void StreamSession::revealLastCapture() {
    capture_->revealLastCapture();
}

std::string_view StreamSession::stateName(Phase phase) {
    switch (phase) {
    case Phase::Idle:
        return SessionMessages::stateIdle;
    case Phase::Connecting:
        return SessionMessages::stateConnecting;
    case Phase::Waiting:
        return SessionMessages::stateWaiting;
    case Phase::Streaming:
        return SessionMessages::stateStreaming;
    case Phase::Stopping:
        return SessionMessages::stateStopping;
    }
    return {};
}

QString StreamSession::diagnosticsReport() const {
    QString report = QStringLiteral("Vistrel\nState: ") + qs(stateName(phase())) +
                     QStringLiteral("\nHeadset: ") + host() + QStringLiteral("\nReceiver: ") +
                     receivingAddress() + QLatin1Char('\n') + error() + QLatin1Char('\n') +
                     diagnostics();
    // ssh ends its lines with CR LF; a pasted report should carry plain line feeds.
    return report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

void StreamSession::copyDiagnostics() {
    services_.clipboard->setText(diagnosticsReport());
}

} // namespace vistrel
