// Recording and screenshot commands against the real recorder and PNG
// writer: gating, the save dialog's request, the files written and read
// back, the notices and errors, and a quit that waits for a save.
#include "Messages.h"
#include "QtText.h"
#include "SessionRig.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardPaths>
#include <gtest/gtest.h>

using vistrel::qs;
using vistrel::StreamSession;
using vistrel::test::makePicture;
using vistrel::test::readMovie;
using vistrel::test::readPng;
using vistrel::test::SessionRig;
using vistrel::test::waitFor;
using Phase = vistrel::StreamSession::Phase;
namespace Messages = vistrel::Messages;

TEST(SessionCapture, CommandsDoNothingUnlessStreamingWithAPicture) {
    SessionRig rig;
    StreamSession& session = rig.session();
    session.toggleRecording();
    session.captureScreenshot();
    rig.startConnecting();
    session.toggleRecording();
    session.captureScreenshot();
    EXPECT_TRUE(rig.chooser->requests.empty());
    EXPECT_FALSE(session.canRecord());
    EXPECT_FALSE(session.canScreenshot());
}

TEST(SessionCapture, AnOpenDialogBlocksBothCommands) {
    SessionRig rig;
    rig.startStreaming();
    StreamSession& session = rig.session();
    session.captureScreenshot();
    ASSERT_TRUE(session.isChoosingCaptureLocation());
    EXPECT_FALSE(session.canRecord());
    EXPECT_FALSE(session.canScreenshot());
    session.toggleRecording();
    session.captureScreenshot();
    EXPECT_EQ(rig.chooser->requests.size(), 1U);
    rig.chooser->answer(std::nullopt);
    EXPECT_FALSE(session.isChoosingCaptureLocation());
    EXPECT_TRUE(session.canRecord());
    EXPECT_TRUE(session.error().isEmpty());
    EXPECT_TRUE(session.captureNotice().isEmpty());
}

TEST(SessionCapture, DialogsOfferATimestampedNameInTheMoviesOrPicturesFolder) {
    SessionRig rig;
    rig.startStreaming();
    StreamSession& session = rig.session();
    session.toggleRecording();
    rig.chooser->answer(std::nullopt);
    rig.clock->advance(1.0);
    session.captureScreenshot();
    rig.chooser->answer(std::nullopt);
    ASSERT_EQ(rig.chooser->requests.size(), 2U);
    const auto& recording = rig.chooser->requests[0];
    const auto& screenshot = rig.chooser->requests[1];
    EXPECT_EQ(recording.title, QStringLiteral("Save Recording"));
    EXPECT_EQ(recording.extension, QStringLiteral("mp4"));
    EXPECT_EQ(recording.defaultName, QStringLiteral("Vistrel 2026-12-05 at 16.58.14.mp4"));
    EXPECT_EQ(recording.folder,
              QStandardPaths::standardLocations(QStandardPaths::MoviesLocation).value(0));
    EXPECT_EQ(screenshot.title, QStringLiteral("Save Screenshot"));
    EXPECT_EQ(screenshot.extension, QStringLiteral("png"));
    EXPECT_EQ(screenshot.defaultName, QStringLiteral("Vistrel 2026-12-05 at 16.58.15.png"));
    EXPECT_EQ(screenshot.folder,
              QStandardPaths::standardLocations(QStandardPaths::PicturesLocation).value(0));
}

TEST(SessionCapture, AScreenshotSavesThePictureOnScreenAtTheCommand) {
    SessionRig rig;
    rig.startStreaming(1280, 720);
    StreamSession& session = rig.session();
    session.captureScreenshot();
    rig.feed(makePicture(640, 360)); // a later, different picture
    const QString target = rig.path("shot.png");
    ASSERT_TRUE(rig.chooser->answer(target));
    EXPECT_TRUE(session.isSavingScreenshot());
    EXPECT_FALSE(session.canScreenshot());
    EXPECT_TRUE(session.canRecord()); // a recording may start meanwhile
    ASSERT_TRUE(waitFor([&] { return !session.isSavingScreenshot(); }));
    EXPECT_TRUE(session.error().isEmpty());
    EXPECT_EQ(session.captureNotice(), QStringLiteral("Screenshot saved \u00b7 shot.png"));
    EXPECT_EQ(session.lastCaptureURL(), QUrl::fromLocalFile(target));
    const auto png = readPng(target.toStdString());
    ASSERT_EQ(png.error, "");
    EXPECT_EQ(png.width, 1280);
    EXPECT_EQ(png.height, 720);

    session.revealLastCapture();
    EXPECT_EQ(rig.revealer->revealed, QStringList{target});
}

TEST(SessionCapture, TheStreamEndingByItselfClosesAnOpenScreenshotDialog) {
    SessionRig rig;
    rig.startStreaming(320, 240);
    StreamSession& session = rig.session();
    session.captureScreenshot();
    // The stream ends by itself (not through end(), which closes the dialog).
    rig.clock->advance(10.5);
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    // finish() closed the dialog like a cancel: nothing saved, nothing reported.
    EXPECT_FALSE(session.isChoosingCaptureLocation());
    EXPECT_GE(rig.chooser->cancels, 1);
    EXPECT_FALSE(rig.chooser->answer(rig.path("late.png")));
    EXPECT_FALSE(QFileInfo::exists(rig.path("late.png")));
}

TEST(SessionCapture, AFailedScreenshotIsReportedWithItsKind) {
    SessionRig rig;
    rig.startStreaming(320, 240);
    StreamSession& session = rig.session();
    session.captureScreenshot();
    ASSERT_TRUE(rig.chooser->answer(rig.path("missing-folder/shot.png")));
    ASSERT_TRUE(waitFor([&] { return !session.isSavingScreenshot(); }));
    EXPECT_TRUE(session.error().startsWith(QStringLiteral("Screenshot: ")))
        << session.error().toStdString();
    EXPECT_TRUE(session.captureNotice().isEmpty());
    EXPECT_EQ(session.phase(), Phase::Streaming);
}

TEST(SessionCapture, ARecordingStartsWithThePictureOnScreenAndIsReadBack) {
    SessionRig rig;
    rig.startStreaming(320, 240);
    StreamSession& session = rig.session();
    session.toggleRecording();
    const QString target = rig.path("clip.mp4");
    ASSERT_TRUE(rig.chooser->answer(target));
    ASSERT_TRUE(session.recordingStartedAt().isValid());
    EXPECT_EQ(session.recordingStartedAt(), rig.clock->now());
    EXPECT_TRUE(session.requiresTerminationWait());
    EXPECT_TRUE(session.captureNotice().isEmpty());
    for (int i = 0; i < 30; ++i) {
        rig.clock->advance(0.05);
        rig.feed(makePicture(320, 240, AV_PIX_FMT_YUV420P, static_cast<std::uint8_t>(i * 8)));
        vistrel::test::waitFor([] { return false; }, std::chrono::milliseconds(5));
    }
    session.toggleRecording();
    EXPECT_FALSE(session.recordingStartedAt().isValid());
    EXPECT_TRUE(session.isSavingRecording());
    EXPECT_FALSE(session.canRecord());
    EXPECT_TRUE(session.canScreenshot());
    EXPECT_EQ(rig.chooser->requests.size(), 1U); // stopping asks nothing
    ASSERT_TRUE(waitFor([&] { return !session.isSavingRecording(); }));
    EXPECT_TRUE(session.error().isEmpty()) << session.error().toStdString();
    EXPECT_EQ(session.captureNotice(), QStringLiteral("Recording saved \u00b7 clip.mp4"));
    EXPECT_EQ(session.lastCaptureURL(), QUrl::fromLocalFile(target));
    const auto movie = readMovie(target.toStdString(), false);
    ASSERT_EQ(movie.error, "");
    EXPECT_EQ(movie.width, 320);
    EXPECT_EQ(movie.height, 240);
    EXPECT_GE(movie.pts.size(), 2U);
}

TEST(SessionCapture, ARecordingThatCannotStartReportsWhy) {
    SessionRig rig;
    rig.startStreaming(320, 240);
    StreamSession& session = rig.session();
    session.toggleRecording();
    ASSERT_TRUE(rig.chooser->answer(rig.path("no/such/folder/clip.mp4")));
    EXPECT_TRUE(session.error().startsWith(QStringLiteral("Could not start recording: ")))
        << session.error().toStdString();
    EXPECT_FALSE(session.recordingStartedAt().isValid());
    EXPECT_FALSE(session.isSavingRecording());
    EXPECT_EQ(session.phase(), Phase::Streaming);
}

TEST(SessionCapture, AResolutionChangeEndsTheRecordingWithItsMessageAndKeepsWhatWasRecorded) {
    SessionRig rig;
    rig.startStreaming(320, 240);
    StreamSession& session = rig.session();
    session.toggleRecording();
    const QString target = rig.path("cut.mp4");
    ASSERT_TRUE(rig.chooser->answer(target));
    for (int i = 0; i < 5; ++i) {
        rig.clock->advance(0.05);
        rig.feed(makePicture(320, 240));
        vistrel::test::waitFor([] { return false; }, std::chrono::milliseconds(5));
    }
    rig.clock->advance(0.05);
    rig.feed(makePicture(640, 480));
    ASSERT_TRUE(waitFor([&] { return !session.error().isEmpty(); }));
    EXPECT_EQ(session.error(), qs(Messages::resolutionChanged));
    EXPECT_FALSE(session.recordingStartedAt().isValid());
    ASSERT_TRUE(waitFor([&] { return !session.isSavingRecording(); }));
    EXPECT_EQ(session.captureNotice(), QStringLiteral("Recording saved \u00b7 cut.mp4"));
    EXPECT_EQ(session.phase(), Phase::Streaming);
    EXPECT_EQ(readMovie(target.toStdString(), false).error, "");
}

TEST(SessionCapture, EndingTheStreamClosesTheDialogAndStartsNoRecording) {
    SessionRig rig;
    rig.startStreaming();
    StreamSession& session = rig.session();
    session.toggleRecording();
    ASSERT_TRUE(rig.chooser->isOpen());
    session.end();
    EXPECT_FALSE(rig.chooser->isOpen());
    EXPECT_FALSE(session.isChoosingCaptureLocation());
    EXPECT_FALSE(session.recordingStartedAt().isValid());
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    EXPECT_TRUE(session.error().isEmpty());
}

TEST(SessionCapture, StoppingTheStreamSavesTheRecordingAndHoldsUpStartAndQuit) {
    SessionRig rig;
    rig.startStreaming(320, 240);
    StreamSession& session = rig.session();
    session.toggleRecording();
    ASSERT_TRUE(rig.chooser->answer(rig.path("stop.mp4")));
    rig.clock->advance(0.1);
    rig.feed(makePicture(320, 240));

    std::vector<std::pair<Phase, bool>> seenAtCompletion;
    session.end(
        [&] { seenAtCompletion.emplace_back(session.phase(), session.isSavingRecording()); });
    EXPECT_FALSE(session.recordingStartedAt().isValid());
    EXPECT_TRUE(session.isSavingRecording());
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    if (session.isSavingRecording()) {
        EXPECT_FALSE(session.canStart());
        EXPECT_TRUE(session.requiresTerminationWait());
    }
    ASSERT_TRUE(waitFor([&] { return !seenAtCompletion.empty(); }));
    EXPECT_EQ(seenAtCompletion.size(), 1U);
    EXPECT_EQ(seenAtCompletion.front(), std::make_pair(Phase::Idle, false));
    EXPECT_TRUE(session.canStart());
    EXPECT_EQ(session.captureNotice(), QStringLiteral("Recording saved \u00b7 stop.mp4"));
}

TEST(SessionCapture, AQuitWaitsForAScreenshotBeingSaved) {
    SessionRig rig;
    rig.startStreaming();
    StreamSession& session = rig.session();
    session.captureScreenshot();
    ASSERT_TRUE(rig.chooser->answer(rig.path("quit.png")));
    ASSERT_TRUE(session.isSavingScreenshot());

    std::vector<bool> savingAtCompletion;
    session.end([&] { savingAtCompletion.push_back(session.isSavingScreenshot()); });
    ASSERT_TRUE(waitFor([&] { return !savingAtCompletion.empty(); }));
    EXPECT_EQ(savingAtCompletion, std::vector<bool>{false});
    EXPECT_EQ(session.phase(), Phase::Idle);
    EXPECT_EQ(session.captureNotice(), QStringLiteral("Screenshot saved \u00b7 quit.png"));
    EXPECT_TRUE(QFileInfo::exists(rig.path("quit.png")));
}

TEST(SessionCapture, ANewRecordingClearsTheLastNoticeAndNothingIsRevealedWithoutACapture) {
    SessionRig rig;
    rig.startStreaming(320, 240);
    StreamSession& session = rig.session();
    session.revealLastCapture();
    EXPECT_TRUE(rig.revealer->revealed.isEmpty());

    session.captureScreenshot();
    ASSERT_TRUE(rig.chooser->answer(rig.path("a.png")));
    ASSERT_TRUE(waitFor([&] { return !session.captureNotice().isEmpty(); }));
    session.toggleRecording();
    EXPECT_FALSE(session.captureNotice().isEmpty()); // still choosing
    ASSERT_TRUE(rig.chooser->answer(rig.path("b.mp4")));
    EXPECT_TRUE(session.captureNotice().isEmpty());
    EXPECT_TRUE(session.lastCaptureURL().isEmpty());
    session.dismissCaptureNotice();
    session.toggleRecording();
    ASSERT_TRUE(waitFor([&] { return !session.isSavingRecording(); }));
}

TEST(SessionCapture, WhileARecordingIsSavedAfterTheRunNoNewRunCanStart) {
    SessionRig rig;
    rig.startStreaming(320, 240);
    StreamSession& session = rig.session();
    session.toggleRecording();
    ASSERT_TRUE(rig.chooser->answer(rig.path("last.mp4")));
    rig.clock->advance(0.1);
    rig.feed(makePicture(320, 240));
    QSignalSpy canStart(&session, &StreamSession::canStartChanged);
    // The run is torn down the way its SSH client's exit tears it down.
    vistrel::SessionProbe::finish(session);
    EXPECT_EQ(session.phase(), Phase::Idle);
    EXPECT_TRUE(session.isSavingRecording());
    EXPECT_FALSE(session.canStart());
    EXPECT_TRUE(session.requiresTerminationWait());
    EXPECT_EQ(canStart.count(), 0);
    ASSERT_TRUE(waitFor([&] { return !session.isSavingRecording(); }));
    EXPECT_TRUE(session.canStart());
    EXPECT_FALSE(session.requiresTerminationWait());
    EXPECT_EQ(canStart.count(), 1);
    EXPECT_EQ(session.captureNotice(), QStringLiteral("Recording saved \u00b7 last.mp4"));
}
