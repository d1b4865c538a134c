// The whole application on this computer against the simulated headset
// (tools/headset-sim; root only), in a home of Vistrel's own.
//
//   app_bench cost [seconds per window = 60] [rounds = 2]: `vistrel` of this
//     build streaming in its window, as a user starts it, and ffplay showing
//     the same stream (the remote script over the same ssh) in a window of the
//     same size, taking turns: CPU of the process, per thread and of its ssh
//     client; memory.
//   app_bench soak [minutes = 10]: Vistrel alone, its memory every second.
//   app_bench start [runs = 10]: Stream pressed → first picture on screen in
//     steps, Vistrel's own window and session in this process (as main()
//     makes them) with the real ssh and askpass helper.
#include "Bench.h"
#include "HeadsetSimulator.h"
#include "HeadsetStream.h"
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
using Clock = std::chrono::steady_clock;
using Phase = StreamSession::Phase;

// The simulated headset, and HOME and the XDG folders in a fresh folder with a
// known_hosts trusting it, set with its agent in this process's environment.
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

// CPU seconds so far: the process, its children (Vistrel's ssh client) and
// each thread, by id with its name (what the program set).
struct Snapshot {
    double process = 0;
    double children = 0;
    std::map<int, std::pair<std::string, double>> threads;

    explicit Snapshot(int pid) : process(cpuSeconds(pid)) {
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
    std::map<std::string, std::pair<double, int>> threads;
    std::vector<double> rss; // MiB, every second
    double peak = 0;         // VmHWM, MiB

    [[nodiscard]] double percent(double cpu) const { return 100 * cpu / seconds; }

    // Measures `pid` for `length` after its warm-up; `tick` runs every second.
    void measure(int pid, std::chrono::seconds length, const std::function<void()>& tick,
                 bool warm = true) {
        xdotool("mousemove 99999 99999"); // the far corner (X clamps it): nothing hovers
        for (auto waited = std::chrono::seconds(0); warm && waited < warmUp; ++waited) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            tick();
        }
        const Clock::time_point from = Clock::now();
        const Snapshot before(pid);
        while (Clock::now() - from < length) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            tick();
            rss.push_back(statusMegabytes(pid, "VmRSS"));
        }
        const Snapshot after(pid);
        seconds += std::chrono::duration<double>(Clock::now() - from).count();
        process += after.process - before.process;
        children += after.children - before.children;
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
        for (const auto& [name, each] : rows) {
            if (percent(each.first) >= 0.05) {
                std::printf("| %s%s | %.1f %% | %.0f %% |\n", name.c_str(),
                            each.second > 1 ? (" (×" + std::to_string(each.second) + ")").c_str()
                                            : "",
                            percent(each.first), 100 * each.first / process);
            }
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
                "| its ssh client | %.1f %% | – |\n"
                "| resident memory, steady (median) | %.0f MiB | %.0f MiB |\n"
                "| resident memory, peak (VmHWM) | %.0f MiB | %.0f MiB |\n\n"
                "CPU Vistrel : ffplay = 1 : %.2f. ",
                window->first, window->second, rounds, seconds, vistrel.percent(vistrel.process),
                ffplay.percent(ffplay.process), vistrel.percent(vistrel.children),
                percentile(vistrel.rss, 50), percentile(ffplay.rss, 50), vistrel.peak, ffplay.peak,
                ffplay.percent(ffplay.process) / vistrel.percent(vistrel.process));
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
    for (int minute = 0; minute < minutes; ++minute) {
        Usage usage;
        usage.measure(
            app.pid(), std::chrono::seconds(60), [] {}, minute == 0);
        const auto [low, high] = std::ranges::minmax(usage.rss);
        std::printf("| %d | %.1f MiB | %.1f MiB | %.1f %% |\n", minute, low, high,
                    usage.percent(usage.process));
        std::fflush(stdout);
    }
    std::printf("\nPeak (VmHWM) %.1f MiB. ", statusMegabytes(app.pid(), "VmHWM"));
    printLoad(load0);
    return 0;
}

struct Start {
    Clock::time_point pressed;
    Clock::time_point marker; // the remote script said it started the encoder
    UdpReceiver::StartTimes receiver;
    Clock::time_point presented;
    Clock::time_point shown; // the window's first frame with the picture swapped
    double cpuPercent = 0;   // of this process from press to shown, of one core
};

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
    // 1 once presented, 2 once a frame synchronised after it (on the render
    // thread) took the picture; its frameSwapped sends it to the screen.
    std::atomic<int> stage{0};
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
    // As main() does, with the askpass helper of this build.
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
    if (std::getenv("DISPLAY") == nullptr || ::geteuid() != 0) {
        std::fprintf(stderr, "needs root and an X display (bench/run provides the display)\n");
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
