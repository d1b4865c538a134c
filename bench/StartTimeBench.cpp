// Stream pressed → first picture, on the whole application: Vistrel's own
// window and session in this process (as main() makes them), the real
// /usr/bin/ssh and askpass helper, the simulated headset's sshd, remote
// script and encoder. Each run presses Stream (the address put in and
// submitted as a person would), notes when the start marker came, when the
// receiver took the first datagram, the first access unit, the first
// keyframe and the first decoded picture (its start times), when the
// session presented the picture and when the window's first frame with the
// picture (the first one synchronised after it) was swapped to the screen,
// then ends the stream and waits until the headset is idle again.
//
//   start_time_bench [runs = 10]
//
// Prints a markdown table; nothing here passes or fails.
#include "BenchProcess.h"
#include "HeadsetSimulator.h"
#include "HeadsetStream.h"
#include "PrivateHome.h"
#include "SessionProbe.h"
#include "shell/VistrelApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

Q_IMPORT_QML_PLUGIN(VistrelPlugin)

namespace {

using namespace vistrel;
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

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Runs the event loop until `done` or `timeout`; false on timeout.
template <typename Done> bool waitFor(Done done, std::chrono::seconds timeout) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > std::chrono::milliseconds(timeout).count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p / 100 * static_cast<double>(values.size() - 1));
    return values[index];
}

std::optional<Start> startOnce(VistrelApp& vistrel, const test::HeadsetSimulator& headset) {
    StreamSession& session = *vistrel.session();
    Start start;
    std::atomic<std::int64_t> shown{0};
    // 0 until presented, 1 once presented, 2 once a frame took the picture.
    std::atomic<int> stage{0};
    const QMetaObject::Connection phases =
        QObject::connect(&session, &StreamSession::phaseChanged, &session, [&] {
            if (session.phase() == Phase::Waiting) {
                start.marker = Clock::now();
            } else if (session.phase() == Phase::Streaming) {
                start.presented = Clock::now();
                stage = 1;
            }
        });
    // Both on the render thread: a frame synchronised after the presentation
    // holds the picture; frameSwapped says it is on its way to the screen.
    QQuickWindow* window = vistrel.mainWindow();
    const QMetaObject::Connection synced = QObject::connect(
        window, &QQuickWindow::beforeSynchronizing, window,
        [&] {
            int presented = 1;
            stage.compare_exchange_strong(presented, 2);
        },
        Qt::DirectConnection);
    const QMetaObject::Connection frames = QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [&] {
            if (stage.load() == 2 && shown.load() == 0) {
                shown.store(Clock::now().time_since_epoch().count());
            }
        },
        Qt::DirectConnection);

    const double cpu0 = processCpuSeconds();
    start.pressed = Clock::now();
    vistrel.streamFrom(QString::fromStdString(headset.headsetAddress()));
    const bool streaming = waitFor([&] { return shown.load() != 0; }, std::chrono::seconds(30));
    start.cpuPercent =
        100 * (processCpuSeconds() - cpu0) / (ms(Clock::now() - start.pressed) / 1000);
    if (const UdpReceiver* receiver = SessionProbe::receiver(session)) {
        start.receiver = receiver->startTimes();
    }
    QObject::disconnect(phases);
    QObject::disconnect(synced);
    QObject::disconnect(frames);
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
    if (!streaming || !r.datagram || !r.accessUnit || !r.keyframe || !r.picture) {
        return std::nullopt;
    }
    return start;
}

struct Step {
    const char* name;
    std::vector<double> values;
};

void printSteps(const std::vector<Start>& starts) {
    std::vector<Step> steps = {
        {"Stream pressed → start marker (ssh connected, logged in, script running)", {}},
        {"start marker → first datagram (the encoder starting)", {}},
        {"first datagram → first keyframe complete", {}},
        {"first keyframe → first picture decoded", {}},
        {"first picture → presented on the GUI thread", {}},
        {"presented → the window's first frame with it swapped", {}},
        {"**Stream pressed → presented**", {}},
        {"**Stream pressed → on screen**", {}},
    };
    int keyframeFirst = 0;
    std::vector<double> cpu;
    for (const Start& s : starts) {
        const UdpReceiver::StartTimes& r = s.receiver;
        const std::vector<double> values = {
            ms(s.marker - s.pressed),      ms(*r.datagram - s.marker),
            ms(*r.keyframe - *r.datagram), ms(*r.picture - *r.keyframe),
            ms(s.presented - *r.picture),  ms(s.shown - s.presented),
            ms(s.presented - s.pressed),   ms(s.shown - s.pressed),
        };
        for (std::size_t i = 0; i < steps.size(); ++i) {
            steps[i].values.push_back(values[i]);
        }
        keyframeFirst += *r.accessUnit == *r.keyframe ? 1 : 0;
        cpu.push_back(s.cpuPercent);
    }
    std::printf("\n| Step (%zu starts) | p50 ms | worst ms |\n|---|---|---|\n", starts.size());
    for (const Step& step : steps) {
        std::printf("| %s | %.0f | %.0f |\n", step.name, percentile(step.values, 50),
                    percentile(step.values, 100));
    }
    std::printf("\nThe first access unit was the keyframe in %d of %zu starts. Vistrel's CPU from "
                "press to picture: p50 %.0f %% of one core.\n",
                keyframeFirst, starts.size(), percentile(cpu, 50));
}

} // namespace

int main(int argc, char* argv[]) {
    if (const std::string reason = test::HeadsetSimulator::skipReason(); !reason.empty()) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return 1;
    }
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    try {
        test::HeadsetSimulator headset;
        const bench::PrivateHome home(headset);
        // As main() starts the program.
        av_log_set_level(AV_LOG_FATAL);
        QApplication app(argc, argv);
        QApplication::setOrganizationName(QStringLiteral("Vistrel"));
        QApplication::setApplicationName(QStringLiteral("Vistrel"));
        SessionServices services = SessionServices::system();
        // The askpass helper of this build, next to the program.
        services.applicationDir = QStringLiteral(VISTREL_BINARY_DIR "/src/app/shell");
        services.port = test::freeUdpPort();
        VistrelApp vistrel(std::move(services), VistrelApp::Platform::system());
        if (!vistrel.load()) {
            std::fprintf(stderr, "the window could not be made\n");
            return 1;
        }
        waitFor([] { return false; }, std::chrono::seconds(2)); // the window shows
        const std::string load0 = bench::loadAverage();
        std::vector<Start> starts;
        for (int run = 1; run <= runs; ++run) {
            if (const auto start = startOnce(vistrel, headset)) {
                std::fprintf(stderr, "start %d: on screen after %.0f ms\n", run,
                             ms(start->shown - start->pressed));
                starts.push_back(*start);
            }
        }
        if (starts.empty()) {
            return 1;
        }
        printSteps(starts);
        std::printf("Load average (1 / 5 min) %s at the start, %s at the end, on %ld cores.\n",
                    load0.c_str(), bench::loadAverage().c_str(), ::sysconf(_SC_NPROCESSORS_ONLN));
        std::fflush(stdout);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
