#include "Messages.h"
#include "SessionRig.h"
#include "connection/ConnectionConfiguration.h"
#include "connection/RemoteCommand.h"
#include "session/QtText.h"
#include "session/SessionMessages.h"
#include "support/UniqueFd.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace vistrel::test {
namespace {

// The signals sent to `pid` and not yet taken (bit n - 1 for signal n), or nothing once it
// has ended. Exact at once: kill() marks a signal pending before it returns. SIGCHLD aside:
// a stand-in's own children end at any time.
std::optional<unsigned long long> pendingSignals(qint64 pid) {
    std::optional<unsigned long long> pending;
    for (const std::string& line : readLines("/proc/" + std::to_string(pid) + "/status")) {
        if (line.starts_with("State:") && line.find_first_of("ZX") == std::string::npos) {
            pending = 0;
        } else if (pending && (line.starts_with("SigPnd:") || line.starts_with("ShdPnd:"))) {
            *pending |= std::stoull(line.substr(7), nullptr, 16) & ~(1ULL << (SIGCHLD - 1));
        }
    }
    return pending;
}
constexpr unsigned long long term = 1ULL << (SIGTERM - 1);

TEST(SessionStart, LaunchesTheClientOnceWithAskpassAndAPrivateKnownHostsFile) {
    qputenv("DISPLAY", ":93"); // the askpass window must reach this desktop's display
    SessionRig rig;
    StreamSession& session = rig.make(" 127.0.0.1\t");
    const QSignalSpy activation(&session, &StreamSession::activationRequested);
    rig.startConnecting();
    const qint64 client = session.channel().processId();
    session.start(); // a second press
    EXPECT_EQ(session.channel().processId(), client);
    EXPECT_EQ(activation.count(), 1);
    EXPECT_EQ(rig.settings->values["frameAddress"], "127.0.0.1");
    EXPECT_EQ(rig.activity->holds(), 2); // idle and the sleep delay
    // Askpass and display, then ssh's arguments: the trimmed address and private known hosts.
    ASSERT_TRUE(waitFor([&] { return QFile::exists(rig.path("started")); }));
    std::string expected =
        rig.file("libexec/vistrel/vistrel-askpass") + '\0' + "force" + '\0' + ":93" + '\0';
    for (const std::string& argument :
         RemoteCommand::sshArguments(ConnectionConfiguration("127.0.0.1", "steamos", rig.port),
                                     "127.0.0.1", rig.file("data/Vistrel/known_hosts"))) {
        expected += argument + '\0';
    }
    EXPECT_EQ(readFile(rig.file("started")), expected);
    for (const char* folder : {"data", "data/Vistrel"}) {
        EXPECT_EQ(std::filesystem::status(rig.file(folder)).permissions(),
                  std::filesystem::perms(0700));
    }
}

// A failing start step launches nothing; a client that exits on its own is explained, its standard
// error kept to the last 16000 characters. The run ends idle holding nothing; a restart forgets it.
TEST(SessionStart, AFailedRunEndsIdleWithItsSentenceAndHoldsNothing) {
    const struct {
        const char* host;
        bool askpass, folderBlocked, portTaken; // folderBlocked: a file in the private folder's way
        std::string error;         // or its start; empty: the folder's or the port's step
        const char* ssh = nullptr; // the client's body; none: no client to launch
        QString diagnostics = {};
    } cases[] = {
        {"host.local", false, true, true, std::string(Messages::invalidAddress)},
        {"127.0.0.1", false, true, true, std::string(SessionMessages::helperMissing)},
        {"127.0.0.1", true, true, true, {}},
        {"127.0.0.1", true, false, true, {}},
        {"127.0.0.1", true, false, false, SessionMessages::sshNotLaunched("")},
        {"127.0.0.1", true, false, false, Messages::connectionEnded(SIGKILL), "kill -9 $$"},
        // An unknown sentence ends in its last 1200 characters.
        {"127.0.0.1", true, false, false, std::string(1200, 'B'),
         "head -c 4000 /dev/zero | tr '\\0' A >&2; printf '\\xff' >&2; "
         "head -c 15999 /dev/zero | tr '\\0' B >&2; exit 3",
         QChar(0xFFFD) + QString(15999, 'B')},
    };
    for (const auto& c : cases) {
        SessionRig rig(c.ssh != nullptr ? c.ssh : "listen", c.askpass);
        // A step that launched the client before failing would show its failure instead.
        rig.sshProgram = c.ssh != nullptr ? rig.sshProgram : rig.path("no-ssh");
        StreamSession& session = rig.make(c.host);
        if (c.folderBlocked) {
            writeFile(rig.file("data"), "");
        }
        const UniqueFd taken = c.portTaken ? bindUdp("0.0.0.0", rig.port) : UniqueFd();
        session.start();
        ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
        const QString error = !c.error.empty() ? qs(c.error)
                              : c.folderBlocked
                                  ? qs(Messages::folderNotCreated(rig.file("data"), "File exists"))
                                  : qs(Messages::stepListen(rig.port) + ": ");
        EXPECT_EQ(c.ssh != nullptr ? session.error() : session.error().left(error.size()), error);
        EXPECT_EQ(session.diagnostics(), c.diagnostics);
        EXPECT_TRUE(session.canStart());
        EXPECT_EQ(rig.activity->holds(), 0);
        EXPECT_TRUE(taken || bindUdp("0.0.0.0", rig.port));
        if (c.ssh != nullptr) {
            session.start();
            EXPECT_EQ(session.phase(), Phase::Connecting);
            EXPECT_EQ(session.error() + session.diagnostics(), "");
        }
    }
}

TEST(SessionOutput, OnlyAnExactStartMarkerLineWhileConnectingCounts) {
    const std::pair<std::vector<QByteArray>, Phase> cases[] = {
        {{"hello\nVL_STA", "RTED", "\nmore"}, Phase::Waiting},
        {{"\xc3", "\xa9\xff\n", "VL_STARTED\n"}, Phase::Waiting}, // split character
        {{"noise\xf0\x9f", "\nVL_STARTED\n"}, Phase::Waiting},    // cut off by a line feed
        {{QByteArray(5 << 20, 'x'), "tail\nVL_STARTED\n"}, Phase::Waiting}, // after a flood
        {{"VL_STARTED\r\n", " VL_STARTED\n", "vl_started\n", "VL_STARTED"}, Phase::Connecting},
    };
    for (const auto& [chunks, expected] : cases) {
        SessionRig rig;
        rig.startConnecting();
        for (const QByteArray& chunk : chunks) {
            rig.session().channel().consumeOutput(chunk);
            EXPECT_LE(rig.session().channel().bufferedOutputSize(), 4096);
        }
        EXPECT_EQ(rig.session().phase(), expected) << chunks.back().left(20).toStdString();
    }
}

TEST(SessionTick, KeepAliveAtTheFirstTickThenEveryThreeToThreeAndAHalfSecondsInEachRun) {
    SessionRig rig;
    for (const int ticks : {40, 4}) { // the second run starts within 3 s of the last PING
        rig.startConnecting();
        const double start = rig.clock->uptime();
        std::vector<double> pings;
        for (int tick = 0; tick < ticks; ++tick) {
            rig.clock->advance(0.5);
            if (pings.empty() || rig.session().lastKeepAlive() != pings.back()) {
                pings.push_back(rig.session().lastKeepAlive());
            }
        }
        EXPECT_EQ(pings.front(), start + 0.5);
        EXPECT_GE(pings.size(), std::size_t(ticks) / 7);
        for (std::size_t i = 1; i < pings.size(); ++i) {
            EXPECT_TRUE(pings[i] - pings[i - 1] >= 3.0 && pings[i] - pings[i - 1] <= 3.5);
        }
        EXPECT_TRUE(waitFor([&] {
            return readLines(rig.file("stdin")) == std::vector<std::string>(pings.size(), "PING");
        }));
        rig.session().end();
        ASSERT_TRUE(waitFor([&] { return rig.session().phase() == Phase::Idle; }));
        writeFile(rig.file("stdin"), "");
    }
}

TEST(SessionTick, TheFirstPictureAndStallWatchdogs) {
    // No picture 20 s after the start marker; a second marker restarts nothing.
    SessionRig waiting;
    waiting.startConnecting();
    waiting.session().channel().consumeOutput("VL_STARTED\n");
    waiting.clock->advance(10);
    waiting.session().channel().consumeOutput("VL_STARTED\n");
    waiting.clock->advance(10);
    EXPECT_EQ(waiting.session().phase(), Phase::Waiting);
    waiting.clock->advance(0.5);
    EXPECT_EQ(waiting.session().phase(), Phase::Stopping);
    EXPECT_EQ(waiting.session().error(), qs(SessionMessages::noVideoArrived));

    // Neither before the marker; then no picture for 10 s.
    SessionRig live;
    live.startConnecting();
    live.clock->advance(120);
    live.feed(makeNoise(64, 48, 1));
    live.clock->advance(5);
    live.feed(makeNoise(64, 48, 2));
    live.clock->advance(10);
    EXPECT_EQ(live.session().phase(), Phase::Streaming);
    live.clock->advance(0.5);
    EXPECT_EQ(live.session().phase(), Phase::Stopping);
    EXPECT_EQ(live.session().error(), qs(SessionMessages::videoStopped));
}

TEST(SessionStop, StopThenTerminateAtSevenSecondsThenKillTwoLaterWithoutAnError) {
    // Reads its input to the end, then only a kill ends it; what it printed does not make a
    // failure.
    SessionRig rig("printf 'Permission denied\\r\\n' >&2; exec perl -MPOSIX -e '"
                   "sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGTERM)); open(my $f, \">\", "
                   "$ARGV[0]); print $f $_ while <STDIN>; close $f; sleep 60' \"$dir/stdin\"");
    rig.startConnecting();
    StreamSession& session = rig.session();
    const qint64 pid = session.channel().processId();
    ASSERT_TRUE(waitFor([&] { return !session.diagnostics().isEmpty(); }));
    session.end();
    EXPECT_TRUE(
        waitFor([&] { return readLines(rig.file("stdin")) == std::vector<std::string>{"STOP"}; }));
    rig.clock->advance(3.0);
    session.end(); // does not move the deadline
    rig.clock->advance(4.0);
    EXPECT_EQ(pendingSignals(pid), 0ULL);
    rig.clock->advance(0.5);
    EXPECT_EQ(pendingSignals(pid), term);
    rig.clock->advance(1.5);
    EXPECT_EQ(pendingSignals(pid), term);
    rig.clock->advance(0.5);
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    EXPECT_EQ(pendingSignals(pid), std::nullopt);
    EXPECT_EQ(session.error(), "");
    EXPECT_EQ(rig.activity->holds(), 0);
    session.copyDiagnostics();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().endsWith("\n\nPermission denied\n"));
}

// Neither the ended run's callbacks nor its delayed kill reach the next run.
TEST(SessionToken, AnEndedRunDoesNotReachTheNextOne) {
    // Leaves on the terminate signal, before the kill falls due.
    SessionRig rig("exec 0<&-; touch \"$dir/ready\"; while :; do sleep 0.05; done");
    rig.startConnecting();
    StreamSession& session = rig.session();
    const auto onFrame = session.receiver()->frameCallback();
    const auto onError = session.receiver()->errorCallback();
    const PixelBuffer picture = makeNoise(64, 48, 2);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(rig.path("ready")); }));
    onFrame(picture); // its delivery is queued, not yet run
    session.end();
    rig.clock->advance(7.5);
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    onFrame(picture);
    onError("stale");
    rig.startConnecting();
    onFrame(picture);
    onError("stale");
    rig.clock->advance(2.5);
    EXPECT_EQ(pendingSignals(session.channel().processId()), 0ULL);
    session.receiver()->errorCallback()("current");
    ASSERT_TRUE(waitFor([&] { return session.phase() != Phase::Connecting; }));
    EXPECT_EQ(session.error(), "current");
    EXPECT_EQ(session.picturesShown(), 0U);
}

} // namespace
} // namespace vistrel::test
