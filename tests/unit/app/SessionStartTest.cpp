// Construction, the gating properties and start(): what it checks, saves and
// launches, and how each failing step leaves the session.
#include "Messages.h"
#include "QtText.h"
#include "SessionRig.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using vistrel::qs;
using vistrel::StreamSession;
using vistrel::test::SessionRig;
using Phase = vistrel::StreamSession::Phase;
namespace Messages = vistrel::Messages;

namespace {

std::vector<std::string> splitNul(const std::string& text) {
    std::vector<std::string> parts;
    std::string::size_type from = 0;
    while (from < text.size()) {
        const auto end = text.find('\0', from);
        parts.push_back(text.substr(from, end - from));
        from = end == std::string::npos ? text.size() : end + 1;
    }
    return parts;
}

} // namespace

TEST(SessionConstruction, HostAndCanStartFollowTheSavedAddress) {
    struct Case {
        std::optional<QString> saved;
        QString host;
        bool canStart;
    };
    const Case cases[] = {
        {std::nullopt, QString(), false},
        {QStringLiteral(" 192.168.4.20 "), QStringLiteral(" 192.168.4.20 "), true},
        {QStringLiteral("   \n"), QStringLiteral("   \n"), false},
        {QStringLiteral("not an address"), QStringLiteral("not an address"), true},
    };
    for (const Case& c : cases) {
        SessionRig rig;
        StreamSession& session = rig.make(c.saved);
        EXPECT_EQ(session.host(), c.host);
        EXPECT_EQ(session.canStart(), c.canStart) << c.host.toStdString();
        EXPECT_EQ(session.phase(), Phase::Idle);
        EXPECT_FALSE(session.requiresTerminationWait());
        EXPECT_FALSE(session.canRecord());
        EXPECT_FALSE(session.canScreenshot());
        EXPECT_TRUE(session.error().isEmpty());
        EXPECT_TRUE(session.receivingAddress().isEmpty());
        EXPECT_FALSE(session.startedAt().isValid());
    }
}

TEST(SessionConstruction, CanStartIsAnnouncedWhenTheHostChanges) {
    SessionRig rig;
    StreamSession& session = rig.make(std::nullopt);
    QSignalSpy spy(&session, &StreamSession::canStartChanged);
    session.setHost(QStringLiteral("10.0.0.2"));
    session.setHost(QStringLiteral(" 10.0.0.3"));
    session.setHost(QStringLiteral("  "));
    EXPECT_EQ(spy.count(), 2); // true once, false once
    EXPECT_FALSE(session.canStart());
}

TEST(SessionConstruction, UsernameDefaultsToSteamosAndIsSaved) {
    SessionRig rig;
    StreamSession& session = rig.make();
    EXPECT_EQ(session.sshUsername(), QStringLiteral("steamos"));
    session.setSshUsername(QStringLiteral("deck"));
    EXPECT_EQ(rig.settings->values.at(QStringLiteral("sshUsername")), QStringLiteral("deck"));
    EXPECT_EQ(session.sshUsername(), QStringLiteral("deck"));
}

TEST(SessionStart, LaunchesSshWithTheScriptTheAskpassEnvironmentAndAPrivateKnownHosts) {
    SessionRig rig("listen");
    StreamSession& session = rig.make(QStringLiteral("  127.0.0.1 "), QStringLiteral("deck"));
    QSignalSpy activation(&session, &StreamSession::activationRequested);
    rig.startConnecting();

    EXPECT_EQ(session.host(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(rig.settings->values.at(QStringLiteral("frameAddress")), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(session.receivingAddress(), QStringLiteral("127.0.0.1:%1").arg(rig.port));
    EXPECT_FALSE(session.canStart());
    EXPECT_TRUE(session.requiresTerminationWait());
    EXPECT_EQ(*rig.activity->live, 1);
    EXPECT_EQ(rig.activity->reasons, QStringList{qs(Messages::activityReason)});
    EXPECT_EQ(rig.clock->liveRepeats(), 1);
    EXPECT_EQ(activation.count(), 1);

    ASSERT_TRUE(vistrel::test::waitFor([&] { return QFileInfo::exists(rig.path("env")); }));
    ASSERT_TRUE(
        vistrel::test::waitFor([&] { return !vistrel::test::readFile(rig.path("env")).empty(); }));
    const std::string env = vistrel::test::readFile(rig.path("env"));
    EXPECT_NE(env.find("SSH_ASKPASS=" + rig.path("app/vistrel-askpass").toStdString() + "\n"),
              std::string::npos)
        << env;
    EXPECT_NE(env.find("SSH_ASKPASS_REQUIRE=force\n"), std::string::npos);
#ifdef __APPLE__
    EXPECT_NE(env.find("DISPLAY=vistrel:0\n"), std::string::npos);
#else
    // The askpass dialog must reach this desktop's own display.
    EXPECT_NE(env.find("DISPLAY=" + qEnvironmentVariable("DISPLAY").toStdString() + "\n"),
              std::string::npos)
        << env;
#endif

    const auto args = splitNul(vistrel::test::readFile(rig.path("args")));
    ASSERT_EQ(args.size(), 32U);
    const QString knownHosts = rig.path("data/Vistrel/known_hosts");
    EXPECT_NE(std::find(args.begin(), args.end(),
                        "UserKnownHostsFile=\"" + knownHosts.toStdString() + "\""),
              args.end());
    EXPECT_EQ(args[args.size() - 3], "deck");
    EXPECT_EQ(args[args.size() - 2], "127.0.0.1");
    EXPECT_EQ(args.back().rfind("bash -c ", 0), 0U);
    EXPECT_NE(args.back().find(std::to_string(rig.port)), std::string::npos);

    struct stat info {};
    ASSERT_EQ(::stat(rig.path("data/Vistrel").toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700U);
}

TEST(SessionStart, PressingStreamTwiceStartsOneRun) {
    SessionRig rig;
    rig.startConnecting();
    rig.session().start();
    EXPECT_EQ(rig.session().phase(), Phase::Connecting);
    ASSERT_TRUE(vistrel::test::waitFor([&] { return rig.launches() == 1; }));
    vistrel::test::drainEvents();
    EXPECT_EQ(rig.launches(), 1);
}

TEST(SessionStart, FailingStepsEndInIdleWithTheirMessageAndLaunchNothing) {
    struct Case {
        const char* name;
        QString host;
        std::optional<QString> user;
        QString message;
        bool askpass;
        bool addressSaved;
    };
    const Case cases[] = {
        {"invalid address", QStringLiteral("300.1.2.3"), std::nullopt, qs(Messages::invalidAddress),
         true, false},
        {"invalid address beats a missing helper", QStringLiteral("host.local"), std::nullopt,
         qs(Messages::invalidAddress), false, false},
        {"invalid user name", QStringLiteral("127.0.0.1"), QStringLiteral("-oProxyCommand=x"),
         qs(Messages::invalidUsername), true, false},
        {"helper missing", QStringLiteral(" 127.0.0.1\t"), std::nullopt,
         qs(Messages::helperMissing), false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig("listen", c.askpass);
        StreamSession& session = rig.make(c.host, c.user);
        session.start();
        EXPECT_EQ(session.phase(), Phase::Idle);
        EXPECT_EQ(session.error(), c.message);
        EXPECT_TRUE(session.canStart());
        EXPECT_FALSE(session.requiresTerminationWait());
        EXPECT_EQ(*rig.activity->live, 0);
        EXPECT_EQ(rig.clock->liveRepeats(), 0);
        EXPECT_FALSE(vistrel::SessionProbe::onFrame(session));
        vistrel::test::drainEvents();
        EXPECT_EQ(rig.launches(), 0);
        if (c.addressSaved) {
            EXPECT_EQ(session.host(), QStringLiteral("127.0.0.1"));
            EXPECT_EQ(rig.settings->values.at(QStringLiteral("frameAddress")),
                      QStringLiteral("127.0.0.1"));
            EXPECT_EQ(session.receivingAddress(), QStringLiteral("127.0.0.1:%1").arg(rig.port));
        } else {
            EXPECT_EQ(session.host(), c.host);
            EXPECT_EQ(rig.settings->values.at(QStringLiteral("frameAddress")), c.host);
            EXPECT_TRUE(session.receivingAddress().isEmpty());
        }
    }
}

TEST(SessionStart, APortInUseShowsTheBindMessageAndLaunchesNoSsh) {
    SessionRig rig;
    const int blocker = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(rig.port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    rig.session().start();
    ::close(blocker);
    EXPECT_EQ(rig.session().phase(), Phase::Idle);
    EXPECT_TRUE(
        rig.session().error().startsWith(qs(Messages::stepListen(rig.port)) + QStringLiteral(": ")))
        << rig.session().error().toStdString();
    vistrel::test::drainEvents();
    EXPECT_EQ(rig.launches(), 0);
}

TEST(SessionStart, ASshClientThatCannotBeLaunchedReleasesTheReceiver) {
    SessionRig rig;
    rig.sshProgram = rig.path("no-such-ssh");
    StreamSession& session = rig.make();
    session.start();
    EXPECT_EQ(session.phase(), Phase::Idle);
    EXPECT_TRUE(session.error().startsWith(QStringLiteral("Could not start the SSH client: ")))
        << session.error().toStdString();
    EXPECT_EQ(*rig.activity->live, 0);

    // The port is free again: the receiver was stopped and released.
    const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(rig.port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    EXPECT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(probe);
}

TEST(SessionStart, ANewStartClearsTheLastRunsErrorAndDiagnostics) {
    SessionRig rig("echo 'Permission denied (publickey).' >&2; exit 255");
    StreamSession& session = rig.session();
    session.start();
    ASSERT_TRUE(vistrel::test::waitFor([&] { return session.phase() == Phase::Idle; }));
    ASSERT_EQ(session.error(), qs(Messages::authenticationFailed));
    ASSERT_FALSE(session.diagnostics().isEmpty());

    QSignalSpy errors(&session, &StreamSession::errorChanged);
    session.start();
    EXPECT_GE(errors.count(), 1);
    EXPECT_TRUE(session.phase() == Phase::Connecting || session.phase() == Phase::Idle);
    ASSERT_TRUE(vistrel::test::waitFor([&] { return session.phase() == Phase::Idle; }));
    EXPECT_EQ(session.error(), qs(Messages::authenticationFailed));
    EXPECT_EQ(session.diagnostics(), QStringLiteral("Permission denied (publickey).\n"));
}
