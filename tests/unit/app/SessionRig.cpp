#include "SessionRig.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace vistrel::test {

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ::usleep(1000);
    }
    return true;
}

void drainEvents() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

std::string readFile(const QString& path) {
    std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

namespace {
void writeExecutable(const QString& path, const std::string& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size())) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
} // namespace

SessionRig::SessionRig(const std::string& sshBody, bool withAskpass)
    : port(freeUdpPort()), withAskpass_(withAskpass) {
    if (!dir_.isValid()) {
        throw std::runtime_error("no temporary folder");
    }
    hadDataHome_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    savedDataHome_ = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("data"))));

    const std::string folder = QFile::encodeName(dir()).toStdString();
    sshProgram = path(QStringLiteral("ssh"));
    writeExecutable(sshProgram,
                    "#!/bin/bash\n"
                    "dir='" +
                        folder +
                        "'\n"
                        "echo $$ >> \"$dir/launches\"\n"
                        "printf '%s\\0' \"$@\" > \"$dir/args\"\n"
                        "printf '%s\\n' \"SSH_ASKPASS=$SSH_ASKPASS\" "
                        "\"SSH_ASKPASS_REQUIRE=$SSH_ASKPASS_REQUIRE\" "
                        "\"DISPLAY=$DISPLAY\" > \"$dir/env\"\n"
                        "listen() {\n"
                        "  while IFS= read -r line; do\n"
                        "    printf '%s\\n' \"$line\" >> \"$dir/stdin\"\n"
                        "    if [ \"$line\" = STOP ]; then echo VL_STOPPED; exit 0; fi\n"
                        "  done\n"
                        "  echo VL_STOPPED; exit 0\n"
                        "}\n" +
                        sshBody + "\n");
    QDir().mkpath(path(QStringLiteral("app")));
    if (withAskpass_) {
        writeExecutable(path(QStringLiteral("app/vistrel-askpass")), "#!/bin/sh\nexit 1\n");
    }
}

SessionRig::~SessionRig() {
    if (session_ && session_->phase() != StreamSession::Phase::Idle) {
        session_->end();
        // A stand-in that ignores STOP is ended by the escalation.
        for (int i = 0; i < 40 && session_->phase() != StreamSession::Phase::Idle; ++i) {
            if (clock != nullptr) {
                clock->advance(0.5);
            }
            waitFor([this] { return session_->phase() == StreamSession::Phase::Idle; },
                    std::chrono::milliseconds(clock != nullptr ? 250 : 500));
        }
    }
    session_.reset();
    drainEvents();
    if (hadDataHome_) {
        qputenv("XDG_DATA_HOME", savedDataHome_);
    } else {
        qunsetenv("XDG_DATA_HOME");
    }
}

StreamSession& SessionRig::make(std::optional<QString> savedAddress,
                                std::optional<QString> savedUser) {
    SessionServices services;
    std::unique_ptr<Clock> anyClock;
    if (realClock) {
        anyClock = std::make_unique<SystemClock>();
        clock = nullptr;
    } else {
        auto testClock = std::make_unique<TestClock>();
        clock = testClock.get();
        anyClock = std::move(testClock);
    }
    auto memory = std::make_unique<MemorySettings>();
    auto scripted = std::make_unique<ScriptedChooser>();
    auto reveal = std::make_unique<RecordingRevealer>();
    auto board = std::make_unique<RecordingClipboard>();
    auto inhibitor = std::make_unique<CountingInhibitor>();
    settings = memory.get();
    chooser = scripted.get();
    revealer = reveal.get();
    clipboard = board.get();
    activity = inhibitor.get();
    if (savedAddress) {
        memory->values[QStringLiteral("frameAddress")] = *savedAddress;
    }
    if (savedUser) {
        memory->values[QStringLiteral("sshUsername")] = *savedUser;
    }
    services.clock = std::move(anyClock);
    services.settings = std::move(memory);
    services.chooser = std::move(scripted);
    services.revealer = std::move(reveal);
    services.clipboard = std::move(board);
    services.activity = std::move(inhibitor);
    services.sshProgram = sshProgram;
    services.applicationDir = path(QStringLiteral("app"));
    services.port = port;
    session_ = std::make_unique<StreamSession>(std::move(services));
    return *session_;
}

StreamSession& SessionRig::session() {
    if (!session_) {
        make();
    }
    return *session_;
}

void SessionRig::startConnecting() {
    session().start();
    ASSERT_EQ(session().error(), QString());
    ASSERT_EQ(session().phase(), StreamSession::Phase::Connecting);
}

void SessionRig::startStreaming(int width, int height) {
    startConnecting();
    feed(makePicture(width, height));
    ASSERT_EQ(session().phase(), StreamSession::Phase::Streaming);
}

void SessionRig::feed(const PixelBuffer& picture) {
    const auto before = SessionProbe::presentedCount(session());
    const auto onFrame = SessionProbe::onFrame(session());
    ASSERT_TRUE(onFrame);
    onFrame(picture);
    ASSERT_TRUE(waitFor([&] { return SessionProbe::presentedCount(session()) > before; }));
}

QStringList SessionRig::stdinLines() const {
    return QString::fromStdString(readFile(path(QStringLiteral("stdin"))))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int SessionRig::launches() const {
    return static_cast<int>(QString::fromStdString(readFile(path(QStringLiteral("launches"))))
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                .size());
}

} // namespace vistrel::test
