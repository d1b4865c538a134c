// The whole road against the simulated headset: the real /usr/bin/ssh logs
// in, the remote script starts the encoder, pictures arrive over UDP and are
// decoded, shown, recorded and saved, and End leaves nothing running.
#include "HeadsetSimulator.h"
#include "SessionRig.h"
#include "support/PrivateFolder.h"

#include <gtest/gtest.h>

namespace vistrel::test {
namespace {

using Phase = StreamSession::Phase;
using namespace std::chrono_literals;

std::filesystem::path file(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

TEST(SessionEndToEnd, StreamRecordSaveAPictureAndEndLeavingNothingRunning) {
    if (const std::string reason = HeadsetSimulator::skipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    HeadsetSimulator headset;
    for (const auto& [name, value] : headset.agentEnvironment()) {
        qputenv(name.c_str(), QByteArray::fromStdString(value));
    }
    SessionRig rig;
    rig.sshProgram = QStringLiteral("/usr/bin/ssh");
    rig.realClock = true;
    const QString folder = rig.path(QStringLiteral("data/Vistrel"));
    PrivateFolder::create(QFile::encodeName(folder).toStdString());
    writeFile(file(folder + QStringLiteral("/known_hosts")), headset.knownHostsLine() + "\n");
    StreamSession& session = rig.make(QString::fromStdString(headset.headsetAddress()));
    std::vector<Phase> phases;
    QObject::connect(&session, &StreamSession::phaseChanged, &session,
                     [&] { phases.push_back(session.phase()); });

    session.start();
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Streaming; }, 60s))
        << session.error().toStdString() << "\n"
        << session.diagnostics().toStdString();
    EXPECT_EQ(phases, (std::vector{Phase::Connecting, Phase::Waiting, Phase::Streaming}));
    EXPECT_EQ(session.resolution(), QStringLiteral("1280 \u00d7 720"));
    EXPECT_EQ(
        session.receivingAddress(),
        QStringLiteral("%1:%2").arg(QString::fromStdString(headset.localAddress())).arg(rig.port));
    const qint64 ssh = SessionProbe::processId(session);

    // A recording while 40 more pictures are shown (2 s of the headset's
    // 20 a second), then a screenshot; both read back.
    session.toggleRecording();
    ASSERT_TRUE(rig.chooser->answer(rig.path(QStringLiteral("clip.mp4"))));
    const auto shown = SessionProbe::presentedCount(session);
    ASSERT_TRUE(waitFor([&] { return SessionProbe::presentedCount(session) >= shown + 40; }));
    session.toggleRecording();
    session.captureScreenshot();
    ASSERT_TRUE(rig.chooser->answer(rig.path(QStringLiteral("shot.png"))));
    ASSERT_TRUE(
        waitFor([&] { return !session.isSavingRecording() && !session.isSavingScreenshot(); }));
    EXPECT_EQ(session.error(), QString());
    const Movie movie = readMovie(file(rig.path(QStringLiteral("clip.mp4"))));
    EXPECT_EQ(movie.error, "");
    EXPECT_EQ(QSize(movie.width, movie.height), QSize(1280, 720));
    EXPECT_GE(movie.pictures.size(), 30U);
    const Png png = readPng(file(rig.path(QStringLiteral("shot.png"))));
    EXPECT_EQ(png.error, "");
    EXPECT_EQ(QSize(png.width, png.height), QSize(1280, 720));

    // End: the remote script stops the encoder and the client leaves.
    session.end();
    EXPECT_EQ(session.phase(), Phase::Stopping);
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Idle; }, 20s));
    EXPECT_EQ(session.error(), QString());
    EXPECT_TRUE(headset.waitUntilGone("ffmpeg", 10s));
    EXPECT_NE(::kill(static_cast<pid_t>(ssh), 0), 0);
}

} // namespace
} // namespace vistrel::test
