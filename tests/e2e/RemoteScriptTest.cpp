// The remote script's line protocol, run for real: /usr/bin/ssh with the
// application's arguments, a real sshd, bash and ffmpeg on the simulated
// headset, and the video counted on a plain UDP socket.
#include "HeadsetSimulator.h"
#include "RemoteScriptSession.h"
#include "UdpProbe.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <signal.h>
#include <thread>

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

class RemoteScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto reason = HeadsetSimulator::skipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        headset_ = std::make_unique<HeadsetSimulator>(options());
        probe_ = std::make_unique<UdpProbe>(headset_->localAddress());
        session_ = std::make_unique<RemoteScriptSession>(*headset_, probe_->port());
    }

    virtual HeadsetSimulatorOptions options() { return {}; }

    // Starts ssh and waits for the start marker.
    ChildProcess& startStreaming() {
        auto& ssh = session_->start();
        const auto line = ssh.readLine(30s);
        EXPECT_EQ(line.value_or("<no line>"), "VL_STARTED") << ssh.errorText();
        started_ = Clock::now();
        return ssh;
    }

    // What runs on the headset, for failure messages.
    [[nodiscard]] std::string headsetProcesses() const {
        std::string text = "\nheadset processes:";
        for (const auto& process : headset_->processes()) {
            text += "\n  " + std::to_string(process.pid) + " " + process.commandLine.substr(0, 100);
        }
        return text;
    }

    // After the script ended: no encoder on the headset and no more video.
    void expectEncoderGone() {
        EXPECT_TRUE(headset_->waitUntilGone("ffmpeg", 2s));
        EXPECT_TRUE(headset_->waitUntilGone("bash", 2s));
        probe_->receiveFor(300ms); // what was still on its way
        EXPECT_TRUE(probe_->receiveFor(1500ms).empty()) << "video still arrives after the stop";
    }

    std::unique_ptr<HeadsetSimulator> headset_;
    std::unique_ptr<UdpProbe> probe_;
    std::unique_ptr<RemoteScriptSession> session_;
    Clock::time_point started_;
};

TEST_F(RemoteScriptTest, StreamsTransportStreamDatagramsAndStopsOnStop) {
    auto& ssh = startStreaming();

    // Let the encoder settle, then look at three seconds of video.
    ASSERT_FALSE(probe_->receiveCount(50, 15s).empty()) << ssh.errorText();
    const auto datagrams = probe_->receiveFor(3s);
    ASSERT_GT(datagrams.size(), 100U) << ssh.errorText();

    int shortOnes = 0;
    int pictures = 0;
    for (std::size_t i = 0; i < datagrams.size(); ++i) {
        const auto& datagram = datagrams[i];
        EXPECT_EQ(datagram.sender, headset_->headsetAddress());
        EXPECT_LE(datagram.size, 1316U);
        EXPECT_EQ(datagram.size % 188, 0U) << "not whole transport-stream packets";
        pictures += datagram.payloadStarts;
        if (datagram.size < 1316) {
            ++shortOnes;
            // A picture ends with the short datagram: the next one opens the next picture.
            if (i + 1 < datagrams.size()) {
                EXPECT_GE(datagrams[i + 1].payloadStarts, 1) << "after datagram " << i;
            }
        }
    }
    // About 20 pictures a second. Most end in a shorter datagram; one whose
    // packets fill the last datagram exactly ends in a full one.
    EXPECT_GE(pictures, 30);
    EXPECT_LE(pictures, 90);
    EXPECT_LE(shortOnes, pictures + 1);
    EXPECT_GE(shortOnes, pictures * 2 / 3);

    ASSERT_TRUE(ssh.write("STOP\n"));
    const auto stopAsked = Clock::now();
    EXPECT_EQ(ssh.readLine(5s).value_or("<no line>"), "VL_STOPPED");
    const auto status = ssh.waitForExit(10s);
    const double took = secondsBetween(stopAsked, Clock::now());
    EXPECT_EQ(status, 0) << ssh.errorText();
    EXPECT_LT(took, 1.0) << "STOP took " << took << " s";
    expectEncoderGone();
}

TEST_F(RemoteScriptTest, EndOfInputStopsWithinTwoSeconds) {
    auto& ssh = startStreaming();
    ASSERT_FALSE(probe_->receiveCount(20, 15s).empty());

    ssh.closeInput();
    const auto closed = Clock::now();
    EXPECT_EQ(ssh.readLine(5s).value_or("<no line>"), "VL_STOPPED");
    const auto status = ssh.waitForExit(10s);
    const double took = secondsBetween(closed, Clock::now());
    EXPECT_EQ(status, 0) << ssh.errorText();
    EXPECT_LT(took, 2.5) << "end of input took " << took << " s";
    expectEncoderGone();
}

TEST_F(RemoteScriptTest, EndsByItselfFourteenToSeventeenSecondsWithoutPing) {
    auto& ssh = startStreaming();
    const auto stopped = ssh.readLine(30s);
    const double after = secondsBetween(started_, Clock::now());
    EXPECT_EQ(stopped.value_or("<no line>"), "VL_STOPPED");
    EXPECT_EQ(ssh.waitForExit(10s), 0) << ssh.errorText();
    // The start marker reaches us a little after the script set its deadline.
    EXPECT_GE(after, 13.8);
    EXPECT_LE(after, 17.5);
    expectEncoderGone();
}

TEST_F(RemoteScriptTest, PingEveryThreeSecondsKeepsItStreaming) {
    auto& ssh = startStreaming();
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(ssh.write("PING\n"));
        // Lines other than PING and STOP are ignored and move no deadline.
        ASSERT_TRUE(ssh.write("stop\n"));
        probe_->receiveFor(3s);
    }
    // 21 seconds after the start, well beyond a deadline of 15 s.
    EXPECT_FALSE(ssh.waitForExit(10ms).has_value()) << ssh.errorText();
    EXPECT_FALSE(probe_->receiveFor(1s).empty()) << "the video stopped while kept alive";
    EXPECT_EQ(ssh.pendingOutput(), "");

    ASSERT_TRUE(ssh.write("STOP\n"));
    EXPECT_EQ(ssh.readLine(10s).value_or("<no line>"), "VL_STOPPED")
        << ssh.errorText() << headsetProcesses();
    EXPECT_EQ(ssh.waitForExit(10s), 0) << ssh.errorText();
    expectEncoderGone();
}

TEST_F(RemoteScriptTest, EncoderEndingOnASignalPassesItsStatusOn) {
    auto& ssh = startStreaming();
    ASSERT_FALSE(probe_->receiveCount(20, 15s).empty());
    // Interrupted from elsewhere, ffmpeg exits with 255.
    ASSERT_EQ(headset_->signalProcesses("ffmpeg", SIGINT), 1) << headsetProcesses();
    EXPECT_EQ(ssh.readLine(10s).value_or("<no line>"), "VL_STOPPED");
    EXPECT_EQ(ssh.waitForExit(10s), 255) << ssh.errorText();
    expectEncoderGone();
}

class FiniteSourceTest : public RemoteScriptTest {
protected:
    HeadsetSimulatorOptions options() override {
        HeadsetSimulatorOptions finite;
        finite.source = "testsrc2=size=320x240:rate=20:duration=2";
        return finite;
    }
};

TEST_F(FiniteSourceTest, EncoderThatFinishesByItselfGivesStatusOne) {
    auto& ssh = startStreaming();
    ASSERT_FALSE(probe_->receiveCount(5, 15s).empty());
    // ffmpeg reached the end of its input and exited 0; the script says 1.
    EXPECT_EQ(ssh.readLine(15s).value_or("<no line>"), "VL_STOPPED");
    EXPECT_EQ(ssh.waitForExit(10s), 1) << ssh.errorText();
    EXPECT_EQ(ssh.errorText(), "");
    expectEncoderGone();
}

TEST_F(RemoteScriptTest, HangUpOfTheConnectionStopsTheEncoder) {
    auto& ssh = startStreaming();
    ASSERT_FALSE(probe_->receiveCount(20, 15s).empty());
    // The client vanishing without a word: sshd hangs up on the session.
    ::kill(ssh.pid(), SIGKILL);
    ssh.waitForExit(5s);
    expectEncoderGone();
}

class StubbornEncoderTest : public RemoteScriptTest {
protected:
    HeadsetSimulatorOptions options() override {
        HeadsetSimulatorOptions stubborn;
        stubborn.stubbornEncoder = true;
        return stubborn;
    }
};

TEST_F(StubbornEncoderTest, EncoderIgnoringTheInterruptIsTerminatedAndKilled) {
    auto& ssh = startStreaming();
    ASSERT_FALSE(probe_->receiveCount(20, 15s).empty());

    ASSERT_TRUE(ssh.write("STOP\n"));
    const auto stopAsked = Clock::now();
    // Four seconds of interrupts, terminate, one more second, kill.
    EXPECT_TRUE(ssh.readLine(3500ms) == std::nullopt) << "stopped before the interrupt grace";
    EXPECT_FALSE(probe_->receiveFor(200ms).empty()) << "the stubborn encoder stopped on interrupt";
    EXPECT_EQ(ssh.readLine(10s).value_or("<no line>"), "VL_STOPPED");
    const double took = secondsBetween(stopAsked, Clock::now());
    EXPECT_EQ(ssh.waitForExit(10s), 0) << ssh.errorText();
    EXPECT_GE(took, 4.5);
    EXPECT_LE(took, 9.0);
    expectEncoderGone();
}

} // namespace
} // namespace vistrel::test
