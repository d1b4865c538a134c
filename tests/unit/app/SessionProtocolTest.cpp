// The conversation with the remote script, all on the test clock: the start
// marker, keep-alive, the two watchdogs, the stop with its escalation, the
// SSH client's own exit, and the run token that silences an ended run.
#include "Messages.h"
#include "QtText.h"
#include "SessionRig.h"
#include "TestPictures.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>

namespace vistrel::test {
namespace {

using Phase = StreamSession::Phase;

PixelBuffer picture() {
    return makeNoise(64, 48, AV_PIX_FMT_YUV420P, 2);
}

// The signals sent to `pid` and not yet taken (bit n - 1 for signal n), or
// nothing once it has ended. Read at once: kill() marks a signal pending
// before it returns.
std::optional<unsigned long long> pendingSignals(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::optional<unsigned long long> pending;
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("State:") && line.find_first_of("ZX") == std::string::npos) {
            pending = 0;
        } else if (pending && (line.starts_with("SigPnd:") || line.starts_with("ShdPnd:"))) {
            *pending |= std::stoull(line.substr(7), nullptr, 16);
        }
    }
    return pending;
}
constexpr unsigned long long term = 1ULL << (SIGTERM - 1);

TEST(SessionOutput, OnlyAnExactStartMarkerLineWhileConnectingCounts) {
    struct Case {
        const char* name;
        std::vector<QByteArray> chunks;
        Phase expected;
    };
    const Case cases[] = {
        {"whole line", {"VL_STARTED\n"}, Phase::Waiting},
        {"split marker", {"hello\nVL_STA", "RTED", "\nmore"}, Phase::Waiting},
        {"split character", {"\xc3", "\xa9\xff\n", "VL_STARTED\n"}, Phase::Waiting},
        {"character cut off by a line feed", {"noise\xf0\x9f", "\nVL_STARTED\n"}, Phase::Waiting},
        {"after a flood", {QByteArray(5 << 20, 'x'), "tail\nVL_STARTED\n"}, Phase::Waiting},
        {"carriage return", {"VL_STARTED\r\n"}, Phase::Connecting},
        {"leading space", {" VL_STARTED\n"}, Phase::Connecting},
        {"no line feed yet", {"VL_STARTED"}, Phase::Connecting},
        {"lower case", {"vl_started\n"}, Phase::Connecting},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig;
        rig.startConnecting();
        for (const QByteArray& chunk : c.chunks) {
            SessionProbe::consumeOutput(rig.session(), chunk);
            EXPECT_LE(SessionProbe::outputBufferSize(rig.session()), 4096);
        }
        EXPECT_EQ(rig.session().phase(), c.expected);
    }
}

TEST(SessionTick, KeepAliveAtTheFirstTickThenEveryThreeToThreeAndAHalfSeconds) {
    SessionRig rig;
    rig.startConnecting();
    std::vector<double> pings;
    for (int tick = 0; tick < 40; ++tick) {
        rig.clock->advance(0.5);
        if (pings.empty() || SessionProbe::lastPing(rig.session()) != pings.back()) {
            pings.push_back(SessionProbe::lastPing(rig.session()));
        }
    }
    ASSERT_GE(pings.size(), 6U);
    EXPECT_EQ(pings.front(), 0.5);
    for (std::size_t i = 1; i < pings.size(); ++i) {
        EXPECT_GE(pings[i] - pings[i - 1], 3.0);
        EXPECT_LE(pings[i] - pings[i - 1], 3.5);
    }
    ASSERT_TRUE(waitFor([&] {
        return rig.log(QStringLiteral("stdin")).size() == static_cast<qsizetype>(pings.size());
    }));
    EXPECT_EQ(rig.log(QStringLiteral("stdin")).count(QStringLiteral("PING")),
              static_cast<qsizetype>(pings.size()));
}

TEST(SessionTick, TheFirstPictureAndStallWatchdogs) {
    // No picture 20 s after the start marker; a second marker restarts nothing.
    SessionRig waiting;
    waiting.startConnecting();
    SessionProbe::consumeOutput(waiting.session(), "VL_STARTED\n");
    waiting.clock->advance(10);
    SessionProbe::consumeOutput(waiting.session(), "VL_STARTED\n");
    waiting.clock->advance(10);
    EXPECT_EQ(waiting.session().phase(), Phase::Waiting);
    waiting.clock->advance(0.5);
    EXPECT_EQ(waiting.session().phase(), Phase::Stopping);
    EXPECT_EQ(waiting.session().error(), qs(Messages::noVideoArrived));

    // Neither before the marker; then no picture for 10 s.
    SessionRig live;
    live.startConnecting();
    live.clock->advance(120);
    live.feed(picture());
    live.clock->advance(5);
    live.feed(picture());
    live.clock->advance(10);
    EXPECT_EQ(live.session().phase(), Phase::Streaming);
    live.clock->advance(0.5);
    EXPECT_EQ(live.session().phase(), Phase::Stopping);
    EXPECT_EQ(live.session().error(), qs(Messages::videoStopped));
}

TEST(SessionStop, StopThenTerminateAtSevenSecondsThenKillTwoLaterWithoutAnError) {
    // A client that reads its input to the end but will not leave: only a
    // kill ends it. What it printed on the way does not make the stop a failure.
    SessionRig rig("printf 'Permission denied\\r\\n' >&2; exec perl -MPOSIX -e '"
                   "sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGTERM)); open(my $f, \">\", "
                   "$ARGV[0]); print $f $_ while <STDIN>; close $f; sleep 60' \"$dir/stdin\"");
    rig.startConnecting();
    StreamSession& session = rig.session();
    const qint64 pid = SessionProbe::processId(session);
    ASSERT_TRUE(waitFor([&] { return !session.diagnostics().isEmpty(); }));
    session.end();
    EXPECT_EQ(session.phase(), Phase::Stopping);
    // Its input ends after one STOP.
    ASSERT_TRUE(waitFor([&] { return rig.log(QStringLiteral("stdin")).size() == 1; }));
    EXPECT_EQ(rig.log(QStringLiteral("stdin")), QStringList{QStringLiteral("STOP")});
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
    EXPECT_EQ(session.error(), QString());
    EXPECT_EQ(rig.activity->holds(), 0);
    EXPECT_EQ(rig.clock->liveRepeats(), 0);
    session.copyDiagnostics();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("Vistrel\nState: Ready to connect\nHeadset: 127.0.0.1\nReceiver: "
                             "127.0.0.1:%1\n\nPermission denied\n")
                  .arg(rig.port));
}

TEST(SessionStop, TheDelayedKillSparesTheNextRunsClient) {
    // Leaves on the terminate signal, before the kill falls due.
    SessionRig rig("exec 0<&-; touch \"$dir/ready\"; while :; do sleep 0.05; done");
    rig.startConnecting();
    ASSERT_TRUE(waitFor([&] { return QFile::exists(rig.path(QStringLiteral("ready"))); }));
    rig.session().end();
    rig.clock->advance(7.5);
    ASSERT_TRUE(waitFor([&] { return rig.session().phase() == Phase::Idle; }));
    rig.startConnecting();
    rig.clock->advance(2.5);
    EXPECT_EQ(pendingSignals(SessionProbe::processId(rig.session())), 0ULL);
}

TEST(SessionExit, AnExitOfItsOwnIsExplainedAndANewStartForgetsIt) {
    struct Case {
        std::string body;
        QString error;
        QString diagnostics;
    };
    const Case cases[] = {
        {"kill -9 $$", qs(Messages::connectionEnded(SIGKILL)), {}},
        // Standard error keeps its last 16000 characters; an unknown one ends in its last 1200.
        {"head -c 4000 /dev/zero | tr '\\0' A >&2; printf '\\xff' >&2; "
         "head -c 15999 /dev/zero | tr '\\0' B >&2; exit 3",
         QString(1200, QLatin1Char('B')), QChar(0xFFFD) + QString(15999, QLatin1Char('B'))},
    };
    for (const Case& c : cases) {
        SessionRig rig(c.body);
        StreamSession& session = rig.session();
        session.start();
        ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
        EXPECT_EQ(session.error(), c.error);
        EXPECT_EQ(session.diagnostics(), c.diagnostics);
        session.start();
        EXPECT_EQ(session.phase(), Phase::Connecting);
        EXPECT_EQ(session.error(), QString());
        EXPECT_EQ(session.diagnostics(), QString());
    }
}

TEST(SessionToken, CallbacksOfAnEndedRunAreIgnored) {
    SessionRig rig;
    rig.startConnecting();
    StreamSession& session = rig.session();
    const auto onFrame = SessionProbe::onFrame(session);
    const auto onError = SessionProbe::onError(session);
    onFrame(picture()); // its delivery is queued, not yet run
    session.end();
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    onFrame(picture());
    onError("stale");
    rig.startConnecting();
    onFrame(picture());
    onError("stale");
    SessionProbe::onError(session)("current");
    ASSERT_TRUE(waitFor([&] { return session.phase() != Phase::Connecting; }));
    EXPECT_EQ(session.error(), QStringLiteral("current"));
    EXPECT_EQ(SessionProbe::presentedCount(session), 0U);
}

} // namespace
} // namespace vistrel::test
