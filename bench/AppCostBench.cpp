// The whole application's cost on this computer: `vistrel` of this build
// streaming from the simulated headset in its window on the X display (the
// address on its command line, as a user would start it), against ffplay
// showing the same stream (the remote script, run over ssh the same way,
// sending to it) in a window of the same size, taking turns in one run:
// CPU of the process, per streamed minute and per thread, of its ssh client
// and of the X server meanwhile; resident memory, steady and peak.
//
//   app_cost_bench [seconds per window = 60] [rounds = 2]
//   app_cost_bench soak [minutes = 10]
//
// The soak streams with Vistrel alone and samples its resident memory every
// 10 s. Prints markdown tables; nothing here passes or fails: the machine is
// shared, so read the figures against each other.
#include "BenchProcess.h"
#include "ChildProcess.h"
#include "HeadsetSimulator.h"
#include "HeadsetStream.h"
#include "PrivateHome.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace vistrel;
using bench::BenchProcess;
using Clock = std::chrono::steady_clock;

// From the start of a program to the start of its measured window: login,
// encoder start, ffplay's probe, the first pictures.
constexpr auto warmUp = std::chrono::seconds(10);
constexpr auto sampleEvery = std::chrono::seconds(1);
constexpr auto soakSampleEvery = std::chrono::seconds(10);

struct Size {
    int width = 0;
    int height = 0;
};

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The X server of this display (Xvfb under bench/app-cost): whatever the
// programs draw is copied into it, so its CPU is part of showing a picture.
std::optional<pid_t> xServer() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr) {
        return std::nullopt;
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream file(entry.path() / "cmdline");
        std::string cmdline((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
        std::vector<std::string> words;
        std::istringstream split(cmdline);
        for (std::string word; std::getline(split, word, '\0');) {
            words.push_back(word);
        }
        if (words.size() > 1 && words[0].ends_with("Xvfb") &&
            std::find(words.begin(), words.end(), display) != words.end()) {
            return static_cast<pid_t>(std::stol(entry.path().filename().string()));
        }
    }
    return std::nullopt;
}

// Where the pointer rests: in the screen's far corner, off every window, so
// that no hover or tooltip changes what is drawn.
void parkPointer() {
    std::istringstream size(test::runProcess({"xdotool", "getdisplaygeometry"}).out);
    int width = 0;
    int height = 0;
    size >> width >> height;
    test::runProcess({"xdotool", "mousemove", std::to_string(std::max(0, width - 1)),
                      std::to_string(std::max(0, height - 1))});
}

// The size of the program's visible top-level window.
std::optional<Size> windowSize(pid_t pid) {
    const auto found =
        test::runProcess({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)});
    std::istringstream ids(found.out);
    std::optional<Size> largest;
    for (std::string id; ids >> id;) {
        const auto geometry = test::runProcess({"xdotool", "getwindowgeometry", "--shell", id});
        Size size;
        std::istringstream lines(geometry.out);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("WIDTH=", 0) == 0) {
                size.width = std::stoi(line.substr(6));
            } else if (line.rfind("HEIGHT=", 0) == 0) {
                size.height = std::stoi(line.substr(7));
            }
        }
        if (!largest || size.width * size.height > largest->width * largest->height) {
            largest = size;
        }
    }
    return largest;
}

// What one program used over all its measured windows.
struct Usage {
    double seconds = 0;                     // wall time measured
    double process = 0;                     // CPU seconds of the process
    double children = 0;                    // of its child processes (Vistrel's ssh client)
    double xServer = 0;                     // of the X server meanwhile
    std::map<std::string, double> threads;  // CPU seconds by thread name
    std::map<std::string, int> threadCount; // threads of that name
    std::vector<double> rss;                // MiB, sampled
    double peak = 0;                        // highest VmHWM of its processes, MiB
};

struct Snapshot {
    double process = 0;
    double children = 0;
    double xServer = 0;
    std::map<pid_t, bench::ThreadCpu> threads;
};

Snapshot snapshot(pid_t pid, std::optional<pid_t> x) {
    Snapshot s;
    s.process = bench::processCpuSeconds(pid);
    for (const pid_t child : bench::childrenOf(pid)) {
        s.children += bench::processCpuSeconds(child);
    }
    s.xServer = x ? bench::processCpuSeconds(*x) : 0;
    for (bench::ThreadCpu& thread : bench::threadsOf(pid)) {
        s.threads.emplace(thread.id, std::move(thread));
    }
    return s;
}

// Measures `pid` for `length` after its warm-up; `tick` runs every second
// (the sender's keep-alive).
void measure(pid_t pid, std::chrono::seconds length, Usage& usage,
             const std::function<void()>& tick) {
    const auto x = xServer();
    parkPointer();
    for (auto waited = std::chrono::seconds(0); waited < warmUp; waited += sampleEvery) {
        std::this_thread::sleep_for(sampleEvery);
        tick();
    }
    const Clock::time_point from = Clock::now();
    const Snapshot before = snapshot(pid, x);
    while (Clock::now() - from < length) {
        std::this_thread::sleep_for(sampleEvery);
        tick();
        usage.rss.push_back(bench::statusMegabytes(pid, "VmRSS"));
    }
    const Snapshot after = snapshot(pid, x);
    usage.seconds += std::chrono::duration<double>(Clock::now() - from).count();
    usage.process += after.process - before.process;
    usage.children += after.children - before.children;
    usage.xServer += after.xServer - before.xServer;
    std::map<std::string, int> count;
    for (const auto& [id, thread] : after.threads) {
        const auto was = before.threads.find(id);
        usage.threads[thread.name] +=
            thread.seconds - (was == before.threads.end() ? 0 : was->second.seconds);
        ++count[thread.name];
    }
    for (const auto& [name, n] : count) {
        usage.threadCount[name] = std::max(usage.threadCount[name], n);
    }
    usage.peak = std::max(usage.peak, bench::statusMegabytes(pid, "VmHWM"));
}

std::vector<std::string> vistrelCommand(const test::HeadsetSimulator& headset) {
    return {VISTREL_BINARY_DIR "/src/app/shell/vistrel", headset.headsetAddress()};
}

// The remote script run over ssh as Vistrel runs it, sending to `port`;
// keepAlive() writes the ping the script waits for.
struct Sender {
    std::unique_ptr<test::ChildProcess> ssh;
    Clock::time_point lastPing = Clock::now();

    Sender(const test::HeadsetSimulator& headset, std::uint16_t port,
           const std::filesystem::path& knownHosts)
        : ssh(headset.startSsh(port, knownHosts)) {}

    void keepAlive() {
        if (Clock::now() - lastPing >= std::chrono::seconds(3)) {
            ssh->write("PING\n");
            lastPing = Clock::now();
        }
    }

    ~Sender() {
        ssh->write("STOP\n");
        ssh->closeInput();
        ssh->waitForExit(std::chrono::seconds(10));
    }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;
};

std::vector<std::string> ffplayCommand(std::uint16_t port, Size window) {
    return {"ffplay",
            "-hide_banner",
            "-loglevel",
            "error",
            "-fflags",
            "nobuffer",
            "-flags",
            "low_delay",
            "-framedrop",
            "-x",
            std::to_string(window.width),
            "-y",
            std::to_string(window.height),
            "-window_title",
            "ffplay",
            "udp://0.0.0.0:" + std::to_string(port)};
}

void printThreads(const char* program, const Usage& usage) {
    std::vector<std::pair<std::string, double>> rows(usage.threads.begin(), usage.threads.end());
    std::sort(rows.begin(), rows.end(),
              [](const auto& a, const auto& b) { return a.second > b.second; });
    std::printf("\n| %s: thread | CPU (%% of one core) | share of the process |\n|---|---|---|\n",
                program);
    double listed = 0;
    for (const auto& [name, seconds] : rows) {
        listed += seconds;
        if (100 * seconds / usage.seconds < 0.05) {
            continue;
        }
        const int n = usage.threadCount.at(name);
        std::printf("| %s%s | %.1f %% | %.0f %% |\n", name.c_str(),
                    n > 1 ? (" (×" + std::to_string(n) + ")").c_str() : "",
                    100 * seconds / usage.seconds, 100 * seconds / usage.process);
    }
    if (usage.process - listed > 0.005 * usage.seconds) {
        std::printf("| threads that ended meanwhile | %.1f %% | |\n",
                    100 * (usage.process - listed) / usage.seconds);
    }
}

int compare(int seconds, int rounds) {
    test::HeadsetSimulator headset;
    const bench::PrivateHome home(headset);
    const std::uint16_t ffplayPort = test::freeUdpPort();
    const auto length = std::chrono::seconds(seconds);
    const std::string load0 = bench::loadAverage();

    Usage vistrel;
    Usage ffplay;
    std::optional<Size> window;
    for (int round = 1; round <= rounds; ++round) {
        std::fprintf(stderr, "round %d: Vistrel\n", round);
        {
            BenchProcess app(vistrelCommand(headset), {});
            measure(app.pid(), length, vistrel, [] {});
            window = window ? window : windowSize(app.pid());
            app.finish(0);
        }
        if (!window) {
            std::fprintf(stderr, "Vistrel showed no window\n");
            return 1;
        }
        std::fprintf(stderr, "round %d: ffplay %d × %d\n", round, window->width, window->height);
        {
            BenchProcess player(ffplayCommand(ffplayPort, *window), {});
            Sender sender(headset, ffplayPort, home.knownHosts());
            measure(player.pid(), length, ffplay, [&] { sender.keepAlive(); });
        }
    }
    const std::string load1 = bench::loadAverage();

    auto percent = [](const Usage& u, double cpu) {
        return 100 * cpu / u.seconds;
    };
    std::printf("\n### 1280 × 720 at 20 fps from the simulated headset, windows of %d × %d, "
                "%d × %d s each\n\n",
                window->width, window->height, rounds, seconds);
    std::printf("| | Vistrel | ffplay |\n|---|---|---|\n");
    std::printf("| CPU of the process (%% of one core) | %.1f %% | %.1f %% |\n",
                percent(vistrel, vistrel.process), percent(ffplay, ffplay.process));
    std::printf("| CPU seconds per streamed minute | %.1f s | %.1f s |\n",
                60 * vistrel.process / vistrel.seconds, 60 * ffplay.process / ffplay.seconds);
    std::printf("| its ssh client | %.1f %% | – |\n", percent(vistrel, vistrel.children));
    std::printf("| X server meanwhile | %.1f %% | %.1f %% |\n", percent(vistrel, vistrel.xServer),
                percent(ffplay, ffplay.xServer));
    std::printf("| resident memory, steady (median) | %.0f MiB | %.0f MiB |\n", median(vistrel.rss),
                median(ffplay.rss));
    std::printf("| resident memory, peak (VmHWM) | %.0f MiB | %.0f MiB |\n", vistrel.peak,
                ffplay.peak);
    std::printf("\nCPU Vistrel : ffplay = 1 : %.2f (processes), 1 : %.2f (with the X server). "
                "Load average (1 / 5 min) %s at the start, %s at the end, on %ld cores.\n",
                (ffplay.process / ffplay.seconds) / (vistrel.process / vistrel.seconds),
                ((ffplay.process + ffplay.xServer) / ffplay.seconds) /
                    ((vistrel.process + vistrel.xServer) / vistrel.seconds),
                load0.c_str(), load1.c_str(), ::sysconf(_SC_NPROCESSORS_ONLN));
    printThreads("Vistrel", vistrel);
    printThreads("ffplay", ffplay);
    std::fflush(stdout);
    return 0;
}

int soak(int minutes) {
    test::HeadsetSimulator headset;
    const bench::PrivateHome home(headset);
    parkPointer();
    BenchProcess app(vistrelCommand(headset), {});
    const pid_t pid = app.pid();
    std::this_thread::sleep_for(warmUp);
    const std::string load0 = bench::loadAverage();
    const int perMinute = 60 / static_cast<int>(soakSampleEvery.count());
    std::vector<double> rss;
    std::vector<double> cpu; // per minute, % of one core
    const Clock::time_point from = Clock::now();
    double cpu0 = bench::processCpuSeconds(pid);
    for (int sample = 0; sample <= minutes * perMinute; ++sample) {
        std::this_thread::sleep_until(from + sample * soakSampleEvery);
        rss.push_back(bench::statusMegabytes(pid, "VmRSS"));
        if (sample > 0 && sample % perMinute == 0) {
            const double cpu1 = bench::processCpuSeconds(pid);
            cpu.push_back(100 * (cpu1 - cpu0) / 60);
            cpu0 = cpu1;
        }
        std::fprintf(stderr, "%3d s: %.1f MiB\n", sample * 10, rss.back());
    }
    const double peak = bench::statusMegabytes(pid, "VmHWM");
    app.finish(0);

    std::printf("\n### Soak: Vistrel streaming for %d minutes, resident memory every 10 s "
                "(MiB)\n\n| Minute | 0 s | 10 s | 20 s | 30 s | 40 s | 50 s | CPU in the minute "
                "|\n|---|---|---|---|---|---|---|---|\n",
                minutes);
    std::size_t sample = 0;
    for (int minute = 0; minute < minutes; ++minute) {
        std::printf("| %d |", minute);
        for (int k = 0; k < perMinute; ++k) {
            std::printf(" %.1f |", rss[sample++]);
        }
        std::printf(" %.1f %% |\n", cpu[static_cast<std::size_t>(minute)]);
    }
    const std::size_t two = 2 * static_cast<std::size_t>(perMinute);
    const double growth = rss.back() - rss[std::min(two, rss.size() - 1)];
    const auto [low, high] = std::minmax_element(rss.begin() + static_cast<long>(two), rss.end());
    std::printf("| %d | %.1f | | | | | | |\n\nOver the last %d minutes: %+.1f MiB (%+.1f MB; "
                "lowest %.1f, highest %.1f MiB). Peak (VmHWM) %.1f MiB. Load average (1 / 5 "
                "min) %s at the start, %s at the end.\n",
                minutes, rss.back(), minutes - 2, growth, growth * 1.048576, *low, *high, peak,
                load0.c_str(), bench::loadAverage().c_str());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    // A sender that has gone must not end the benchmark through its pipe.
    std::signal(SIGPIPE, SIG_IGN);
    if (const std::string reason = test::HeadsetSimulator::skipReason(); !reason.empty()) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return 1;
    }
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "needs an X display (bench/app-cost provides one)\n");
        return 1;
    }
    try {
        if (argc > 1 && std::string(argv[1]) == "soak") {
            return soak(argc > 2 ? std::atoi(argv[2]) : 10);
        }
        return compare(argc > 1 ? std::atoi(argv[1]) : 60, argc > 2 ? std::atoi(argv[2]) : 2);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
