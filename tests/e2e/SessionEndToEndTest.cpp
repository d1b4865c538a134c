// The whole road against the simulated headset: the real /usr/bin/ssh logs
// in, the remote script starts the encoder, pictures arrive over UDP and are
// decoded, shown, recorded and saved, and End leaves nothing running, even
// when the script on the headset hears nothing.
#include "HeadsetSimulator.h"
#include "SessionRig.h"
#include "support/PrivateFolder.h"

#include <QSize>
#include <gtest/gtest.h>

namespace vistrel::test {
namespace {

using Phase = StreamSession::Phase;
using namespace std::chrono_literals;

void recordAndSaveAPicture(HeadsetSimulator& headset, SessionRig& rig, StreamSession& session) {
    EXPECT_EQ(
        session.receivingAddress(),
        QStringLiteral("%1:%2").arg(QString::fromStdString(headset.localAddress())).arg(rig.port));

    // A recording while 40 more pictures are shown (2 s of the headset's
    // 20 a second), then a screenshot; both read back.
    session.toggleRecording();
    ASSERT_TRUE(rig.chooser->answer(rig.path(QStringLiteral("clip.mp4"))));
    const auto shown = session.picturesShown();
    ASSERT_TRUE(waitFor([&] { return session.picturesShown() >= shown + 40; }));
    session.toggleRecording();
    session.captureScreenshot();
    ASSERT_TRUE(rig.chooser->answer(rig.path(QStringLiteral("shot.png"))));
    ASSERT_TRUE(
        waitFor([&] { return !session.isSavingRecording() && !session.isSavingScreenshot(); }));
    const Movie movie = readMovie(rig.file(QStringLiteral("clip.mp4")));
    EXPECT_EQ(movie.error, "");
    EXPECT_EQ(QSize(movie.width, movie.height), QSize(1280, 720));
    EXPECT_GE(movie.pictures.size(), 30U);
    const Png png = readPng(rig.file(QStringLiteral("shot.png")));
    EXPECT_EQ(png.error, "");
    EXPECT_EQ(QSize(png.width, png.height), QSize(1280, 720));
}

struct Row {
    const char* name;
    bool realClock; // otherwise the test clock drives the deadlines
    std::string size;
    std::function<void(HeadsetSimulator&, SessionRig&, StreamSession&)> act; // then End
    friend void PrintTo(const Row& run, std::ostream* out) { *out << run.name; }
};

class SessionEndToEnd : public testing::TestWithParam<Row> {};

TEST_P(SessionEndToEnd, EndsIdleLeavingNothingRunning) {
    const Row& run = GetParam();
    HeadsetSimulator h({.size = run.size});
    // The real client, deaf to the terminate signal: the kill ends it late.
    SessionRig rig("trap '' TERM; exec /usr/bin/ssh \"$@\"");
    rig.realClock = run.realClock;
    for (const auto& [name, value] : h.agentEnvironment()) { // its key, and its host key trusted
        qputenv(name.c_str(), QByteArray::fromStdString(value));
    }
    PrivateFolder::create(rig.file(QStringLiteral("data/Vistrel")));
    writeFile(rig.file(QStringLiteral("data/Vistrel/known_hosts")), h.knownHostsLine() + "\n");
    StreamSession& s = rig.make(QString::fromStdString(h.headsetAddress()));
    s.start();
    ASSERT_TRUE(waitFor([&] { return s.phase() == Phase::Streaming; }, 60s))
        << s.diagnostics().toStdString();
    EXPECT_EQ(s.resolution(), QString::fromStdString(run.size).replace("x", " \u00d7 "));
    const auto ssh = static_cast<pid_t>(s.channel().processId());
    run.act(h, rig, s);
    if (s.phase() == Phase::Streaming) { // pictures keep coming; End
        const auto shown = s.picturesShown() + 20;
        EXPECT_TRUE(waitFor([&] { return s.picturesShown() >= shown; }));
        s.end();
        EXPECT_EQ(s.phase(), Phase::Stopping);
    }
    ASSERT_TRUE(waitFor([&] { return s.phase() == Phase::Idle; }));
    EXPECT_EQ(s.error(), "") << s.diagnostics().toStdString();
    EXPECT_NE(::kill(ssh, 0), 0);
    EXPECT_TRUE(h.waitUntilGone("ffmpeg|sshd: steamos", 30s)) << h.processes();
    for (const std::string& name : listFolder(rig.file(QStringLiteral(".")))) {
        EXPECT_NE(name.front(), '.') << name; // no working file left behind
    }
}

INSTANTIATE_TEST_SUITE_P(
    , SessionEndToEnd,
    testing::Values(Row{"RecordAndSaveAPicture", true, "1280x720", recordAndSaveAPicture},
                    // The script on the headset hears neither STOP nor the end of its input.
                    Row{"HeadsetIgnoresStop", false, "320x240",
                        [](HeadsetSimulator& h, SessionRig& rig, StreamSession& s) {
                            ASSERT_GE(h.signalProcesses("bash", SIGSTOP), 1);
                            s.end();
                            rig.clock->advance(9.4); // terminated at the first tick past 7 s,
                            EXPECT_FALSE(waitFor([&] { return s.phase() == Phase::Idle; }, 500ms));
                            rig.clock->advance(0.1); // and killed 2 s later
                            h.signalProcesses("bash", SIGCONT);
                        }}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace vistrel::test
