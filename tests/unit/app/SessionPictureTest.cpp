#include "Messages.h"
#include "SessionRig.h"
#include "session/FrameMailbox.h"
#include "session/QtText.h"
#include "session/SessionMessages.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace vistrel::test {
namespace {

TEST(FrameMailbox, AProducerRacingTheGuiThreadAsksForOneDeliveryAndKeepsTheNewest) {
    FrameMailbox mailbox;
    std::vector<PixelBuffer> pictures;
    for (std::uint32_t i = 0; i < 8; ++i) {
        pictures.push_back(makeNoise(16, 16, i));
    }
    constexpr int count = 20000;
    std::atomic<int> asked{0}; // deliveries asked for and not yet run
    std::atomic<bool> twoAsked{false};
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int i = 0; i < count; ++i) {
            if (mailbox.post(pictures[static_cast<std::size_t>(i % 8)]) && ++asked > 1) {
                twoAsked = true;
            }
        }
        done = true;
    });
    PixelBuffer last;
    std::uint64_t taken = 0;
    while (!done || asked > 0) {
        if (asked > 0) { // a delivery runs and takes what is there
            --asked;
            if (PixelBuffer picture = mailbox.take(); !picture.empty()) {
                last = std::move(picture);
                ++taken;
            }
        }
    }
    producer.join();
    EXPECT_FALSE(twoAsked);
    EXPECT_EQ(taken + mailbox.dropped(), static_cast<std::uint64_t>(count));
    EXPECT_EQ(last.frame(), pictures[(count - 1) % 8].frame());
}

// Capture commands need a live picture and no open dialog. Of a flurry only the newest picture is
// shown, itself; a layout the window cannot show ends the stream, its picture and dialog.
TEST(SessionPicture, CommandsWaitForAPictureAndTheNewestOfAFlurryIsShownItselfUntilTheStop) {
    SessionRig rig;
    StreamSession& session = rig.session();
    session.toggleRecording();
    session.captureScreenshot();
    rig.startConnecting();
    session.toggleRecording(); // live, but no picture yet
    session.captureScreenshot();
    EXPECT_TRUE(rig.chooser->requests.empty());
    EXPECT_FALSE(session.canRecord() || session.canScreenshot());
    const auto onFrame = session.receiver()->frameCallback();
    const PixelBuffer newest = makeNoise(202, 148, 3);
    std::thread([&] {
        onFrame(makeNoise(320, 180, 1));
        onFrame(makeNoise(640, 360, 2));
        onFrame(newest);
    }).join();
    ASSERT_TRUE(waitFor([&] { return session.picturesShown() > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(session.picturesShown(), 1U);
    EXPECT_EQ(session.display()->current().frame(), newest.frame()); // not a copy
    EXPECT_TRUE(session.canRecord() && session.canScreenshot());
    session.captureScreenshot();
    EXPECT_FALSE(session.canRecord() || session.canScreenshot());
    session.toggleRecording();
    session.captureScreenshot();
    ASSERT_EQ(rig.chooser->requests.size(), 1U);
    EXPECT_EQ(rig.chooser->requests[0].defaultName, "Vistrel 2026-12-05 at 16.58.14.png");
    rig.feed(makePicture(320, 240, AV_PIX_FMT_YUV444P));
    EXPECT_EQ(session.error(), qs(SessionMessages::displayFailed));
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    EXPECT_TRUE(session.display()->current().empty());
    EXPECT_FALSE(rig.chooser->open); // closed as if cancelled: nothing is saved
    EXPECT_FALSE(session.isChoosingCaptureLocation() || session.isSavingScreenshot());
}

TEST(SessionCapture, AResolutionChangeEndsTheRecordingAndKeepsTheFile) {
    SessionRig rig;
    rig.startConnecting();
    rig.feed(makeNoise(320, 240, 1));
    StreamSession& session = rig.session();
    session.toggleRecording();
    rig.chooser->answer(rig.path("cut.mp4"));
    EXPECT_EQ(session.recordingStartedAt(), rig.clock->now());
    rig.clock->advance(0.05);
    rig.feed(makeNoise(320, 240, 5));
    rig.clock->advance(0.05);
    rig.feed(makeNoise(640, 480, 6));
    ASSERT_TRUE(waitFor([&] { return session.error() == qs(Messages::resolutionChanged); }));
    EXPECT_FALSE(session.recordingStartedAt().isValid());
    ASSERT_TRUE(waitFor([&] { return !session.isSavingRecording(); }));
    EXPECT_EQ(session.captureNotice(), "Recording saved \u00b7 cut.mp4");
    EXPECT_EQ(session.phase(), Phase::Streaming);
    const Movie movie = readMovie(rig.file("cut.mp4"));
    EXPECT_EQ(movie.width, 320);
    EXPECT_GE(movie.pictures.size(), 2U);
}

// Saves hold the picture at the command and outlive the run; a start waits only for recordings.
TEST(SessionCapture, SavesAreOfThePictureAtTheCommandAndStartAndQuitWaitForThem) {
    for (const QString name : {"last.mp4", "last.png"}) {
        const bool recording = name.endsWith("mp4");
        SessionRig rig;
        rig.startConnecting();
        rig.feed(makeNoise(320, 240, 1));
        StreamSession& session = rig.session();
        recording ? session.toggleRecording() : session.captureScreenshot();
        if (!recording) {
            rig.feed(makeNoise(64, 48, 4)); // shown while the dialog is open
        }
        rig.chooser->answer(rig.path(name));
        EXPECT_EQ(session.canScreenshot(), recording);
        // The run ends as its client's exit ends it, before any save can have reported back.
        emit session.channel().exited(0);
        EXPECT_EQ(session.phase(), Phase::Idle);
        EXPECT_TRUE(recording ? session.isSavingRecording() : session.isSavingScreenshot());
        EXPECT_EQ(session.canStart(), !recording) << name.toStdString();
        EXPECT_TRUE(session.requiresTerminationWait());
        std::optional<bool> waitingAtQuit;
        session.end([&] { waitingAtQuit = session.requiresTerminationWait(); });
        ASSERT_TRUE(waitFor([&] { return waitingAtQuit.has_value(); }));
        EXPECT_EQ(waitingAtQuit, false);
        EXPECT_TRUE(session.canStart());
        EXPECT_TRUE(session.captureNotice().endsWith(" saved \u00b7 " + name));
        EXPECT_EQ(recording ? readMovie(rig.file(name)).width : readPng(rig.file(name)).width, 320);
    }
}

} // namespace
} // namespace vistrel::test
