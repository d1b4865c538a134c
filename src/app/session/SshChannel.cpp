#include "session/SshChannel.h"

#include "Messages.h"
#include "StreamError.h"
#include "session/SessionMessages.h"

#include <QPointer>
#include <QProcessEnvironment>
#include <csignal>
#include <sys/types.h>

namespace vistrel {

namespace {

constexpr qsizetype outputLimit = 4096;
constexpr qsizetype errorLimit = 16000;

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

// This environment, plus what makes ssh ask the helper for passwords and
// host-key decisions.
QProcessEnvironment askpassEnvironment(const QString& askpass) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SSH_ASKPASS"), askpass);
    environment.insert(QStringLiteral("SSH_ASKPASS_REQUIRE"), QStringLiteral("force"));
    // The helper is a Qt window on this desktop: it needs the real DISPLAY or
    // WAYLAND_DISPLAY (a made-up one makes it abort, which ssh takes as a
    // refusal). SSH_ASKPASS_REQUIRE=force already makes ssh ask it without one.
    return environment;
}

void releaseLater(QProcess* process) {
    if (process != nullptr) {
        process->deleteLater();
    }
}

} // namespace

SshChannel::SshChannel(QObject* parent) : QObject(parent), process_(nullptr, &releaseLater) {
}

SshChannel::~SshChannel() {
    if (process_) {
        process_->disconnect(this);
        // Deleted here rather than later: the event loop may be gone.
        const std::unique_ptr<QProcess> process(process_.release());
    }
}

void SshChannel::launch(const QString& program, const QStringList& arguments,
                        const QString& askpass) {
    release();
    process_.reset(std::make_unique<QProcess>().release());
    QProcess* process = process_.get();
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessEnvironment(askpassEnvironment(askpass));
    process->setProcessChannelMode(QProcess::SeparateChannels);
    outputDecoder_.reset();
    errorDecoder_.reset();
    outputBuffer_.clear();
    errorText_.clear();

    connect(process, &QProcess::readyReadStandardOutput, this,
            [this, process] { consumeOutput(process->readAllStandardOutput()); });
    connect(process, &QProcess::readyReadStandardError, this,
            [this, process] { consumeErrors(process->readAllStandardError()); });
    connect(process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus /*status*/) { emit exited(exitCode); });
    // QProcess closes the pipe once its buffer has drained, just after the
    // last bytesWritten returns; or at once when a write fails.
    const auto drained = [this, process](bool failed) {
        if (!inputOpen_ && (failed || process->bytesToWrite() == 0)) {
            QMetaObject::invokeMethod(
                this,
                [this, process] {
                    if (process_.get() == process) {
                        emit inputClosed();
                    }
                },
                Qt::QueuedConnection);
        }
    };
    connect(process, &QProcess::bytesWritten, this, [drained] { drained(false); });
    connect(process, &QProcess::errorOccurred, this, [drained](QProcess::ProcessError error) {
        if (error == QProcess::WriteError) {
            drained(true);
        }
    });

    process->start(QIODevice::ReadWrite);
    if (!process->waitForStarted(-1)) {
        throw StreamError(SessionMessages::sshNotLaunched(process->errorString().toStdString()));
    }
    inputOpen_ = true;
}

void SshChannel::release() {
    if (!process_) {
        return;
    }
    process_->disconnect(this);
    closeInput();
    process_.reset();
}

bool SshChannel::isRunning() const {
    return process_ && process_->state() != QProcess::NotRunning;
}

void SshChannel::send(std::string_view line) {
    if (isRunning() && inputOpen_) {
        // Buffered by QProcess and written when the event loop runs.
        process_->write(line.data(), static_cast<qint64>(line.size()));
    }
}

void SshChannel::closeInput() {
    const bool wasOpen = process_ && inputOpen_;
    inputOpen_ = false;
    if (wasOpen) {
        process_->closeWriteChannel();
        if (process_->bytesToWrite() == 0) { // closed already
            emit inputClosed();
        }
    }
}

void SshChannel::terminate(Clock& clock, double killDelay) {
    if (!isRunning()) {
        return;
    }
    QPointer<QProcess> process(process_.get());
    const qint64 pid = process_->processId();
    process_->terminate();
    clock.callAfter(killDelay, this, [process, pid] {
        // Only the process asked to terminate: a later run has a new one.
        if (process && process->state() != QProcess::NotRunning && process->processId() == pid) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        }
    });
}

void SshChannel::consumeOutput(const QByteArray& bytes) {
    outputBuffer_ += outputDecoder_.decode(bytes);
    qsizetype lineStart = 0;
    for (qsizetype end = outputBuffer_.indexOf(QLatin1Char('\n')); end >= 0;
         end = outputBuffer_.indexOf(QLatin1Char('\n'), lineStart)) {
        const QString line = outputBuffer_.mid(lineStart, end - lineStart);
        lineStart = end + 1;
        emit lineRead(line);
    }
    outputBuffer_ = lastCharacters(outputBuffer_.mid(lineStart), outputLimit);
}

void SshChannel::consumeErrors(const QByteArray& bytes) {
    errorText_ = lastCharacters(errorText_ + errorDecoder_.decode(bytes), errorLimit);
    emit errorTextChanged();
}

} // namespace vistrel
