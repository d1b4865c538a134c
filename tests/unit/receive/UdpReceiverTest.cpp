#include "receive/UdpReceiver.h"

#include "HeadsetStream.h"
#include "Messages.h"
#include "StreamError.h"
#include "support/UniqueFd.h"

#include <arpa/inet.h>
#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <span>
#include <thread>
#include <tuple>

namespace vistrel {
namespace {

using namespace std::chrono_literals;

struct Socket {
    UniqueFd fd;
    Socket(const char* address, std::uint16_t port) : fd(test::bindUdp(address, port)) {}
    void send(std::uint16_t port, std::span<const std::uint8_t> data) const {
        const sockaddr_in to{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        ASSERT_EQ(::sendto(fd.get(), data.data(), data.size(), 0,
                           reinterpret_cast<const sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(data.size()));
    }
};

bool portIsFree(std::uint16_t port) {
    return test::bindUdp("0.0.0.0", port).valid();
}

template <typename Condition> bool waitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(2ms);
    }
    return condition();
}

// Sends `stream` in datagrams of `size` bytes, never more than 100 ahead of
// the receiver: the system's receive buffer is small, a sanitizer build slow.
void sendPaced(const Socket& from, const UdpReceiver& receiver, std::uint16_t port,
               std::span<const std::uint8_t> stream, std::size_t size) {
    const auto handled = [&] {
        return receiver.statistics().datagrams + receiver.statistics().ignoredDatagrams;
    };
    const std::uint64_t start = handled();
    for (std::uint64_t sent = 0; !stream.empty(); ++sent) {
        ASSERT_TRUE(waitFor([&] { return handled() - start + 100 > sent; }));
        ASSERT_NO_FATAL_FAILURE(from.send(port, stream.first(std::min(size, stream.size()))));
        stream = stream.subspan(std::min(size, stream.size()));
    }
}

// One transport packet a datagram, so that any loss or reordering shows as a
// continuity gap; a stranger's datagrams and an empty one are ignored. No
// descriptor is left for a program started meanwhile to inherit, and one
// stop() frees the port, as does the destructor.
TEST(UdpReceiverTest, TakesOnlyThePeersDatagramsLosesNoneAndFreesThePort) {
    const auto inherited = [] {
        std::set<int> fds;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            const int number = std::stoi(fd.path().filename());
            if ((::fcntl(number, F_GETFD) & FD_CLOEXEC) == 0) {
                fds.insert(number);
            }
        }
        return fds;
    };
    const std::set<int> before = inherited();
    const test::TestStream& stream = test::testStream("320x240");
    const std::uint16_t port = test::freeUdpPort();
    auto receiver = std::make_unique<UdpReceiver>();
    receiver->start(port, "127.0.0.1");
    EXPECT_FALSE(portIsFree(port));
    EXPECT_EQ(inherited(), before);
    std::atomic<std::size_t> frames{0};
    receiver->setOnFrame([&](const PixelBuffer&) { ++frames; }); // read at each call
    const Socket stranger("127.0.0.2", 0);
    ASSERT_NO_FATAL_FAILURE(sendPaced(stranger, *receiver, port, stream.bytes, 1316));
    const Socket peer("127.0.0.1", 0);
    const Socket peerElsewhere("127.0.0.1", 0); // ffmpeg may send from any port
    ASSERT_NO_FATAL_FAILURE(peer.send(port, {}));
    const std::size_t half = stream.bytes.size() / 2 / 188 * 188;
    const std::span<const std::uint8_t> bytes(stream.bytes);
    ASSERT_NO_FATAL_FAILURE(sendPaced(peer, *receiver, port, bytes.first(half), 188));
    ASSERT_NO_FATAL_FAILURE(sendPaced(peerElsewhere, *receiver, port, bytes.subspan(half), 188));
    ASSERT_TRUE(
        waitFor([&] { return receiver->statistics().datagrams == stream.bytes.size() / 188; }));
    ASSERT_TRUE(waitFor([&] { return frames + 1 >= stream.units.size(); }));
    receiver->stop();
    EXPECT_TRUE(portIsFree(port));
    const UdpReceiver::Statistics s = receiver->statistics();
    EXPECT_EQ(s.ignoredDatagrams, (stream.bytes.size() + 1315) / 1316 + 1);
    EXPECT_EQ(s.bytes, stream.bytes.size());
    EXPECT_EQ(s.droppedPackets, 0U);
    EXPECT_GE(s.readinessEvents, 3U);
    receiver->start(port, "127.0.0.1");
    receiver.reset();
    EXPECT_TRUE(portIsFree(port));
}

TEST(UdpReceiverTest, StartFailuresLeaveNoSocketAndTheBindMessageWins) {
    const std::uint16_t taken = test::freeUdpPort();
    const Socket blocker("0.0.0.0", taken);
    ASSERT_TRUE(blocker.fd.valid());
    const std::uint16_t free = test::freeUdpPort();
    for (const auto& [port, peer, expected] :
         {std::tuple<std::uint16_t, const char*, std::string>{
              taken, "300.1.1.1", Messages::stepListen(taken) + ": " + systemErrorText(EADDRINUSE)},
          {free, "::1", std::string(Messages::invalidSource)}}) {
        UdpReceiver receiver;
        try {
            receiver.start(port, peer);
            ADD_FAILURE() << "started for " << peer;
        } catch (const StreamError& error) {
            EXPECT_EQ(error.message(), expected) << peer;
        }
        EXPECT_TRUE(portIsFree(free)) << peer;
    }
}

} // namespace
} // namespace vistrel
