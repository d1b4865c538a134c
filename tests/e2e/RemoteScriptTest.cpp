// The remote script's line protocol over the real ssh, sshd, bash and ffmpeg
// of one simulated headset: every way a run can end stops its encoder, in
// time. The rows run side by side; the cut link, which ends them all, last.
#include "HeadsetSimulator.h"

#include <csignal>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// One run of the script, sending its video to `port` here, where nothing needs to listen.
struct Remote {
    std::unique_ptr<ChildProcess> ssh;
    std::string processes; // pgrep -f pattern for its script and encoder on the headset
    std::string encoder;
    Clock::time_point started; // when the start marker arrived
};

Remote start(const HeadsetSimulator& headset, const std::filesystem::path& knownHosts, int port) {
    Remote run{headset.startSsh(static_cast<std::uint16_t>(port), knownHosts),
               ":" + std::to_string(port) + "\\?",
               "",
               {}};
    run.encoder = "^/usr/bin/ffmpeg .*" + run.processes;
    EXPECT_EQ(run.ssh->readLine(30s).value_or("<no line>"), "VL_STARTED") << run.ssh->errorText();
    run.started = Clock::now();
    // The encoder is up once the headset's wrapper has handed over to ffmpeg.
    const auto up = [&] {
        return headset.exec({"pgrep", "-f", run.encoder}).exitStatus == 0;
    };
    while (!up() && secondsSince(run.started) < 10) {
    }
    EXPECT_TRUE(up()) << "no encoder on the headset\n" << headset.processes();
    return run;
}

// The script says it stopped between `atLeast` and `atMost` seconds after `from`.
void expectStopped(Remote& run, Clock::time_point from, double atLeast, double atMost) {
    EXPECT_EQ(run.ssh->readLine(30s).value_or("<no line>"), "VL_STOPPED");
    EXPECT_GT(secondsSince(from), atLeast);
    EXPECT_LT(secondsSince(from), atMost);
    EXPECT_EQ(run.ssh->waitForExit(10s), 0) << run.ssh->errorText();
}

TEST(RemoteScript, EveryWayARunEndsStopsTheEncoder) {
    HeadsetSimulator headset({.size = "320x240"});
    ScratchFolder place;
    const auto knownHosts = place.path() / "known hosts";
    std::ofstream(knownHosts) << headset.knownHostsLine() << '\n';

    const std::pair<const char*, std::function<void(Remote&)>> rows[] = {
        {"STOP",
         [](Remote& run) {
             run.ssh->write("STOP\n"), expectStopped(run, Clock::now(), 0, 2);
         }},
        {"end of input",
         [](Remote& run) {
             run.ssh->closeInput(), expectStopped(run, Clock::now(), 0, 2.5);
         }},
        {"no PING: ends itself 15 s after the start",
         [](Remote& run) {
             expectStopped(run, run.started, 13.8, 17.5);
         }},
        {"PING every 3 s keeps it alive; other lines do not stop it",
         [&headset](Remote& run) {
             for (int i = 0; i < 6; ++i) {
                 run.ssh->write("PING\nstop\n");
                 std::this_thread::sleep_for(3s);
             }
             EXPECT_EQ(headset.exec({"pgrep", "-f", run.encoder}).exitStatus, 0) << "it stopped";
             run.ssh->write("STOP\n"), expectStopped(run, Clock::now(), 0, 2);
         }},
        {"an encoder deaf to interrupt and terminate is killed after 4 + 1 s",
         [&headset](Remote& run) {
             EXPECT_EQ(headset.exec({"pkill", "-STOP", "-f", run.encoder}).exitStatus, 0);
             run.ssh->write("STOP\n"), expectStopped(run, Clock::now(), 4.5, 9);
         }},
        {"the client killed",
         [](Remote& run) {
             ::kill(run.ssh->pid(), SIGKILL);
         }},
    };
    std::vector<std::thread> threads;
    int port = 9000;
    for (const auto& [name, end] : rows) {
        threads.emplace_back([&, name = name, end = end, port = ++port] {
            SCOPED_TRACE(name);
            Remote run = start(headset, knownHosts, port);
            end(run);
            EXPECT_TRUE(headset.waitUntilGone(run.processes, 5s)) << headset.processes();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    // Out of Wi-Fi range, packets vanish without an error: ssh gives up
    // silently after three unanswered keep-alive probes, and the script,
    // pinged no more, stops the encoder.
    Remote run = start(headset, knownHosts, ++port);
    ASSERT_EQ(runProcess({"ip", "link", "set", headset.linkName(), "down"}).exitStatus, 0);
    const auto cut = Clock::now();
    std::optional<int> status;
    while (!status && secondsSince(cut) < 40) {
        run.ssh->write("PING\n");
        status = run.ssh->waitForExit(1s);
    }
    EXPECT_EQ(status, 255);
    EXPECT_GT(secondsSince(cut), 10.0);
    EXPECT_EQ(run.ssh->errorText(), "");
    EXPECT_TRUE(headset.waitUntilGone(run.processes, 20s)) << headset.processes();
}

} // namespace
} // namespace vistrel::test
