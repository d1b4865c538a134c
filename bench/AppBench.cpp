// The whole application on this computer against the simulated headset
// (tools/headset-sim; root only), in a home of Vistrel's own.
//
//   app_bench cost [seconds per window = 60] [rounds = 2]
//     `vistrel` of this build streaming in its window (the address on its
//     command line, as a user starts it), against ffplay showing the same
//     stream (the remote script run over ssh the same way) in a window of
//     the same size, taking turns: CPU of the process, per streamed minute
//     and per thread, of its ssh client and of the X server; memory.
//   app_bench soak [minutes = 10]: Vistrel alone, its memory every 10 s.
//   app_bench start [runs = 10]: Stream pressed → first picture, Vistrel's
//     own window and session in this process (as main() makes them) with the
//     real ssh and askpass helper: each run submits the address as a person
//     would and notes the start marker, the receiver's start times, the
//     session presenting the picture and the window's first frame with it
//     swapped to the screen, then ends the stream and waits for the headset.
#include "Bench.h"
#include "ChildProcess.h"
#include "HeadsetSimulator.h"
#include "HeadsetStream.h"
#include "ScratchFolder.h"
#include "shell/VistrelApp.h"

#include <QApplication>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <map>
#include <optional>
#include <thread>

Q_IMPORT_QML_PLUGIN(VistrelPlugin)

namespace {

using namespace vistrel;
using namespace vistrel::bench;
using Phase = StreamSession::Phase;

// The simulated headset, and HOME and the XDG folders in a fresh folder, so
// that the user's settings and known hosts are neither read nor changed, with
// Vistrel's known_hosts trusting the headset and the simulator's agent for the
// login; set in this process's environment, for Vistrel run here or from here.
struct HeadsetHome {
    test::HeadsetSimulator headset;
    test::ScratchFolder home;

    HeadsetHome() {
        namespace fs = std::filesystem;
        for (const char* folder : {"config", "data/Vistrel", "cache", "runtime"}) {
            fs::create_directories(home / folder);
        }
        // Vistrel and the desktop insist on private folders for these two.
        fs::permissions(home / "data/Vistrel", fs::perms::owner_all);
        fs::permissions(home / "runtime", fs::perms::owner_all);
        std::ofstream(knownHosts()) << headset.knownHostsLine() << '\n';
        auto environment = headset.agentEnvironment();
        environment.insert({{"HOME", home.path()},
                            {"XDG_CONFIG_HOME", home / "config"},
                            {"XDG_DATA_HOME", home / "data"},
                            {"XDG_CACHE_HOME", home / "cache"},
                            {"XDG_RUNTIME_DIR", home / "runtime"}});
        for (const auto& [name, value] : environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }

    [[nodiscard]] std::filesystem::path knownHosts() const {
        return home / "data/Vistrel/known_hosts";
    }
};

constexpr auto warmUp =
    std::chrono::seconds(10); // login, encoder start, ffplay's probe, first pictures

std::string xdotool(const std::string& arguments) {
    return test::runProcess(words("xdotool " + arguments)).out;
}

// The X server of this display (Xvfb under bench/app-cost): what the programs
// draw is copied into it, so its CPU is part of showing a picture.
std::optional<int> xServerPid() {
    const std::string display = std::string(1, '\0') + std::getenv("DISPLAY") + '\0';
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream file(entry.path() / "cmdline");
        const std::string line{std::istreambuf_iterator<char>(file), {}};
        if (line.substr(0, line.find('\0')).ends_with("Xvfb") && line.find(display) != line.npos) {
            return std::stoi(entry.path().filename());
        }
    }
    return std::nullopt;
}

// The size of the program's largest visible window.
std::optional<std::pair<int, int>> windowSize(int pid) {
    std::istringstream ids(xdotool("search --onlyvisible --pid " + std::to_string(pid)));
    std::optional<std::pair<int, int>> largest;
    for (std::string id; ids >> id;) {
        const std::string shell = xdotool("getwindowgeometry --shell " + id);
        const auto field = [&](const std::string& name) {
            return std::stoi(shell.substr(shell.find(name) + name.size()));
        };
        const std::pair size{field("WIDTH="), field("HEIGHT=")};
        if (!largest || size.first * size.second > largest->first * largest->second) {
            largest = size;
        }
    }
    return largest;
}

// CPU seconds so far: the process, its children (Vistrel's ssh client), the
// X server and each thread, by id with its name (what the program set).
struct Snapshot {
    double process = 0;
    double children = 0;
    double xServer = 0;
    std::map<int, std::pair<std::string, double>> threads;

    Snapshot(int pid, std::optional<int> x)
        : process(cpuSeconds(pid)), xServer(x ? cpuSeconds(*x) : 0) {
        namespace fs = std::filesystem;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator("/proc", error)) {
            const std::vector<std::string> f = statFields(entry.path() / "stat");
            children +=
                f.size() > 1 && f[1] == std::to_string(pid) ? cpuSeconds(entry.path() / "stat") : 0;
        }
        for (const auto& task :
             fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
            std::ifstream comm(task.path() / "comm");
            std::string name;
            std::getline(comm, name);
            threads[std::stoi(task.path().filename())] = {name, cpuSeconds(task.path() / "stat")};
        }
    }
};

// What one program used over all its measured windows: CPU seconds as in
// Snapshot, by thread name with the most threads of that name, and memory.
struct Usage {
    double seconds = 0;
    double process = 0;
    double children = 0;
    double xServer = 0;
    std::map<std::string, std::pair<double, int>> threads;
    std::vector<double> rss; // MiB, every second
    double peak = 0;         // VmHWM, MiB

    [[nodiscard]] double percent(double cpu) const { return 100 * cpu / seconds; }

    // Measures `pid` for `length` after its warm-up; `tick` runs every second.
    void measure(int pid, std::chrono::seconds length, const std::function<void()>& tick,
                 bool warm = true) {
        const auto x = xServerPid();
        std::istringstream screen(xdotool("getdisplaygeometry"));
        int width = 1;
        int height = 1;
        screen >> width >> height; // the pointer rests in its far corner, so that nothing hovers
        xdotool("mousemove " + std::to_string(width - 1) + " " + std::to_string(height - 1));
        for (auto waited = std::chrono::seconds(0); warm && waited < warmUp; ++waited) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            tick();
        }
        const Clock::time_point from = Clock::now();
        const Snapshot before(pid, x);
        while (Clock::now() - from < length) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            tick();
            rss.push_back(statusMegabytes(pid, "VmRSS"));
        }
        const Snapshot after(pid, x);
        seconds += std::chrono::duration<double>(Clock::now() - from).count();
        process += after.process - before.process;
        children += after.children - before.children;
        xServer += after.xServer - before.xServer;
        std::map<std::string, int> count;
        for (const auto& [id, thread] : after.threads) {
            const auto was = before.threads.find(id);
            auto& [cpu, most] = threads[thread.first];
            cpu += thread.second - (was == before.threads.end() ? 0 : was->second.second);
            most = std::max(most, ++count[thread.first]);
        }
        peak = std::max(peak, statusMegabytes(pid, "VmHWM"));
    }

    void printThreads(const char* program) const {
        std::vector<std::pair<std::string, std::pair<double, int>>> rows(threads.begin(),
                                                                         threads.end());
        std::ranges::sort(rows, [](const auto& a, const auto& b) { return a.second > b.second; });
        std::printf("\n| %s: thread | CPU (%% of one core) | share of the process |\n"
                    "|---|---|---|\n",
                    program);
        double listed = 0;
        for (const auto& [name, each] : rows) {
            listed += each.first;
            if (percent(each.first) >= 0.05) {
                std::printf("| %s%s | %.1f %% | %.0f %% |\n", name.c_str(),
                            each.second > 1 ? (" (×" + std::to_string(each.second) + ")").c_str()
                                            : "",
                            percent(each.first), 100 * each.first / process);
            }
        }
        if (process - listed > 0.005 * seconds) {
            std::printf("| threads that ended meanwhile | %.1f %% | |\n",
                        percent(process - listed));
        }
    }
};

// Its output unread, so that it never waits for a reader.
test::ChildProcess startVistrel(const test::HeadsetSimulator& headset) {
    return test::ChildProcess({"sh", "-c", "exec \"$0\" \"$1\" >/dev/null 2>&1",
                               VISTREL_BINARY_DIR "/src/app/shell/vistrel",
                               headset.headsetAddress()});
}

int compare(const HeadsetHome& home, int seconds, int rounds) {
    const std::uint16_t ffplayPort = test::freeUdpPort();
    const std::string load0 = loadAverage();
    Usage vistrel;
    Usage ffplay;
    std::optional<std::pair<int, int>> window;
    for (int round = 1; round <= rounds; ++round) {
        std::fprintf(stderr, "round %d: Vistrel\n", round);
        {
            test::ChildProcess app = startVistrel(home.headset);
            vistrel.measure(app.pid(), std::chrono::seconds(seconds), [] {});
            window = window ? window : windowSize(app.pid());
        }
        if (!window) {
            std::fprintf(stderr, "Vistrel showed no window\n");
            return 1;
        }
        std::fprintf(stderr, "round %d: ffplay %d × %d\n", round, window->first, window->second);
        test::ChildProcess player(words(
            "ffplay -hide_banner -loglevel error -fflags nobuffer -flags low_delay -framedrop "
            "-window_title ffplay -x " +
            std::to_string(window->first) + " -y " + std::to_string(window->second) +
            " udp://0.0.0.0:" + std::to_string(ffplayPort)));
        // Its stream: the remote script, kept alive with PING as Vistrel keeps it.
        const auto ssh = home.headset.startSsh(ffplayPort, home.knownHosts());
        int ticks = 0;
        ffplay.measure(player.pid(), std::chrono::seconds(seconds),
                       [&] { ++ticks % 3 != 0 || ssh->write("PING\n"); });
        ssh->write("STOP\n");
        ssh->closeInput();
        ssh->waitForExit(std::chrono::seconds(10));
    }
    std::printf("\n### 1280 × 720 at 20 fps from the simulated headset, windows of %d × %d, "
                "%d × %d s each\n\n| | Vistrel | ffplay |\n|---|---|---|\n"
                "| CPU of the process (%% of one core) | %.1f %% | %.1f %% |\n"
                "| CPU seconds per streamed minute | %.1f s | %.1f s |\n"
                "| its ssh client | %.1f %% | – |\n| X server meanwhile | %.1f %% | %.1f %% |\n"
                "| resident memory, steady (median) | %.0f MiB | %.0f MiB |\n"
                "| resident memory, peak (VmHWM) | %.0f MiB | %.0f MiB |\n\n"
                "CPU Vistrel : ffplay = 1 : %.2f (processes), 1 : %.2f (with the X server). ",
                window->first, window->second, rounds, seconds, vistrel.percent(vistrel.process),
                ffplay.percent(ffplay.process), 60 * vistrel.process / vistrel.seconds,
                60 * ffplay.process / ffplay.seconds, vistrel.percent(vistrel.children),
                vistrel.percent(vistrel.xServer), ffplay.percent(ffplay.xServer),
                percentile(vistrel.rss, 50), percentile(ffplay.rss, 50), vistrel.peak, ffplay.peak,
                ffplay.percent(ffplay.process) / vistrel.percent(vistrel.process),
                ffplay.percent(ffplay.process + ffplay.xServer) /
                    vistrel.percent(vistrel.process + vistrel.xServer));
    printLoad(load0);
    vistrel.printThreads("Vistrel");
    ffplay.printThreads("ffplay");
    return 0;
}

int soak(const HeadsetHome& home, int minutes) {
    test::ChildProcess app = startVistrel(home.headset);
    const std::string load0 = loadAverage();
    std::printf(
        "\n### Soak: Vistrel streaming for %d minutes\n\n| Minute | resident memory, lowest "
        "| highest | CPU |\n|---|---|---|---|\n",
        minutes);
    std::vector<double> settled; // after two minutes, once the caches have filled
    for (int minute = 0; minute < minutes; ++minute) {
        Usage usage;
        usage.measure(
            app.pid(), std::chrono::seconds(60), [] {}, minute == 0);
        const auto [low, high] = std::ranges::minmax(usage.rss);
        std::printf("| %d | %.1f MiB | %.1f MiB | %.1f %% |\n", minute, low, high,
                    usage.percent(usage.process));
        std::fflush(stdout);
        if (minute >= 2) {
            settled.insert(settled.end(), usage.rss.begin(), usage.rss.end());
        }
    }
    const auto [low, high] = std::ranges::minmax(settled.empty() ? std::vector{0.0} : settled);
    std::printf(
        "\nAfter the second minute: %+.1f MiB (lowest %.1f, highest %.1f MiB). Peak (VmHWM) "
        "%.1f MiB. ",
        settled.empty() ? 0 : settled.back() - settled.front(), low, high,
        statusMegabytes(app.pid(), "VmHWM"));
    printLoad(load0);
    return 0;
}

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
    const double cpu0 = ownCpuSeconds();
    start.pressed = Clock::now();
    vistrel.streamFrom(QString::fromStdString(headset.headsetAddress()));
    const bool streaming = waitFor([&] { return shown.load() != 0; }, std::chrono::seconds(30));
    start.cpuPercent = 100 * (ownCpuSeconds() - cpu0) / (ms(Clock::now() - start.pressed) / 1000);
    if (const UdpReceiver* receiver = session.receiver()) {
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

int startTimes(const HeadsetHome& home, int argc, char* argv[], int runs) {
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
    for (int run = 1; run <= runs; ++run) {
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
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int number = argc > 2 ? std::atoi(argv[2]) : 0;
    if (const std::string reason = test::HeadsetSimulator::skipReason(); !reason.empty()) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return 1;
    }
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "needs an X display (bench/run provides one)\n");
        return 1;
    }
    try {
        const HeadsetHome home;
        if (mode == "cost") {
            return compare(home, number > 0 ? number : 60, argc > 3 ? std::atoi(argv[3]) : 2);
        }
        if (mode == "soak") {
            return soak(home, number > 0 ? number : 10);
        }
        if (mode == "start") {
            return startTimes(home, argc, argv, number > 0 ? number : 10);
        }
        std::fprintf(stderr, "app_bench cost|soak|start ...\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
