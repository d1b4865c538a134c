// start(): the SSH client it launches and how, and each failing step ending
// in idle with its own sentence and nothing held.
#include "Messages.h"
#include "QtText.h"
#include "SessionRig.h"
#include "connection/ConnectionConfiguration.h"
#include "connection/RemoteCommand.h"

#include <QSignalSpy>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

namespace vistrel::test {
namespace {

// A UDP socket bound to `port` on every address while it lives.
struct BoundPort {
    explicit BoundPort(std::uint16_t port) {
        const sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_ANY)}, {}};
        bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~BoundPort() { ::close(fd); }
    BoundPort(const BoundPort&) = delete;
    BoundPort& operator=(const BoundPort&) = delete;
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    bool bound = false;
};

TEST(SessionStart, LaunchesTheClientOnceWithAskpassAndAPrivateKnownHostsFile) {
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":93"); // the askpass window must reach this desktop's display
    SessionRig rig;
    StreamSession& session = rig.make(QStringLiteral(" 127.0.0.1\t"));
    const QSignalSpy activation(&session, &StreamSession::activationRequested);
    rig.startConnecting();
    const qint64 client = SessionProbe::processId(session);
    session.start(); // a second press
    qputenv("DISPLAY", display);
    EXPECT_EQ(SessionProbe::processId(session), client);
    EXPECT_EQ(activation.count(), 1);
    EXPECT_EQ(rig.settings->values[QStringLiteral("frameAddress")], QStringLiteral("127.0.0.1"));
    EXPECT_EQ(rig.activity->holds(), 1);

    ASSERT_TRUE(waitFor([&] { return rig.log(QStringLiteral("env")).size() == 3; }));
    EXPECT_EQ(
        rig.log(QStringLiteral("env")),
        QStringList({"SSH_ASKPASS=" + rig.path(QStringLiteral("libexec/vistrel/vistrel-askpass")),
                     QStringLiteral("SSH_ASKPASS_REQUIRE=force"), QStringLiteral("DISPLAY=:93")}));
    // The default user, the trimmed address, this computer's end of the route
    // and the known-hosts file in the private folder.
    std::istringstream written(
        readFile(QFile::encodeName(rig.path(QStringLiteral("args"))).toStdString()));
    std::vector<std::string> args;
    for (std::string arg; std::getline(written, arg, '\0');) {
        args.push_back(arg);
    }
    const QString folder = rig.path(QStringLiteral("data/Vistrel"));
    EXPECT_EQ(args, RemoteCommand::sshArguments(
                        ConnectionConfiguration("127.0.0.1", "steamos", rig.port), "127.0.0.1",
                        QFile::encodeName(folder + QStringLiteral("/known_hosts")).toStdString()));
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777U, 0700U);
}

TEST(SessionStart, AFailingStepEndsInIdleWithItsSentenceAndHoldsNothing) {
    struct Case {
        const char* name;
        QString host;
        bool askpass;
        bool portTaken;
        QString error; // the sentence or its start; null: the port's step
    };
    const Case cases[] = {
        {"address first", QStringLiteral("host.local"), false, true, qs(Messages::invalidAddress)},
        {"helper before port", QStringLiteral("127.0.0.1"), false, true,
         qs(Messages::helperMissing)},
        {"port taken", QStringLiteral("127.0.0.1"), true, true, {}},
        {"client cannot start", QStringLiteral("127.0.0.1"), true, false,
         qs(Messages::sshNotLaunched(""))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig("listen", c.askpass);
        // A step that launched the client before failing would show the
        // client's own failure instead: there is none to launch.
        rig.sshProgram = rig.path(QStringLiteral("no-ssh"));
        StreamSession& session = rig.make(c.host);
        std::optional<BoundPort> taken;
        if (c.portTaken) {
            ASSERT_TRUE(taken.emplace(rig.port).bound);
        }
        session.start();
        taken.reset();
        EXPECT_EQ(session.phase(), StreamSession::Phase::Idle);
        EXPECT_TRUE(session.error().startsWith(
            c.error.isNull() ? qs(Messages::stepListen(rig.port)) + QStringLiteral(": ") : c.error))
            << session.error().toStdString();
        EXPECT_TRUE(session.canStart());
        EXPECT_EQ(rig.activity->holds(), 0);
        EXPECT_EQ(rig.clock->liveRepeats(), 0);
        EXPECT_FALSE(SessionProbe::onFrame(session));
        EXPECT_TRUE(BoundPort(rig.port).bound);
    }
}

} // namespace
} // namespace vistrel::test
