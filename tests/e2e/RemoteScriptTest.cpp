// The remote script's line protocol over the real ssh, sshd, bash and ffmpeg
// of one simulated headset: every way a run can end stops its encoder, in
// time. The rows run side by side; the cut link, which would end them all,
// has a headset of its own.
#include "HeadsetSimulator.h"
#include "HeadsetStream.h"
#include "connection/ConnectionConfiguration.h"
#include "support/UniqueFd.h"

#include <csignal>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// One run of the script, its video sent to a socket here, on the address the
// application finds on the route to the headset; constructed once the video
// flows, so that the encoder has taken over its signals.
struct Remote {
    Remote(const HeadsetSimulator& headset, const std::filesystem::path& knownHosts) {
        const std::string address =
            ConnectionConfiguration(headset.headsetAddress(), "steamos", 22).localAddress();
        EXPECT_EQ(address, headset.localAddress());
        socket = bindUdp(address);
        processes = ":" + std::to_string(boundPort(socket)) + "\\?";
        ssh = headset.startSsh(boundPort(socket), knownHosts);
        EXPECT_EQ(ssh->readLine(30s).value_or("<no line>"), "VL_STARTED") << ssh->errorText();
        started = Clock::now();
        pollfd video{socket.get(), POLLIN, 0};
        EXPECT_EQ(::poll(&video, 1, 15000), 1) << "no video\n" << headset.processes();
    }
    UniqueFd socket;
    std::string processes; // pgrep -f pattern for its script and encoder on the headset
    std::unique_ptr<ChildProcess> ssh;
    Clock::time_point started; // when the start marker arrived
};

// The script says it stopped between `atLeast` and `atMost` seconds after `from`.
void expectStopped(Remote& run, Clock::time_point from, double atLeast, double atMost) {
    EXPECT_EQ(run.ssh->readLine(30s).value_or("<no line>"), "VL_STOPPED");
    EXPECT_GT(secondsSince(from), atLeast);
    EXPECT_LT(secondsSince(from), atMost);
    EXPECT_EQ(run.ssh->waitForExit(10s), 0) << run.ssh->errorText();
}

class RemoteScript : public ::testing::Test {
protected:
    void SetUp() override { std::ofstream(knownHosts) << headset.knownHostsLine() << '\n'; }
    HeadsetSimulator headset{{.size = "320x240"}};
    ScratchFolder place;
    std::filesystem::path knownHosts = place.path() / "known hosts";
};

TEST_F(RemoteScript, EveryWayARunEndsStopsTheEncoder) {
    const std::pair<const char*, std::function<void(Remote&)>> rows[] = {
        {"STOP",
         [](Remote& run) {
             run.ssh->write("STOP\n");
             expectStopped(run, Clock::now(), 0, 2);
         }},
        {"end of input",
         [](Remote& run) {
             run.ssh->closeInput();
             expectStopped(run, Clock::now(), 0, 2.5);
         }},
        {"no PING: ends itself 15 s after the start",
         [](Remote& run) {
             expectStopped(run, run.started, 13.8, 17.5);
         }},
        {"PING every 3 s keeps it alive; other lines do not stop it",
         [this](Remote& run) {
             for (int i = 0; i < 6; ++i) {
                 run.ssh->write("PING\nstop\n");
                 std::this_thread::sleep_for(3s);
             }
             EXPECT_EQ(
                 headset.exec({"pgrep", "-f", "^/usr/bin/ffmpeg .*" + run.processes}).exitStatus, 0)
                 << "it stopped";
             run.ssh->write("STOP\n");
             expectStopped(run, Clock::now(), 0, 2);
         }},
        {"an encoder deaf to interrupt and terminate is killed after 4 + 1 s",
         [this](Remote& run) {
             EXPECT_EQ(headset.exec({"pkill", "-STOP", "-f", "^/usr/bin/ffmpeg .*" + run.processes})
                           .exitStatus,
                       0);
             run.ssh->write("STOP\n");
             expectStopped(run, Clock::now(), 4.5, 9);
         }},
        {"the client killed",
         [](Remote& run) {
             ::kill(run.ssh->pid(), SIGKILL);
         }},
    };
    std::vector<std::thread> threads;
    for (const auto& [name, end] : rows) {
        threads.emplace_back([&, name = name, end = end] {
            SCOPED_TRACE(name);
            Remote run(headset, knownHosts);
            end(run);
            EXPECT_TRUE(headset.waitUntilGone(run.processes, 5s)) << headset.processes();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

TEST_F(RemoteScript, ACutLinkStopsTheEncoder) {
    // Out of Wi-Fi range, packets vanish without an error: ssh gives up
    // silently after three unanswered keep-alive probes, and the script,
    // pinged no more, stops the encoder.
    Remote run(headset, knownHosts);
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
