#include "HeadsetStandIn.h"

#include "session/AskpassLocator.h"

#include <QDir>
#include <QFile>
#include <stdexcept>

namespace vistrel::test {

namespace {

void writeProgram(const QString& path, const QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Reads the session's lines until STOP or end of input, like the remote script.
const char* const untilStop = R"(while IFS= read -r line; do
  [ "$line" = STOP ] && break
done
)";

} // namespace

HeadsetStandIn::HeadsetStandIn(Behaviour behaviour) : HeadsetStandIn(behaviour, Stream{}) {
}

HeadsetStandIn::HeadsetStandIn(Behaviour behaviour, const Stream& stream) : port_(freeUdpPort()) {
    if (!dir_.isValid()) {
        throw std::runtime_error("no temporary folder");
    }
    const QDir dir(dir_.path());
    // The session checks that its askpass helper exists before it starts;
    // nothing here ever asks for a password.
    writeProgram(dir.filePath(QString::fromLatin1(AskpassLocator::programName)),
                 QStringLiteral("#!/bin/sh\nexit 1\n"));

    QString body;
    switch (behaviour) {
    case Behaviour::NeverAnswers:
        body = QString::fromLatin1(untilStop);
        break;
    case Behaviour::StartsCapture:
        body = QStringLiteral("echo VL_STARTED\n") + QString::fromLatin1(untilStop);
        break;
    case Behaviour::SlowToStop:
        body = QStringLiteral("echo VL_STARTED\n") + QString::fromLatin1(untilStop) +
               QStringLiteral("sleep 3\n");
        break;
    case Behaviour::Streams:
        body = QStringLiteral(
                   "ffmpeg -hide_banner -loglevel error -nostdin -re "
                   "-f lavfi -i testsrc2=size=%2:rate=30 %3 "
                   "-c:v libx264 -preset ultrafast -tune zerolatency -pix_fmt yuv420p -g 15 "
                   "-f mpegts 'udp://127.0.0.1:%1?pkt_size=1316' &\n"
                   "encoder=$!\n"
                   "echo VL_STARTED\n")
                   .arg(port_)
                   .arg(stream.size, stream.filterOptions) +
               QString::fromLatin1(untilStop) +
               QStringLiteral("kill $encoder 2>/dev/null\nwait $encoder 2>/dev/null\n");
        break;
    case Behaviour::RefusesConnection:
        body = QStringLiteral("echo 'ssh: connect to host 127.0.0.1 port 22: Connection "
                              "refused' >&2\nexit 255\n");
        break;
    }
    ssh_ = dir.filePath(QStringLiteral("ssh"));
    writeProgram(ssh_, QStringLiteral("#!/bin/bash\n") + body + QStringLiteral("exit 0\n"));
}

SessionServices HeadsetStandIn::services() const {
    SessionServices services = SessionServices::system();
    services.sshProgram = ssh_;
    services.applicationDir = dir_.path();
    services.port = port_;
    return services;
}

} // namespace vistrel::test
