// A real StreamSession in a real Qt application against the simulated
// headset: /usr/bin/ssh logs in with the fixture's agent, the remote script
// starts the encoder, pictures arrive over UDP and are decoded, shown,
// recorded and saved; and each way a stream can fail ends in idle with its
// sentence.
#include "HeadsetSimulator.h"
#include "Messages.h"
#include "QtText.h"
#include "SessionRig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using vistrel::qs;
using vistrel::SessionProbe;
using vistrel::StreamSession;
using vistrel::test::HeadsetSimulator;
using vistrel::test::HeadsetSimulatorOptions;
using vistrel::test::SessionRig;
using vistrel::test::waitFor;
using Phase = vistrel::StreamSession::Phase;
namespace Messages = vistrel::Messages;
using namespace std::chrono_literals;

namespace {

// Our own ssh children still alive (zombies excluded).
int sshChildren() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) {
            continue;
        }
        const auto open = line.find('(');
        const auto close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 >= line.size()) {
            continue;
        }
        const std::string name = line.substr(open + 1, close - open - 1);
        const char state = line[close + 2];
        const pid_t parent = static_cast<pid_t>(std::atoi(line.c_str() + close + 4));
        if (name == "ssh" && parent == ::getpid() && state != 'Z') {
            ++count;
        }
    }
    return count;
}

// A session of the rig pointed at the headset: the real /usr/bin/ssh with
// the fixture's agent, a known_hosts that trusts the headset, real clocks.
class HeadsetRun {
public:
    explicit HeadsetRun(HeadsetSimulatorOptions options = {})
        : headset(std::move(options)), rig("") {
        for (const auto& [name, value] : headset.agentEnvironment()) {
            saved_.emplace_back(name, qgetenv(name.c_str()));
            qputenv(name.c_str(), QByteArray::fromStdString(value));
        }
        const QString folder = rig.path(QStringLiteral("data/Vistrel"));
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        std::ofstream(QFile::encodeName(folder + QStringLiteral("/known_hosts")).toStdString())
            << headset.knownHostsLine() << '\n';
        rig.sshProgram = QStringLiteral("/usr/bin/ssh");
        rig.realClock = true;
        rig.make(QString::fromStdString(headset.headsetAddress()));
        QObject::connect(&rig.session(), &StreamSession::phaseChanged, &rig.session(),
                         [this] { phases.push_back(rig.session().phase()); });
        QObject::connect(&SessionProbe::channel(rig.session()), &vistrel::SshChannel::lineRead,
                         &rig.session(), [this](const QString& line) { lines << line; });
    }
    ~HeadsetRun() {
        for (const auto& [name, value] : saved_) {
            if (value.isNull()) {
                qunsetenv(name.c_str());
            } else {
                qputenv(name.c_str(), value);
            }
        }
    }
    HeadsetRun(const HeadsetRun&) = delete;
    HeadsetRun& operator=(const HeadsetRun&) = delete;

    StreamSession& session() { return rig.session(); }
    bool waitForPhase(Phase phase, std::chrono::milliseconds timeout = 60s) {
        return waitFor([&] { return session().phase() == phase; }, timeout);
    }

    HeadsetSimulator headset;
    SessionRig rig;
    std::vector<Phase> phases;
    QStringList lines;

private:
    std::vector<std::pair<std::string, QByteArray>> saved_;
};

class SessionEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = HeadsetSimulator::skipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
    }
};

} // namespace

TEST_F(SessionEndToEnd, StreamsRecordsSavesAPictureAndStopsInOrder) {
    HeadsetRun run;
    StreamSession& session = run.session();
    session.start();
    ASSERT_EQ(session.phase(), Phase::Connecting) << session.error().toStdString();
    ASSERT_TRUE(run.waitForPhase(Phase::Streaming)) << session.error().toStdString() << "\n"
                                                    << session.diagnostics().toStdString();
    ASSERT_GE(run.phases.size(), 3U);
    EXPECT_EQ(run.phases[0], Phase::Connecting);
    EXPECT_EQ(run.phases[1], Phase::Waiting);
    EXPECT_EQ(run.phases[2], Phase::Streaming);
    EXPECT_EQ(session.resolution(), QStringLiteral("1280 \u00d7 720"));
    EXPECT_EQ(session.receivingAddress(),
              QStringLiteral("%1:%2")
                  .arg(QString::fromStdString(run.headset.localAddress()))
                  .arg(run.rig.port));
    EXPECT_TRUE(session.startedAt().isValid());

    // Pictures reach present() at the headset's rate, none left behind in the mailbox.
    const auto presented = SessionProbe::presentedCount(session);
    const auto dropped = SessionProbe::mailboxDropCount(session);
    QElapsedTimer watch;
    watch.start();
    waitFor([] { return false; }, 3s);
    const double seconds = static_cast<double>(watch.elapsed()) / 1000.0;
    const double rate =
        static_cast<double>(SessionProbe::presentedCount(session) - presented) / seconds;
    std::cout << "presented " << rate << " pictures/s, "
              << SessionProbe::mailboxDropCount(session) - dropped << " replaced in the mailbox\n";
    EXPECT_GT(rate, 10.0);
    EXPECT_LE(SessionProbe::mailboxDropCount(session) - dropped, 3U);

    // A three-second recording, read back.
    session.toggleRecording();
    const QString movie = run.rig.path(QStringLiteral("three seconds.mp4"));
    ASSERT_TRUE(run.rig.chooser->answer(movie));
    ASSERT_TRUE(session.recordingStartedAt().isValid()) << session.error().toStdString();
    waitFor([] { return false; }, 3s);
    session.toggleRecording();
    ASSERT_TRUE(waitFor([&] { return !session.isSavingRecording(); }));
    EXPECT_EQ(session.error(), QString());
    EXPECT_EQ(session.captureNotice(), QStringLiteral("Recording saved \u00b7 three seconds.mp4"));
    const auto read = vistrel::test::readMovie(movie.toStdString(), false);
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.width, 1280);
    EXPECT_EQ(read.height, 720);
    EXPECT_GE(read.pts.size(), 30U);

    // A screenshot, read back.
    session.captureScreenshot();
    const QString picture = run.rig.path(QStringLiteral("shot.png"));
    ASSERT_TRUE(run.rig.chooser->answer(picture));
    ASSERT_TRUE(waitFor([&] { return !session.isSavingScreenshot(); }));
    EXPECT_EQ(session.captureNotice(), QStringLiteral("Screenshot saved \u00b7 shot.png"));
    const auto png = vistrel::test::readPng(picture.toStdString());
    ASSERT_EQ(png.error, "");
    EXPECT_EQ(png.width, 1280);
    EXPECT_EQ(png.height, 720);

    // End: stopping, then idle once the remote script has stopped the encoder.
    session.end();
    EXPECT_EQ(session.phase(), Phase::Stopping);
    ASSERT_TRUE(run.waitForPhase(Phase::Idle, 20s));
    EXPECT_EQ(session.error(), QString());
    EXPECT_TRUE(run.lines.contains(QStringLiteral("VL_STARTED")));
    EXPECT_TRUE(run.lines.contains(QStringLiteral("VL_STOPPED")));
    EXPECT_TRUE(run.headset.waitUntilGone("ffmpeg", 10s));
    EXPECT_TRUE(waitFor([] { return sshChildren() == 0; }, 10s));
}

TEST_F(SessionEndToEnd, EachFailureEndsInIdleWithItsSentence) {
    struct Case {
        const char* name;
        HeadsetSimulatorOptions options;
        QString message;
    };
    HeadsetSimulatorOptions changedKey;
    changedKey.changedHostKey = true;
    HeadsetSimulatorOptions noKey;
    noKey.authorizeTestKey = false;
    HeadsetSimulatorOptions noSshd;
    noSshd.sshdRunning = false;
    HeadsetSimulatorOptions noFfmpeg;
    noFfmpeg.ffmpegInstalled = false;
    HeadsetSimulatorOptions noDevice;
    noDevice.videoDevice = false;
    const Case cases[] = {
        {"host key changed", changedKey, qs(Messages::hostKeyChanged)},
        {"authentication refused", noKey, qs(Messages::authenticationFailed)},
        {"connection refused", noSshd, qs(Messages::connectionRefused)},
        {"ffmpeg missing", noFfmpeg, qs(Messages::remoteNoFfmpeg)},
        {"no video device", noDevice, qs(Messages::remoteNoDevice)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadsetRun run(c.options);
        run.session().start();
        ASSERT_EQ(run.session().phase(), Phase::Connecting) << run.session().error().toStdString();
        ASSERT_TRUE(run.waitForPhase(Phase::Idle));
        EXPECT_EQ(run.session().error(), c.message) << run.session().diagnostics().toStdString();
        EXPECT_TRUE(waitFor([] { return sshChildren() == 0; }, 10s));
    }
}

TEST_F(SessionEndToEnd, AnEncoderKilledOnTheHeadsetEndsTheStreamWithWhatTheHeadsetSaid) {
    // The remote script notices the encoder's death within seconds and exits;
    // the SSH client's exit is then explained by what bash printed.
    HeadsetRun run;
    StreamSession& session = run.session();
    session.start();
    ASSERT_TRUE(run.waitForPhase(Phase::Streaming)) << session.error().toStdString();
    ASSERT_GE(run.headset.signalProcesses("ffmpeg", SIGKILL), 1);
    ASSERT_TRUE(run.waitForPhase(Phase::Idle, 40s));
    EXPECT_TRUE(session.error().contains(QStringLiteral("Killed")))
        << session.error().toStdString();
    EXPECT_TRUE(session.error().contains(QStringLiteral("ffmpeg")));
    EXPECT_TRUE(run.lines.contains(QStringLiteral("VL_STOPPED")));
    EXPECT_TRUE(waitFor([] { return sshChildren() == 0; }, 10s));
}

TEST_F(SessionEndToEnd, AnEncoderThatStopsSendingEndsTheStreamAfterTenSeconds) {
    HeadsetRun run;
    StreamSession& session = run.session();
    session.start();
    ASSERT_TRUE(run.waitForPhase(Phase::Streaming)) << session.error().toStdString();
    // Frozen, not dead: the remote script keeps waiting for it.
    ASSERT_GE(run.headset.signalProcesses("ffmpeg", SIGSTOP), 1);
    QElapsedTimer watch;
    watch.start();
    ASSERT_TRUE(waitFor([&] { return session.phase() == Phase::Stopping; }, 30s));
    EXPECT_GE(watch.elapsed(), 9000);
    EXPECT_EQ(session.error(), qs(Messages::videoStopped));
    ASSERT_TRUE(run.waitForPhase(Phase::Idle, 30s));
    EXPECT_EQ(session.error(), qs(Messages::videoStopped));
    EXPECT_TRUE(run.headset.waitUntilGone("ffmpeg", 10s));
    EXPECT_TRUE(waitFor([] { return sshChildren() == 0; }, 10s));
}

TEST_F(SessionEndToEnd, APortInUseIsReportedAndNoSshIsLaunched) {
    HeadsetRun run;
    const int blocker = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(run.rig.port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    run.session().start();
    ::close(blocker);
    EXPECT_EQ(run.session().phase(), Phase::Idle);
    EXPECT_TRUE(run.session().error().startsWith(qs(Messages::stepListen(run.rig.port))))
        << run.session().error().toStdString();
    EXPECT_EQ(sshChildren(), 0);
    EXPECT_TRUE(run.phases.empty());
}
