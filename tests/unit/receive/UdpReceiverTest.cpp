#include "receive/UdpReceiver.h"

#include "DecodedPictures.h"
#include "HeadsetStream.h"
#include "Messages.h"
#include "RunProcess.h"
#include "StreamError.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vistrel {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

// A UDP socket bound to one loopback address, sending to 127.0.0.1:port.
class Sender {
public:
    explicit Sender(const char* from, std::uint16_t boundPort = 0)
        : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(boundPort);
        ::inet_pton(AF_INET, from, &local.sin_addr);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            throw std::runtime_error("cannot bind a sender");
        }
    }
    ~Sender() { ::close(fd_); }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    void send(std::uint16_t port, const std::uint8_t* data, std::size_t size) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::sendto(fd_, data, size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) !=
            static_cast<ssize_t>(size)) {
            throw std::runtime_error("sendto failed");
        }
    }

    // The stream in datagrams of `size` bytes, from `first` to `last`.
    void sendStream(std::uint16_t port, const Bytes& stream, std::size_t size,
                    std::size_t first = 0, std::size_t last = SIZE_MAX) const {
        for (std::size_t i = first; i * size < stream.size() && i < last; ++i) {
            send(port, stream.data() + i * size, std::min(size, stream.size() - i * size));
        }
    }

private:
    int fd_;
};

// Whether the port can be bound on the wildcard address right now.
bool portIsFree(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return free;
}

std::set<int> openDescriptors() {
    std::set<int> fds;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        fds.insert(std::stoi(entry.path().filename().string()));
    }
    return fds;
}

template <typename Condition> bool waitFor(Condition condition, std::chrono::seconds limit = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Sends like Sender::sendStream, but never lets more than 128 datagrams wait
// in the socket: the kernel's default receive buffer is small, and a sanitizer
// build reads slowly.
void sendPaced(const Sender& sender, const UdpReceiver& receiver, std::uint16_t port,
               const Bytes& stream, std::size_t size, std::size_t first = 0,
               std::size_t last = SIZE_MAX) {
    const auto handled = [&] {
        const UdpReceiver::Statistics s = receiver.statistics();
        return s.datagrams + s.ignoredDatagrams;
    };
    const std::uint64_t start = handled();
    for (std::size_t i = first; i * size < stream.size() && i < last; ++i) {
        const std::uint64_t sent = i - first;
        if (sent >= 128 && !waitFor([&] { return handled() - start + 128 > sent; })) {
            throw std::runtime_error("the receiver stopped reading");
        }
        sender.sendStream(port, stream, size, i, i + 1);
    }
}

std::string startFailure(UdpReceiver& receiver, std::uint16_t port, std::string_view peer) {
    try {
        receiver.start(port, peer);
    } catch (const StreamError& error) {
        return error.message();
    }
    return "started";
}

// Made once for all tests of this file.
struct Material {
    Bytes stream = test::encodeHeadsetStream(320, 240, 3.0);
    std::size_t units = test::referenceAccessUnits(stream).size();
};

const Material& material() {
    static const Material made = [] {
        av_log_set_level(AV_LOG_QUIET);
        return Material{};
    }();
    return made;
}

class UdpReceiverTest : public ::testing::Test {
protected:
    const Bytes* stream_ = &material().stream;
    std::size_t units_ = material().units;
};

TEST_F(UdpReceiverTest, AcceptsOnlyThePeerAddressOnAnyPortAndNoEmptyDatagrams) {
    const std::uint16_t port = test::freeUdpPort();
    UdpReceiver receiver;
    std::atomic<int> frames{0};
    receiver.start(port, "127.0.0.1");
    // Set after start: callbacks are read when they are called.
    receiver.setOnFrame([&](const PixelBuffer& picture) {
        if (picture.width() == 320) {
            ++frames;
        }
    });

    const Sender stranger("127.0.0.2");
    sendPaced(stranger, receiver, port, *stream_, 1316);
    const Sender peer("127.0.0.1");
    const Sender peerOtherPort("127.0.0.1");
    peer.send(port, nullptr, 0);
    // Half from one source port, half from another.
    const std::size_t datagrams = (stream_->size() + 1315) / 1316;
    sendPaced(peer, receiver, port, *stream_, 1316, 0, datagrams / 2);
    sendPaced(peerOtherPort, receiver, port, *stream_, 1316, datagrams / 2);

    ASSERT_TRUE(waitFor([&] { return receiver.statistics().datagrams == datagrams; }));
    const UdpReceiver::Statistics s = receiver.statistics();
    EXPECT_EQ(s.ignoredDatagrams, datagrams + 1);
    EXPECT_EQ(s.bytes, stream_->size());
    EXPECT_EQ(s.droppedPackets, 0U);
    ASSERT_TRUE(waitFor([&] { return frames.load() >= static_cast<int>(units_) - 1; }));
    receiver.stop();
    EXPECT_LE(frames.load(), static_cast<int>(units_));
}

TEST_F(UdpReceiverTest, QueuedDatagramsAreReadInBatchesInOrderAndKernelDropsAreCounted) {
    const std::uint16_t port = test::freeUdpPort();
    UdpReceiver receiver;
    std::promise<void> entered;
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<int> frames{0};
    receiver.setOnFrame([&](const PixelBuffer&) {
        if (frames++ == 0) {
            entered.set_value();
            released.wait(); // hold the receiver thread while datagrams queue up
        }
    });
    receiver.start(port, "127.0.0.1");

    // One packet per datagram, so that any reordering shows as a
    // continuity gap.
    const Sender peer("127.0.0.1");
    const std::size_t total = (stream_->size() + 187) / 188;
    std::size_t sent = 0;
    auto first = entered.get_future();
    while (first.wait_for(0s) != std::future_status::ready) {
        ASSERT_LT(sent, total);
        peer.sendStream(port, *stream_, 188, sent, sent + 1);
        ++sent;
        std::this_thread::sleep_for(100us);
    }
    ASSERT_GE(total - sent, 300U);
    peer.sendStream(port, *stream_, 188, sent, sent + 300);
    sent += 300;
    const UdpReceiver::Statistics held = receiver.statistics();
    // A flood from a stranger overflows the buffer the system granted, which
    // is what was asked for as far as net.core.rmem_max allows (Linux reports
    // twice the usable size).
    std::ifstream limitFile("/proc/sys/net/core/rmem_max");
    std::uint64_t limit = 0;
    limitFile >> limit;
    EXPECT_EQ(held.receiveBufferBytes, 2 * std::min<std::uint64_t>(limit, 4 << 20));
    const std::size_t flood = held.receiveBufferBytes / 1316 + 256;
    const Sender stranger("127.0.0.2");
    for (std::size_t i = 0; i < flood; ++i) {
        stranger.sendStream(port, *stream_, 1316, 0, 1);
    }
    release.set_value();
    // Once the queue has drained, the next datagram brings the drop count.
    std::size_t strangers = flood;
    ASSERT_TRUE(waitFor([&] {
        const UdpReceiver::Statistics s = receiver.statistics();
        if (strangers > flood && s.ignoredDatagrams + s.kernelDrops == strangers) {
            return true;
        }
        stranger.sendStream(port, *stream_, 1316, 0, 1);
        ++strangers;
        return false;
    }));
    sendPaced(peer, receiver, port, *stream_, 188, sent);

    ASSERT_TRUE(waitFor([&] { return receiver.statistics().datagrams == total; }));
    const UdpReceiver::Statistics s = receiver.statistics();
    EXPECT_EQ(s.largestBatch, 128U);
    EXPECT_GE(s.readinessEvents - held.readinessEvents, 3U);
    EXPECT_EQ(s.droppedPackets, 0U);
    EXPECT_GT(s.kernelDrops, 0U);
    EXPECT_EQ(s.ignoredDatagrams + s.kernelDrops, strangers);
    EXPECT_EQ(s.bytes, stream_->size());
    ASSERT_TRUE(waitFor([&] { return frames.load() >= static_cast<int>(units_) - 1; }));
}

TEST_F(UdpReceiverTest, StartFailures) {
    const std::uint16_t taken = test::freeUdpPort();
    const int blocker = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(taken);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::uint16_t free = test::freeUdpPort();
    const std::string inUse = Messages::stepListen(taken) + ": " + systemErrorText(EADDRINUSE);

    struct Case {
        std::uint16_t port;
        const char* peer;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {taken, "127.0.0.1", inUse},
        {taken, "300.1.1.1", inUse}, // the port wins over the address
        {free, "256.0.0.1", std::string(Messages::invalidSource)},
        {free, "", std::string(Messages::invalidSource)},
        {free, "::1", std::string(Messages::invalidSource)},
        {free, "1.2.3", std::string(Messages::invalidSource)},
        {free, "headset.local", std::string(Messages::invalidSource)},
    };
    for (const Case& c : cases) {
        UdpReceiver receiver;
        EXPECT_EQ(startFailure(receiver, c.port, c.peer), c.expected) << c.peer;
        if (c.port == free) {
            EXPECT_TRUE(portIsFree(free)) << "no socket left open for " << c.peer;
        }
        receiver.stop();
    }
    ::close(blocker);
}

TEST_F(UdpReceiverTest, StopIsIdempotentAndEndsReception) {
    const std::uint16_t port = test::freeUdpPort();
    {
        UdpReceiver receiver;
        receiver.stop(); // before start
        const auto before = openDescriptors();
        receiver.start(port, "127.0.0.1");
        EXPECT_FALSE(portIsFree(port));
        // None of its descriptors would leak into a program started meanwhile.
        for (const int fd : openDescriptors()) {
            EXPECT_TRUE(before.contains(fd) || (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0) << fd;
        }
        const Sender peer("127.0.0.1");
        peer.sendStream(port, *stream_, 1316, 0, 5);
        ASSERT_TRUE(waitFor([&] { return receiver.statistics().datagrams == 5; }));
        receiver.stop();
        receiver.stop();
        EXPECT_TRUE(portIsFree(port));
        peer.sendStream(port, *stream_, 1316, 5, 10);
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(receiver.statistics().datagrams, 5U);
    }
    {
        // Destruction stops a running receiver.
        auto receiver = std::make_unique<UdpReceiver>();
        receiver->start(port, "127.0.0.1");
        EXPECT_FALSE(portIsFree(port));
        receiver.reset();
        EXPECT_TRUE(portIsFree(port));
    }
}

// The real thing: ffmpeg with the headset's encoder settings sends over UDP
// in 1,316-byte datagrams, in real time, and pictures come out.
TEST_F(UdpReceiverTest, EndToEndFromFFmpeg) {
    const std::uint16_t port = test::freeUdpPort();
    UdpReceiver receiver;
    std::mutex lock;
    std::vector<PixelBuffer> pictures;
    std::vector<std::string> errors;
    receiver.setOnFrame([&](const PixelBuffer& picture) {
        const std::lock_guard guard(lock);
        pictures.push_back(picture);
    });
    receiver.setOnError([&](const std::string& message) {
        const std::lock_guard guard(lock);
        errors.push_back(message);
    });
    receiver.start(port, "127.0.0.1");

    std::vector<std::string> argv = {
        "ffmpeg", "-nostdin", "-re", "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=20",
        "-t",     "2.5"};
    for (std::string& argument : test::headsetEncoderArguments()) {
        argv.push_back(std::move(argument));
    }
    argv.push_back("udp://127.0.0.1:" + std::to_string(port) + "?pkt_size=1316");
    const test::ProcessResult sent = test::runProcess(argv, {}, {}, 120s);
    ASSERT_EQ(sent.exitStatus, 0) << sent.err;

    ASSERT_TRUE(waitFor([&] {
        const std::lock_guard guard(lock);
        return pictures.size() >= 40;
    }));
    receiver.stop();
    const UdpReceiver::Statistics s = receiver.statistics();
    EXPECT_EQ(s.bytes % 188, 0U) << "whole packets only";
    EXPECT_EQ(s.droppedPackets, 0U);
    EXPECT_TRUE(errors.empty());

    for (const PixelBuffer& picture : pictures) {
        ASSERT_EQ(picture.width(), 1280);
        ASSERT_EQ(picture.height(), 720);
    }
    // testsrc2's colour bars, left to right; sampled down each bar, where
    // the moving parts of the picture may cover a point or two.
    const test::Rgb bars[] = {{255, 0, 0}, {0, 255, 0},   {255, 255, 0},
                              {0, 0, 255}, {255, 0, 255}, {0, 255, 255}};
    for (const PixelBuffer& picture : {pictures.front(), pictures.back()}) {
        for (int bar = 0; bar < 6; ++bar) {
            int matches = 0;
            for (const int x : {1280 * (10 * bar + 3) / 60, 1280 * (10 * bar + 7) / 60}) {
                for (const int y : {100, 200, 300, 420, 500, 600, 680}) {
                    const test::Rgb seen = test::pixel(picture, x, y);
                    const test::Rgb& want = bars[bar];
                    matches += std::abs(seen.r - want.r) < 48 && std::abs(seen.g - want.g) < 48 &&
                                       std::abs(seen.b - want.b) < 48
                                   ? 1
                                   : 0;
                }
            }
            EXPECT_GE(matches, 9) << "bar " << bar << " of 14 samples";
        }
    }
}

} // namespace
} // namespace vistrel
