// The conversation with the remote script: start marker, keep-alive,
// watchdogs, the orderly stop with its escalation, the SSH client's exit and
// what it is called, and the run token that silences an ended run.
#include "Messages.h"
#include "QtText.h"
#include "SessionRig.h"

#include <QFile>
#include <QSignalSpy>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>

using vistrel::qs;
using vistrel::SessionProbe;
using vistrel::StreamSession;
using vistrel::test::makePicture;
using vistrel::test::SessionRig;
using vistrel::test::waitFor;
using Phase = vistrel::StreamSession::Phase;
namespace Messages = vistrel::Messages;

namespace {

bool processAlive(qint64 pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

} // namespace

TEST(SessionOutput, OnlyAnExactStartMarkerLineInConnectingMovesToWaiting) {
    struct Case {
        const char* name;
        std::vector<QByteArray> chunks;
        Phase expected;
    };
    const Case cases[] = {
        {"whole line", {"VL_STARTED\n"}, Phase::Waiting},
        {"split inside the marker", {"VL_STA", "RTED", "\n"}, Phase::Waiting},
        {"after other lines", {"hello\nVL_", "STARTED\nmore"}, Phase::Waiting},
        {"after invalid UTF-8", {"\xff\xfe\xc3\n", "VL_STARTED\n"}, Phase::Waiting},
        {"after a character cut off before the line feed",
         {"noise\xf0\x9f", "\nVL_STARTED\n"},
         Phase::Waiting},
        {"trailing space", {"VL_STARTED \n"}, Phase::Connecting},
        {"trailing carriage return", {"VL_STARTED\r\n"}, Phase::Connecting},
        {"leading space", {" VL_STARTED\n"}, Phase::Connecting},
        {"no line feed yet", {"VL_STARTED"}, Phase::Connecting},
        {"stop marker", {"VL_STOPPED\n"}, Phase::Connecting},
        {"lower case", {"vl_started\n"}, Phase::Connecting},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig;
        rig.startConnecting();
        for (const QByteArray& chunk : c.chunks) {
            SessionProbe::consumeOutput(rig.session(), chunk);
        }
        EXPECT_EQ(rig.session().phase(), c.expected);
    }
}

TEST(SessionOutput, EndlessOutputIsBoundedAndAMarkerAfterItStillCounts) {
    SessionRig rig;
    rig.startConnecting();
    const QByteArray flood(1 << 20, 'x');
    for (int i = 0; i < 5; ++i) {
        SessionProbe::consumeOutput(rig.session(), flood);
        EXPECT_LE(SessionProbe::outputBufferSize(rig.session()), 4096);
    }
    // The flood's line ends here; its cut-off start does not matter.
    SessionProbe::consumeOutput(rig.session(), "tail\nVL_STARTED\n");
    EXPECT_EQ(rig.session().phase(), Phase::Waiting);
    EXPECT_EQ(SessionProbe::outputBufferSize(rig.session()), 0);
}

TEST(SessionOutput, TheRealStandInsMarkerReachesTheSession) {
    SessionRig rig("printf 'VL_STAR'; read -r first; printf 'TED\\n'; listen");
    rig.startConnecting();
    rig.clock->advance(0.5); // the first tick's PING lets the stand-in finish the line
    ASSERT_TRUE(waitFor([&] { return rig.session().phase() == Phase::Waiting; }));
}

TEST(SessionOutput, MegabytesOfBinaryOutputAreBoundedAndTheMarkerAfterThemCounts) {
    SessionRig rig("head -c 3000000 /dev/urandom >&2; head -c 3000000 /dev/urandom; "
                   "printf '\\nVL_STARTED\\n'; listen");
    rig.startConnecting();
    StreamSession& session = rig.session();
    qsizetype longest = 0;
    QObject::connect(&session, &StreamSession::diagnosticsChanged, &session,
                     [&] { longest = std::max(longest, session.diagnostics().size()); });
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Waiting; }));
    EXPECT_LE(SessionProbe::outputBufferSize(session), 4096);
    EXPECT_GT(longest, 0);
    EXPECT_LE(longest, 16000);
    EXPECT_TRUE(session.error().isEmpty());
}

TEST(SessionOutput, AMarkerInWaitingOrStreamingChangesNothing) {
    SessionRig rig;
    rig.startConnecting();
    SessionProbe::consumeOutput(rig.session(), "VL_STARTED\n");
    ASSERT_EQ(rig.session().phase(), Phase::Waiting);
    rig.clock->advance(15.0);
    // A second marker must not restart the first-frame watchdog.
    SessionProbe::consumeOutput(rig.session(), "VL_STARTED\n");
    rig.clock->advance(5.5);
    EXPECT_EQ(rig.session().phase(), Phase::Stopping);
    EXPECT_EQ(rig.session().error(), qs(Messages::noVideoArrived));

    SessionRig streaming;
    streaming.startStreaming();
    SessionProbe::consumeOutput(streaming.session(), "VL_STARTED\n");
    EXPECT_EQ(streaming.session().phase(), Phase::Streaming);
}

TEST(SessionTick, TheFirstTickPingsAtOnceAndLaterOnesEveryThreeToThreeAndAHalfSeconds) {
    SessionRig rig;
    rig.startConnecting();
    const double started = rig.clock->uptime();
    std::vector<double> pings;
    double last = SessionProbe::lastPing(rig.session());
    for (int i = 0; i < 40; ++i) {
        rig.clock->advance(0.5);
        const double now = SessionProbe::lastPing(rig.session());
        if (now != last) {
            pings.push_back(now);
            last = now;
        }
    }
    ASSERT_GE(pings.size(), 6U);
    EXPECT_DOUBLE_EQ(pings.front(), started + 0.5);
    for (std::size_t i = 1; i < pings.size(); ++i) {
        EXPECT_GE(pings[i] - pings[i - 1], 3.0);
        EXPECT_LE(pings[i] - pings[i - 1], 3.5);
    }
    // Every one of them reached the remote side as a line of its own.
    ASSERT_TRUE(
        waitFor([&] { return static_cast<std::size_t>(rig.stdinLines().size()) == pings.size(); }));
    for (const QString& line : rig.stdinLines()) {
        EXPECT_EQ(line, QStringLiteral("PING"));
    }
}

TEST(SessionTick, Watchdogs) {
    struct Case {
        const char* name;
        bool marker;
        bool frame;
        double quiet;    // seconds that pass without a failure
        QString message; // after half a second more; empty: no watchdog at all
    };
    const Case cases[] = {
        {"first frame", true, false, 20.0, qs(Messages::noVideoArrived)},
        {"stall", false, true, 10.0, qs(Messages::videoStopped)},
        {"stall after the marker", true, true, 10.0, qs(Messages::videoStopped)},
        {"no marker, no frame", false, false, 120.0, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig;
        rig.startConnecting();
        StreamSession& session = rig.session();
        if (c.marker) {
            SessionProbe::consumeOutput(session, "VL_STARTED\n");
        }
        if (c.frame) {
            rig.feed(makePicture(64, 48));
        }
        const Phase live = session.phase();
        rig.clock->advance(c.quiet);
        EXPECT_EQ(session.phase(), live);
        EXPECT_TRUE(session.error().isEmpty());
        rig.clock->advance(0.5);
        if (c.message.isEmpty()) {
            EXPECT_EQ(session.phase(), live);
            EXPECT_TRUE(session.error().isEmpty());
        } else {
            EXPECT_EQ(session.phase(), Phase::Stopping);
            EXPECT_EQ(session.error(), c.message);
            ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
            EXPECT_EQ(session.error(), c.message);
        }
    }
}

TEST(SessionTick, FramesKeepTheStallWatchdogQuiet) {
    SessionRig rig;
    rig.startStreaming(64, 48);
    for (int i = 0; i < 10; ++i) {
        rig.clock->advance(9.5);
        rig.feed(makePicture(64, 48));
    }
    EXPECT_EQ(rig.session().phase(), Phase::Streaming);
    EXPECT_TRUE(rig.session().error().isEmpty());
}

TEST(SessionStop, AUserStopWritesStopClosesInputAndEndsInIdleWithoutAnError) {
    SessionRig rig("echo 'some warning' >&2; listen");
    rig.startStreaming();
    StreamSession& session = rig.session();
    bool completed = false;
    std::optional<bool> completedWhenIdle;
    QObject::connect(&session, &StreamSession::phaseChanged, &session, [&] {
        if (session.phase() == Phase::Idle) {
            completedWhenIdle = completed;
        }
    });
    session.end([&] { completed = true; });
    EXPECT_EQ(session.phase(), Phase::Stopping);
    EXPECT_TRUE(session.requiresTerminationWait());
    session.end(); // a second stop neither writes STOP again nor moves the deadline
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    EXPECT_TRUE(session.error().isEmpty());
    EXPECT_EQ(rig.stdinLines().count(QStringLiteral("STOP")), 1);
    EXPECT_TRUE(session.resolution().isEmpty());
    EXPECT_FALSE(session.startedAt().isValid());
    EXPECT_FALSE(session.canRecord());
    EXPECT_EQ(*rig.activity->live, 0);
    EXPECT_EQ(rig.clock->liveRepeats(), 0);
    EXPECT_EQ(completedWhenIdle, std::optional<bool>(false)); // never inside finish()
    ASSERT_TRUE(waitFor([&] { return completed; }));
}

TEST(SessionStop, AClientThatIgnoresTheStopIsTerminatedAfterSevenSecondsThenKilled) {
    SessionRig rig("trap 'echo TERM >> \"$dir/signals\"' TERM; exec 0<&-; touch \"$dir/ready\"; "
                   "while :; do sleep 0.05; done");
    rig.startConnecting();
    StreamSession& session = rig.session();
    const qint64 pid = SessionProbe::processId(session);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(rig.path("ready")); }));
    session.end();
    rig.clock->advance(3.0);
    session.end(); // must not move the deadline
    rig.clock->advance(4.0);
    // Long enough for the trap to have written, had a signal come early.
    EXPECT_FALSE(waitFor([&] { return !vistrel::test::readFile(rig.path("signals")).empty(); },
                         std::chrono::milliseconds(500)));
    rig.clock->advance(0.5);
    ASSERT_TRUE(waitFor([&] { return vistrel::test::readFile(rig.path("signals")) == "TERM\n"; }));
    EXPECT_EQ(session.phase(), Phase::Stopping);
    EXPECT_TRUE(processAlive(pid));
    rig.clock->advance(1.5);
    vistrel::test::drainEvents();
    EXPECT_TRUE(processAlive(pid));
    rig.clock->advance(0.5);
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    EXPECT_TRUE(session.error().isEmpty());
    EXPECT_FALSE(processAlive(pid));
}

TEST(SessionStop, TheDelayedKillSparesTheNextRunsClient) {
    // This client leaves on the terminate signal, so the run is over before
    // the kill is due; the next run's client must survive that moment.
    SessionRig rig("trap 'exit 0' TERM; exec 0<&-; touch \"$dir/ready\"; "
                   "while :; do sleep 0.05; done");
    rig.startConnecting();
    StreamSession& session = rig.session();
    ASSERT_TRUE(waitFor([&] { return QFile::exists(rig.path("ready")); }));
    session.end();
    rig.clock->advance(7.5);
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));

    rig.startConnecting();
    const qint64 next = SessionProbe::processId(session);
    rig.clock->advance(2.5);
    vistrel::test::drainEvents();
    EXPECT_EQ(session.phase(), Phase::Connecting);
    EXPECT_TRUE(processAlive(next));
}

TEST(SessionStop, EndWhileIdleRunsItsCompletionInALaterTask) {
    SessionRig rig;
    StreamSession& session = rig.session();
    int runs = 0;
    session.end([&] { ++runs; });
    EXPECT_EQ(runs, 0);
    ASSERT_TRUE(waitFor([&] { return runs == 1; }));
    vistrel::test::drainEvents();
    EXPECT_EQ(runs, 1);
}

TEST(SessionStop, FailInIdleOrStoppingKeepsTheFirstMessage) {
    SessionRig rig;
    StreamSession& session = rig.session();
    SessionProbe::fail(session, QStringLiteral("late"));
    EXPECT_TRUE(session.error().isEmpty());
    EXPECT_EQ(session.phase(), Phase::Idle);

    rig.startStreaming();
    SessionProbe::fail(session, QStringLiteral("first"));
    EXPECT_EQ(session.phase(), Phase::Stopping);
    SessionProbe::fail(session, QStringLiteral("second"));
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    EXPECT_EQ(session.error(), QStringLiteral("first"));
}

TEST(SessionExit, AnExitOfItsOwnIsClassifiedAndAnExitWhileStoppingIsNot) {
    struct Case {
        const char* name;
        std::string body;
        bool userStops;
        QString message;
    };
    const Case cases[] = {
        {"authentication", "echo 'steamos@10.0.0.2: Permission denied (publickey).' >&2; exit 255",
         false, qs(Messages::authenticationFailed)},
        {"remote refusal", "echo 'ffmpeg is not installed on the Steam Frame.' >&2; exit 1", false,
         qs(Messages::remoteNoFfmpeg)},
        {"silent", "exit 255", false, qs(Messages::connectionEnded(255))},
        {"killed by a signal", "kill -9 $$", false, qs(Messages::connectionEnded(9))},
        {"user stop", "echo 'Permission denied' >&2; listen", true, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig(c.body);
        rig.session().start();
        if (c.userStops) {
            ASSERT_TRUE(waitFor([&] { return !rig.session().diagnostics().isEmpty(); }));
            rig.session().end();
        }
        ASSERT_TRUE(waitFor([&] { return rig.session().phase() == Phase::Idle; }));
        EXPECT_EQ(rig.session().error(), c.message);
    }
}

TEST(SessionExit, StandardErrorKeepsItsLast16000CharactersAndReplacesInvalidBytes) {
    SessionRig rig("head -c 4000 /dev/zero | tr '\\0' A >&2; printf '\\xff' >&2; "
                   "head -c 15999 /dev/zero | tr '\\0' B >&2; exit 3");
    rig.session().start();
    ASSERT_TRUE(waitFor([&] { return rig.session().phase() == Phase::Idle; }));
    const QString expected = QChar(0xFFFD) + QString(15999, QLatin1Char('B'));
    EXPECT_EQ(rig.session().diagnostics(), expected);
    // No known phrase: the last 1200 characters are the message.
    EXPECT_EQ(rig.session().error(), QString(1200, QLatin1Char('B')));
}

TEST(SessionToken, CallbacksOfAnEndedRunAreIgnored) {
    SessionRig rig;
    rig.startConnecting();
    StreamSession& session = rig.session();
    const auto firstOnFrame = SessionProbe::onFrame(session);
    const auto firstOnError = SessionProbe::onError(session);
    session.end();
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));

    // After finish.
    firstOnFrame(makePicture(64, 48));
    firstOnError("stale failure");
    vistrel::test::drainEvents();
    EXPECT_EQ(SessionProbe::presentedCount(session), 0U);
    EXPECT_TRUE(session.error().isEmpty());

    // After a new start.
    rig.startConnecting();
    firstOnFrame(makePicture(64, 48));
    firstOnError("stale failure");
    vistrel::test::drainEvents();
    EXPECT_EQ(session.phase(), Phase::Connecting);
    EXPECT_EQ(SessionProbe::presentedCount(session), 0U);
    EXPECT_TRUE(session.error().isEmpty());

    // The current run's callbacks still work.
    SessionProbe::onError(session)("Receive video: Network is down");
    ASSERT_TRUE(waitFor([&] { return session.phase() != Phase::Connecting; }));
    EXPECT_EQ(session.error(), QStringLiteral("Receive video: Network is down"));
}

TEST(SessionToken, APictureQueuedBeforeFinishIsNeverPresented) {
    SessionRig rig;
    rig.startConnecting();
    StreamSession& session = rig.session();
    SessionProbe::onFrame(session)(makePicture(64, 48)); // delivery queued, not yet run
    session.end();
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    vistrel::test::drainEvents();
    EXPECT_EQ(SessionProbe::presentedCount(session), 0U);
    EXPECT_TRUE(session.resolution().isEmpty());
}
