// Stream pressed → first picture on the whole application: Vistrel's own
// window and session in this process (as main() makes them), the real ssh
// and askpass helper, the simulated headset. Each run submits the address as
// a person would and notes the start marker, the receiver's start times, the
// session presenting the picture and the window's first frame with it swapped
// to the screen, then ends the stream and waits until the headset is idle.
//
//   start_time_bench [runs = 10]
#include "Bench.h"
#include "ChildProcess.h"
#include "HeadsetHome.h"
#include "HeadsetStream.h"
#include "SessionProbe.h"
#include "shell/VistrelApp.h"

#include <QApplication>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <thread>

Q_IMPORT_QML_PLUGIN(VistrelPlugin)

namespace {

using namespace vistrel;
using namespace vistrel::bench;
using Clock = std::chrono::steady_clock;
using Phase = StreamSession::Phase;

// The steps of one start, each the moment it was reached.
struct Start {
    Clock::time_point pressed;
    Clock::time_point marker; // the remote script said it started the encoder
    UdpReceiver::StartTimes receiver;
    Clock::time_point presented;
    Clock::time_point shown; // the window's first frame with the picture swapped
    double cpuPercent = 0;   // of this process from press to shown, of one core
};

// Runs the event loop until `done` or `timeout`; false on timeout.
template <typename Done> bool waitFor(Done done, std::chrono::seconds timeout) {
    for (const auto end = Clock::now() + timeout; !done();) {
        if (Clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::optional<Start> startOnce(VistrelApp& vistrel, const test::HeadsetSimulator& headset) {
    StreamSession& session = *vistrel.session();
    QQuickWindow* window = vistrel.mainWindow();
    Start start;
    std::atomic<std::int64_t> shown{0};
    std::atomic<int> stage{0}; // 1 once presented, 2 once a frame took the picture
    // The window's two on the render thread: a frame synchronised after the
    // presentation holds the picture; frameSwapped sends it to the screen.
    const QMetaObject::Connection connections[] = {
        QObject::connect(&session, &StreamSession::phaseChanged, &session,
                         [&] {
                             if (session.phase() == Phase::Waiting) {
                                 start.marker = Clock::now();
                             } else if (session.phase() == Phase::Streaming) {
                                 start.presented = Clock::now();
                                 stage = 1;
                             }
                         }),
        QObject::connect(
            window, &QQuickWindow::beforeSynchronizing, window,
            [&] {
                int presented = 1;
                stage.compare_exchange_strong(presented, 2);
            },
            Qt::DirectConnection),
        QObject::connect(
            window, &QQuickWindow::frameSwapped, window,
            [&] {
                std::int64_t none = 0;
                if (stage.load() == 2) {
                    shown.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
                }
            },
            Qt::DirectConnection)};
    const double cpu0 = test::ownCpuSeconds();
    start.pressed = Clock::now();
    vistrel.streamFrom(QString::fromStdString(headset.headsetAddress()));
    const bool streaming = waitFor([&] { return shown.load() != 0; }, std::chrono::seconds(30));
    start.cpuPercent =
        100 * (test::ownCpuSeconds() - cpu0) / (ms(Clock::now() - start.pressed) / 1000);
    if (const UdpReceiver* receiver = SessionProbe::receiver(session)) {
        start.receiver = receiver->startTimes();
    }
    for (const QMetaObject::Connection& connection : connections) {
        QObject::disconnect(connection);
    }
    start.shown = Clock::time_point(Clock::duration(shown.load()));
    if (!streaming) {
        std::fprintf(stderr, "no picture: %s\n%s\n", session.error().toStdString().c_str(),
                     session.diagnostics().toStdString().c_str());
    }
    session.end();
    waitFor([&] { return session.phase() == Phase::Idle; }, std::chrono::seconds(30));
    headset.waitUntilGone("ffmpeg", std::chrono::seconds(10));
    waitFor([] { return false; }, std::chrono::seconds(1)); // the window settles
    const UdpReceiver::StartTimes& r = start.receiver;
    return streaming && r.datagram && r.accessUnit && r.keyframe && r.picture ? std::optional(start)
                                                                              : std::nullopt;
}

void printSteps(const std::vector<Start>& starts) {
    const char* const names[] = {
        "Stream pressed → start marker (ssh connected, logged in, script running)",
        "start marker → first datagram (the encoder starting)",
        "first datagram → first keyframe complete",
        "first keyframe → first picture decoded",
        "first picture → presented on the GUI thread",
        "presented → the window's first frame with it swapped",
        "**Stream pressed → presented**",
        "**Stream pressed → on screen**"};
    std::vector<std::vector<double>> steps(std::size(names));
    std::vector<double> cpu;
    int keyframeFirst = 0;
    for (const Start& s : starts) {
        const UdpReceiver::StartTimes& r = s.receiver;
        const Clock::duration each[] = {s.marker - s.pressed,      *r.datagram - s.marker,
                                        *r.keyframe - *r.datagram, *r.picture - *r.keyframe,
                                        s.presented - *r.picture,  s.shown - s.presented,
                                        s.presented - s.pressed,   s.shown - s.pressed};
        for (std::size_t i = 0; i < steps.size(); ++i) {
            steps[i].push_back(ms(each[i]));
        }
        keyframeFirst += *r.accessUnit == *r.keyframe ? 1 : 0;
        cpu.push_back(s.cpuPercent);
    }
    std::printf("\n| Step (%zu starts) | p50 ms | worst ms |\n|---|---|---|\n", starts.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        std::printf("| %s | %.0f | %.0f |\n", names[i], percentile(steps[i], 50),
                    percentile(steps[i], 100));
    }
    std::printf("\nThe first access unit was the keyframe in %d of %zu starts. Vistrel's CPU from "
                "press to picture: p50 %.0f %% of one core. ",
                keyframeFirst, starts.size(), percentile(cpu, 50));
}

} // namespace

int main(int argc, char* argv[]) {
    if (const std::string reason = test::HeadsetSimulator::skipReason(); !reason.empty()) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return 1;
    }
    try {
        const HeadsetHome home;
        // As main() starts the program, with the askpass helper of this build.
        av_log_set_level(AV_LOG_FATAL);
        QApplication app(argc, argv);
        QApplication::setOrganizationName(QStringLiteral("Vistrel"));
        QApplication::setApplicationName(QStringLiteral("Vistrel"));
        SessionServices services = SessionServices::system();
        services.applicationDir = QStringLiteral(VISTREL_BINARY_DIR "/src/app/shell");
        services.port = test::freeUdpPort();
        VistrelApp vistrel(std::move(services), VistrelApp::Platform::system());
        if (!vistrel.load()) {
            std::fprintf(stderr, "the window could not be made\n");
            return 1;
        }
        waitFor([] { return false; }, std::chrono::seconds(2)); // the window shows
        const std::string load0 = loadAverage();
        std::vector<Start> starts;
        for (int run = 1; run <= (argc > 1 ? std::atoi(argv[1]) : 10); ++run) {
            if (const auto start = startOnce(vistrel, home.headset)) {
                std::fprintf(stderr, "start %d: on screen after %.0f ms\n", run,
                             ms(start->shown - start->pressed));
                starts.push_back(*start);
            }
        }
        if (!starts.empty()) {
            printSteps(starts);
            printLoad(load0);
        }
        return starts.empty() ? 1 : 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
