// Recording and screenshot commands against the real recorder and PNG
// writer: when they are allowed, what they save (read back), and a start or
// quit that waits for a save.
#include "MediaFiles.h"
#include "Messages.h"
#include "QtText.h"
#include "SessionRig.h"
#include "TestPictures.h"

#include <QFile>
#include <gtest/gtest.h>

namespace vistrel::test {
namespace {

using Phase = StreamSession::Phase;

std::filesystem::path file(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

TEST(SessionCapture, CommandsNeedALivePictureAndNoOpenDialog) {
    SessionRig rig;
    StreamSession& session = rig.session();
    session.toggleRecording();
    session.captureScreenshot();
    rig.startConnecting();
    session.toggleRecording(); // live, but no picture yet
    session.captureScreenshot();
    EXPECT_TRUE(rig.chooser->requests.empty());
    EXPECT_FALSE(session.canRecord() || session.canScreenshot());
    rig.feed(makeNoise(320, 240, AV_PIX_FMT_YUV420P, 3));
    EXPECT_TRUE(session.canRecord() && session.canScreenshot());
    session.captureScreenshot();
    EXPECT_FALSE(session.canRecord() || session.canScreenshot());
    session.toggleRecording();
    session.captureScreenshot();
    EXPECT_EQ(rig.chooser->requests.size(), 1U);
    // The stream stalls: the open dialog closes as if cancelled, nothing is saved.
    rig.clock->advance(10.5);
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }));
    EXPECT_FALSE(rig.chooser->open);
    EXPECT_FALSE(session.isChoosingCaptureLocation() || session.isSavingScreenshot());
}

TEST(SessionCapture, AScreenshotIsOfThePictureOnScreenAtTheCommand) {
    SessionRig rig;
    rig.startStreaming(1280, 720);
    StreamSession& session = rig.session();
    session.captureScreenshot();
    EXPECT_EQ(rig.chooser->requests.back().defaultName,
              QStringLiteral("Vistrel 2026-12-05 at 16.58.14.png"));
    rig.feed(makeNoise(640, 360, AV_PIX_FMT_YUV420P, 4)); // a later picture
    const QString target = rig.path(QStringLiteral("shot.png"));
    ASSERT_TRUE(rig.chooser->answer(target));
    EXPECT_FALSE(session.canScreenshot());
    EXPECT_TRUE(session.canRecord());
    ASSERT_TRUE(waitFor([&] { return !session.isSavingScreenshot(); }));
    EXPECT_EQ(session.captureNotice(), QStringLiteral("Screenshot saved \u00b7 shot.png"));
    const PngInfo png = readPng(file(target));
    EXPECT_EQ(png.error, "");
    EXPECT_EQ(png.width, 1280);
    EXPECT_EQ(png.height, 720);
}

TEST(SessionCapture, AResolutionChangeEndsTheRecordingAndKeepsTheFile) {
    SessionRig rig;
    rig.startStreaming(320, 240);
    StreamSession& session = rig.session();
    session.toggleRecording();
    const QString target = rig.path(QStringLiteral("cut.mp4"));
    ASSERT_TRUE(rig.chooser->answer(target));
    EXPECT_EQ(session.recordingStartedAt(), rig.clock->now());
    rig.clock->advance(0.05);
    rig.feed(makeNoise(320, 240, AV_PIX_FMT_YUV420P, 5));
    rig.clock->advance(0.05);
    rig.feed(makeNoise(640, 480, AV_PIX_FMT_YUV420P, 6));
    ASSERT_TRUE(waitFor([&] { return session.error() == qs(Messages::resolutionChanged); }));
    EXPECT_FALSE(session.recordingStartedAt().isValid());
    ASSERT_TRUE(waitFor([&] { return !session.isSavingRecording(); }));
    EXPECT_EQ(session.captureNotice(), QStringLiteral("Recording saved \u00b7 cut.mp4"));
    EXPECT_EQ(session.phase(), Phase::Streaming);
    const Mp4Info movie = readMp4(file(target));
    EXPECT_EQ(movie.error, "");
    EXPECT_EQ(movie.width, 320);
    EXPECT_GE(movie.decodedFrames, 2);
}

TEST(SessionCapture, StartAndQuitWaitForASave) {
    for (const bool recording : {true, false}) {
        SCOPED_TRACE(recording ? "recording" : "screenshot");
        SessionRig rig;
        rig.startStreaming(320, 240);
        StreamSession& session = rig.session();
        const QString name = recording ? QStringLiteral("last.mp4") : QStringLiteral("last.png");
        recording ? session.toggleRecording() : session.captureScreenshot();
        ASSERT_TRUE(rig.chooser->answer(rig.path(name)));
        // The run ends the way its SSH client's exit ends it, before any save
        // can have reported back to this thread.
        SessionProbe::finish(session);
        EXPECT_EQ(session.phase(), Phase::Idle);
        EXPECT_TRUE(recording ? session.isSavingRecording() : session.isSavingScreenshot());
        EXPECT_EQ(session.canStart(), !recording);
        EXPECT_TRUE(session.requiresTerminationWait());

        std::optional<bool> savingAtQuit;
        session.end([&] { savingAtQuit = session.requiresTerminationWait(); });
        ASSERT_TRUE(waitFor([&] { return savingAtQuit.has_value(); }));
        EXPECT_EQ(savingAtQuit, false);
        EXPECT_TRUE(session.canStart());
        EXPECT_EQ(session.captureNotice(),
                  (recording ? QStringLiteral("Recording") : QStringLiteral("Screenshot")) +
                      QStringLiteral(" saved \u00b7 ") + name);
    }
}

} // namespace
} // namespace vistrel::test
