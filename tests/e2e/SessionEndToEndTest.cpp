// The whole road against the simulated headset: the real /usr/bin/ssh logs
// in, the remote script starts the encoder, pictures arrive over UDP and are
// decoded, shown, recorded and saved, and End leaves nothing running. Each
// fault of the network or the headset ends idle with its sentence too.
#include "DatagramLoss.h"
#include "HeadsetSimulator.h"
#include "Messages.h"
#include "SessionRig.h"
#include "session/QtText.h"
#include "session/SessionMessages.h"
#include "support/PrivateFolder.h"

#include <QSize>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <random>

// AddressSanitizer's count of live heap bytes; null in a build without it.
extern "C" [[gnu::weak]] std::size_t __sanitizer_get_current_allocated_bytes(); // NOLINT

namespace vistrel::test {
namespace {

using Phase = StreamSession::Phase;
using namespace std::chrono_literals;

std::filesystem::path file(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The session on the rig's ssh program, for a headset whose key it trusts.
StreamSession& trustingSession(SessionRig& rig, const HeadsetSimulator& headset) {
    for (const auto& [name, value] : headset.agentEnvironment()) {
        qputenv(name.c_str(), QByteArray::fromStdString(value));
    }
    const QString folder = rig.path(QStringLiteral("data/Vistrel"));
    PrivateFolder::create(QFile::encodeName(folder).toStdString());
    writeFile(file(folder + QStringLiteral("/known_hosts")), headset.knownHostsLine() + "\n");
    return rig.make(QString::fromStdString(headset.headsetAddress()));
}

void recordAndSaveAPicture(HeadsetSimulator& headset, SessionRig& rig, StreamSession& session) {
    EXPECT_EQ(
        session.receivingAddress(),
        QStringLiteral("%1:%2").arg(QString::fromStdString(headset.localAddress())).arg(rig.port));

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
}

// Sends datagrams[i % size] for i < count from `from`, any address (root
// may), paced by turns of the event loop, which keep pictures being shown.
void sendFrom(const std::string& from, const HeadsetSimulator& h, std::uint16_t port,
              const std::vector<Bytes>& datagrams, std::size_t count) {
    const UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    ::setsockopt(fd.get(), SOL_IP, IP_TRANSPARENT, &on, sizeof on);
    sockaddr_in address{AF_INET, 0, {::inet_addr(from.c_str())}, {}};
    ASSERT_EQ(::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    address = {AF_INET, htons(port), {::inet_addr(h.localAddress().c_str())}, {}};
    for (std::size_t i = 0; i < count; ++i) {
        const Bytes& datagram = datagrams[i % datagrams.size()];
        ::sendto(fd.get(), datagram.data(), datagram.size(), 0,
                 reinterpret_cast<const sockaddr*>(&address), sizeof address);
        waitFor([] { return false; }, std::chrono::milliseconds(i % 20 == 19 ? 1 : 0));
    }
}

struct Row {
    using Act = std::function<void(HeadsetSimulator&, SessionRig&, StreamSession&)>;
    Row(const char* n, bool clock, HeadsetSimulatorOptions options, std::string error, Act a)
        : name(n), realClock(clock), headset(std::move(options)), sentence(std::move(error)),
          act(std::move(a)) {}
    const char* name;
    bool realClock; // otherwise the test clock drives the deadlines
    HeadsetSimulatorOptions headset;
    std::string sentence; // the session's error once idle
    Act act;              // from streaming on; then End
    friend void PrintTo(const Row& run, std::ostream* out) { *out << run.name; }
};

class SessionEndToEnd : public testing::TestWithParam<Row> {};

TEST_P(SessionEndToEnd, EndsIdleWithItsSentenceLeavingNothingRunning) {
    if (const std::string reason = HeadsetSimulator::skipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    const Row& run = GetParam();
    HeadsetSimulator h(run.headset);
    // The real client, deaf to the terminate signal: the kill ends it late.
    SessionRig rig("trap '' TERM; exec /usr/bin/ssh \"$@\"");
    rig.realClock = run.realClock;
    StreamSession& s = trustingSession(rig, h);
    std::vector<Phase> phases;
    QObject::connect(&s, &StreamSession::phaseChanged, &s, [&] { phases.push_back(s.phase()); });
    s.start();
    ASSERT_TRUE(waitFor([&] { return s.phase() == Phase::Streaming; }, 60s))
        << s.diagnostics().toStdString();
    EXPECT_EQ(phases, (std::vector{Phase::Connecting, Phase::Waiting, Phase::Streaming}));
    EXPECT_EQ(s.resolution(), QString::fromStdString(run.headset.size).replace("x", " \u00d7 "));
    const auto ssh = static_cast<pid_t>(SessionProbe::processId(s));
    const auto heap = [asan = &__sanitizer_get_current_allocated_bytes] { // live bytes
        return asan != nullptr ? asan() : mallinfo2().uordblks;
    };
    const std::size_t before = heap();
    run.act(h, rig, s);
    if (s.phase() == Phase::Streaming) { // pictures keep coming, memory stays bounded; End
        const auto shown = SessionProbe::presentedCount(s) + 20;
        EXPECT_TRUE(waitFor([&] { return SessionProbe::presentedCount(s) >= shown; }));
        EXPECT_LT(heap(), before + (32 << 20));
        s.end();
        EXPECT_EQ(s.phase(), Phase::Stopping);
    }
    ASSERT_TRUE(waitFor([&] { return s.phase() == Phase::Idle; }));
    EXPECT_EQ(s.error(), qs(run.sentence)) << s.diagnostics().toStdString();
    EXPECT_NE(::kill(ssh, 0), 0);
    EXPECT_TRUE(h.waitUntilGone("ffmpeg|sshd: steamos", 30s)) << h.processes();
    for (const std::string& name : listFolder(rig.file(QStringLiteral(".")))) {
        EXPECT_NE(name.front(), '.') << name; // no working file left behind
    }
}

INSTANTIATE_TEST_SUITE_P(
    , SessionEndToEnd,
    testing::Values(
        Row("RecordAndSaveAPicture", true, {}, "", recordAndSaveAPicture),
        Row("SshClientKilledFromOutside", false, {.size = "320x240"},
            Messages::connectionEnded(SIGKILL),
            [](HeadsetSimulator&, SessionRig&, StreamSession& s) {
                ::kill(static_cast<pid_t>(SessionProbe::processId(s)), SIGKILL);
                EXPECT_TRUE(waitFor([&] { return s.phase() == Phase::Idle; }));
            }),
        // The script on the headset hears neither STOP nor the end of its input.
        Row("HeadsetIgnoresStop", false, {.size = "320x240"}, "",
            [](HeadsetSimulator& h, SessionRig& rig, StreamSession& s) {
                ASSERT_GE(h.signalProcesses("bash", SIGSTOP), 1);
                s.end();
                rig.clock->advance(9.4); // terminated at the first tick past 7 s,
                EXPECT_FALSE(waitFor([&] { return s.phase() == Phase::Idle; }, 500ms));
                rig.clock->advance(0.1); // and killed 2 s later
                h.signalProcesses("bash", SIGCONT);
            }),
        // Another stream's datagrams, none of which may reach the demuxer.
        Row("FloodFromASecondAddress", true, {.size = "320x240"}, "",
            [](HeadsetSimulator& h, SessionRig& rig, StreamSession& s) {
                std::string from = h.headsetAddress();
                from.back() = '3';
                const auto shown = SessionProbe::presentedCount(s);
                sendFrom(from, h, rig.port, testStream("256x144").datagrams, 100000);
                EXPECT_GE(SessionProbe::presentedCount(s), shown + 20);
                const auto received = SessionProbe::receiver(s)->statistics();
                EXPECT_GE(received.ignoredDatagrams + received.kernelDrops, 100000U);
            }),
        // Noise; pieces of an MPEG-2 video stream (its PMT, other counters), every
        // other one with its packets errored; empty and largest datagrams; a PES never ending.
        Row("GarbageFromTheHeadsetsAddress", true, {.size = "320x240"}, "",
            [](HeadsetSimulator& h, SessionRig& rig, StreamSession&) {
                const std::string ts =
                    runProcess({"ffmpeg", "-f", "lavfi", "-i", "testsrc2=s=64x64:d=1", "-c:v",
                                "mpeg2video", "-f", "mpegts", "-"})
                        .out;
                Bytes noise(65507);
                std::generate(noise.begin(), noise.end(), std::mt19937(5));
                std::vector<Bytes> hostile;
                for (std::size_t i = 0; i < 600; ++i) {
                    const std::size_t at = i * 1316 % ts.size();
                    Bytes piece(&ts[at], &ts[std::min(at + 1316, ts.size())]);
                    for (std::size_t p = 1; i % 2 != 0 && p < piece.size(); p += 188) {
                        piece[p] |= 0x80;
                    }
                    const auto cut = noise.begin() + static_cast<std::ptrdiff_t>(i * 97);
                    hostile.insert(
                        hostile.end(),
                        {Bytes(cut, cut + static_cast<std::ptrdiff_t>(1 + i * 37 % 1500)), piece,
                         i % 20 != 0 ? Bytes() : noise});
                }
                sendFrom(h.headsetAddress(), h, rig.port, hostile, hostile.size());
                std::vector<Bytes> endless(6930, Bytes(1316, 0)); // 8.5 MiB on PID 0x100
                for (std::size_t i = 0; i < endless.size() * 7; ++i) {
                    std::uint8_t* p = &endless[i / 7][i % 7 * 188];
                    p[0] = 0x47;
                    p[1] = i == 0 ? 0x41 : 0x01; // the first starts the PES
                    p[3] = std::uint8_t(0x10 | (i & 15));
                }
                std::ranges::copy(Bytes{0, 0, 1, 0xE0, 0, 0, 0x80}, endless[0].begin() + 4);
                // The encoder holds still while the PES grows past the cap.
                ASSERT_GE(h.signalProcesses("ffmpeg", SIGSTOP), 1);
                sendFrom(h.headsetAddress(), h, rig.port, endless, endless.size());
                h.signalProcesses("ffmpeg", SIGCONT);
            }),
        // Wi-Fi: 1 % of the datagrams lost on the way. Held, the stream stays
        // up; switched to keep moving while it runs, nearly every picture shows.
        Row("OnePercentOfDatagramsLost", true, {}, "",
            [](HeadsetSimulator& h, SessionRig& rig, StreamSession& s) {
                const DatagramLoss loss(h.linkName(), rig.port, 10);
                waitFor([] { return false; }, 4s);
                EXPECT_GT(SessionProbe::receiver(s)->statistics().droppedPackets, 0U);
                ASSERT_EQ(s.phase(), Phase::Streaming);
                s.setLossPolicy(LossPolicy::KeepMoving);
                const auto shown = SessionProbe::presentedCount(s);
                waitFor([] { return false; }, 3s); // 60 pictures sent
                EXPECT_GE(SessionProbe::presentedCount(s), shown + 45);
                EXPECT_GT(SessionProbe::receiver(s)->statistics().damagedFrames, 0U);
            }),
        Row("LinkCut", false, {.size = "320x240"}, std::string(SessionMessages::videoStopped),
            [](HeadsetSimulator& h, SessionRig& rig, StreamSession& s) {
                ASSERT_EQ(runProcess({"ip", "link", "set", h.linkName(), "down"}).exitStatus, 0);
                // Half a second of the test clock a tenth of a real one, with no picture.
                for (int i = 0; i < 60 && s.phase() == Phase::Streaming; ++i) {
                    rig.clock->advance(0.5);
                    waitFor([] { return false; }, 100ms);
                }
                EXPECT_EQ(runProcess({"ip", "link", "set", h.linkName(), "up"}).exitStatus, 0);
                rig.clock->advance(9.5); // the stop deadline: terminated, killed
            }),
        Row("ResolutionChangeWhileRecording", true, {.size = "320x240", .sizeChange = "5:256x144"},
            std::string(Messages::resolutionChanged),
            [](HeadsetSimulator&, SessionRig& rig, StreamSession& s) {
                s.toggleRecording();
                ASSERT_TRUE(rig.chooser->answer(rig.path(QStringLiteral("clip.mp4"))));
                ASSERT_TRUE(waitFor([&] { return !s.captureNotice().isEmpty(); }));
                EXPECT_EQ(s.captureNotice(), qs(SessionMessages::captureSaved(
                                                 SessionMessages::kindRecording, "clip.mp4")));
                EXPECT_EQ(s.resolution(), QStringLiteral("256 \u00d7 144"));
                const Movie movie = readMovie(rig.file(QStringLiteral("clip.mp4")));
                EXPECT_EQ(movie.error, ""); // read, decoded, to its end
                EXPECT_EQ(QSize(movie.width, movie.height), QSize(320, 240));
                EXPECT_GE(movie.pictures.size(), 20U);
            })),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace vistrel::test
