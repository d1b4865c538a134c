// The road of a decoded picture from the decoder's thread to the screen:
// the one-slot mailbox, one delivery at a time, present() and the display.
#include "SessionRig.h"

#include <QSignalSpy>
#include <QVideoFrame>
#include <QVideoSink>
#include <gtest/gtest.h>
#include <thread>

using vistrel::SessionProbe;
using vistrel::StreamSession;
using vistrel::test::makePicture;
using vistrel::test::SessionRig;
using vistrel::test::waitFor;
using Phase = vistrel::StreamSession::Phase;

TEST(SessionPresent, ThreePicturesBeforeTheGuiThreadRunsGiveOneDeliveryOfTheThird) {
    SessionRig rig;
    rig.startConnecting();
    StreamSession& session = rig.session();
    QVideoSink sink;
    session.display()->setVideoSink(&sink);
    QSignalSpy shown(&sink, &QVideoSink::videoFrameChanged);

    const auto onFrame = SessionProbe::onFrame(session);
    std::thread decoder([&] {
        onFrame(makePicture(640, 360));
        onFrame(makePicture(800, 600));
        onFrame(makePicture(1280, 720));
    });
    decoder.join();
    ASSERT_TRUE(waitFor([&] { return SessionProbe::presentedCount(session) == 1; }));
    vistrel::test::drainEvents();
    EXPECT_EQ(SessionProbe::presentedCount(session), 1U);
    EXPECT_EQ(SessionProbe::mailboxDropCount(session), 2U);
    EXPECT_EQ(session.resolution(), QStringLiteral("1280 \u00d7 720"));
    ASSERT_EQ(shown.count(), 1);
    EXPECT_EQ(sink.videoFrame().size(), QSize(1280, 720));
}

TEST(SessionPresent, AFirstPictureInConnectingGoesStraightToStreaming) {
    SessionRig rig;
    rig.startConnecting();
    StreamSession& session = rig.session();
    QSignalSpy canRecord(&session, &StreamSession::canRecordChanged);
    rig.clock->advance(2.0);
    rig.feed(makePicture(1280, 720));
    EXPECT_EQ(session.phase(), Phase::Streaming);
    EXPECT_EQ(session.startedAt(), rig.clock->now());
    EXPECT_TRUE(session.canRecord());
    EXPECT_TRUE(session.canScreenshot());
    EXPECT_EQ(canRecord.count(), 1);
    // No start marker was seen, so only the stall watchdog runs.
    rig.clock->advance(10.0);
    EXPECT_EQ(session.phase(), Phase::Streaming);
}

TEST(SessionPresent, PicturesOfAChangingSizeAreShownAndReported) {
    SessionRig rig;
    rig.startStreaming(1280, 720);
    StreamSession& session = rig.session();
    QVideoSink sink;
    session.display()->setVideoSink(&sink);
    const QDateTime started = session.startedAt();
    rig.clock->advance(1.0);
    rig.feed(makePicture(640, 480, AV_PIX_FMT_NV12));
    EXPECT_EQ(session.resolution(), QStringLiteral("640 \u00d7 480"));
    EXPECT_EQ(sink.videoFrame().size(), QSize(640, 480));
    EXPECT_EQ(sink.videoFrame().pixelFormat(), QVideoFrameFormat::Format_NV12);
    EXPECT_EQ(session.startedAt(), started);
}

TEST(SessionPresent, APictureInStoppingOrIdleChangesNothing) {
    SessionRig rig("exec 0<&-; while :; do sleep 0.05; done");
    rig.startStreaming(320, 240);
    StreamSession& session = rig.session();
    session.end();
    ASSERT_EQ(session.phase(), Phase::Stopping);
    const auto presented = SessionProbe::presentedCount(session);
    SessionProbe::present(session, makePicture(64, 48));
    EXPECT_EQ(SessionProbe::presentedCount(session), presented);
    EXPECT_EQ(session.resolution(), QStringLiteral("320 \u00d7 240"));
    EXPECT_FALSE(session.canRecord());
    // The display went dark at the stop.
    rig.clock->advance(7.5);
    rig.clock->advance(2.0);
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    SessionProbe::present(session, makePicture(64, 48));
    EXPECT_EQ(SessionProbe::presentedCount(session), presented);
    EXPECT_TRUE(session.resolution().isEmpty());
    EXPECT_FALSE(SessionProbe::hasLatestFrame(session));
}

TEST(SessionPresent, TheDisplayIsClearedWhenTheRunStops) {
    SessionRig rig;
    rig.startStreaming();
    StreamSession& session = rig.session();
    QVideoSink sink;
    session.display()->setVideoSink(&sink);
    rig.feed(makePicture(1280, 720));
    ASSERT_TRUE(sink.videoFrame().isValid());
    session.end();
    EXPECT_FALSE(sink.videoFrame().isValid());
}

TEST(SessionPresent, APictureTheDisplayCannotShowStopsTheRunWithTheDisplayMessage) {
    SessionRig rig;
    rig.startStreaming();
    StreamSession& session = rig.session();
    QVideoSink sink;
    session.display()->setVideoSink(&sink);
    QStringList resolutions;
    QObject::connect(&session, &StreamSession::resolutionChanged, &session,
                     [&] { resolutions << session.resolution(); });
    rig.feed(makePicture(64, 48, AV_PIX_FMT_YUV444P));
    // The state was updated before the display refused it.
    EXPECT_TRUE(resolutions.contains(QStringLiteral("64 \u00d7 48"))) << resolutions.size();
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    EXPECT_EQ(session.error(),
              QStringLiteral("The video display failed. Try starting the stream again."));
}
