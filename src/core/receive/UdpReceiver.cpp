#include "receive/UdpReceiver.h"

#include "Messages.h"
#include "StreamError.h"
#include "receive/VideoPipeline.h"
#include "support/UniqueFd.h"

#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vistrel {

namespace {

constexpr int receiveBufferSize = 4 * 1024 * 1024;
constexpr std::size_t datagramBufferSize = std::size_t{64} * 1024;
// Bounds the time spent in one wake-up so that stop() is noticed promptly.
constexpr int datagramsPerWakeUp = 128;

} // namespace

// Everything the receiver thread touches. The video pipeline belongs to that
// thread alone; the callbacks are guarded by callbackLock, which is never held
// while one of them runs; the counters are atomics.
struct UdpReceiver::Pipeline {
    std::shared_ptr<const FrameCallback> frameCallback() const {
        const std::lock_guard lock(callbackLock);
        return onFrame;
    }

    void reportError(const std::string& message) const {
        std::shared_ptr<const ErrorCallback> callback;
        {
            const std::lock_guard lock(callbackLock);
            callback = onError;
        }
        if (callback) {
            (*callback)(message);
        }
    }

    void run() {
        pthread_setname_np(pthread_self(), "vistrel-receive");
        std::array<pollfd, 2> watched{{{socket.get(), POLLIN, 0}, {wakeRead.get(), POLLIN, 0}}};
        while (!stopping.load(std::memory_order_acquire)) {
            if (::poll(watched.data(), watched.size(), -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                reportError(StreamError::posix(Messages::stepReceive).message());
                return;
            }
            if (watched[1].revents != 0) {
                return;
            }
            if (watched[0].revents != 0) {
                readDatagrams();
            }
        }
    }

    void readDatagrams() {
        readinessEvents.fetch_add(1, std::memory_order_relaxed);
        std::uint64_t batch = 0;
        for (int i = 0; i < datagramsPerWakeUp && !stopping.load(std::memory_order_relaxed); ++i) {
            sockaddr_in sender{};
            socklen_t senderLength = sizeof sender;
            const ssize_t received =
                ::recvfrom(socket.get(), buffer.data(), buffer.size(), 0,
                           reinterpret_cast<sockaddr*>(&sender), &senderLength);
            if (received < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    reportError(StreamError::posix(Messages::stepReceive).message());
                }
                break;
            }
            ++batch;
            // The sender's port is not checked: ffmpeg picks any.
            if (received == 0 || sender.sin_family != AF_INET || sender.sin_addr.s_addr != peer) {
                ignoredDatagrams.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            datagrams.fetch_add(1, std::memory_order_relaxed);
            bytes.fetch_add(static_cast<std::uint64_t>(received), std::memory_order_relaxed);
            video.append(
                std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(received)));
            droppedPackets.store(video.droppedPackets(), std::memory_order_relaxed);
        }
        if (batch > largestBatch.load(std::memory_order_relaxed)) {
            largestBatch.store(batch, std::memory_order_relaxed);
        }
    }

    mutable std::mutex callbackLock;
    std::shared_ptr<const FrameCallback> onFrame;
    std::shared_ptr<const ErrorCallback> onError;

    VideoPipeline video{[this](const PixelBuffer& picture) {
                            frames.fetch_add(1, std::memory_order_relaxed);
                            if (const auto callback = frameCallback()) {
                                (*callback)(picture);
                            }
                        },
                        [this](const std::string& message) {
                            reportError(message);
                        }};
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(datagramBufferSize);
    in_addr_t peer = 0;

    UniqueFd socket;
    UniqueFd wakeRead;
    UniqueFd wakeWrite;
    std::thread thread;
    std::atomic<bool> stopping{false};

    std::atomic<std::uint64_t> datagrams{0};
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> ignoredDatagrams{0};
    std::atomic<std::uint64_t> readinessEvents{0};
    std::atomic<std::uint64_t> largestBatch{0};
    std::atomic<std::uint64_t> droppedPackets{0};
    std::atomic<std::uint64_t> frames{0};
};

UdpReceiver::UdpReceiver() : pipeline_(std::make_unique<Pipeline>()) {
}

UdpReceiver::~UdpReceiver() {
    stop();
}

void UdpReceiver::setOnFrame(FrameCallback callback) {
    auto shared = callback ? std::make_shared<const FrameCallback>(std::move(callback)) : nullptr;
    const std::lock_guard lock(pipeline_->callbackLock);
    pipeline_->onFrame = std::move(shared);
}

void UdpReceiver::setOnError(ErrorCallback callback) {
    auto shared = callback ? std::make_shared<const ErrorCallback>(std::move(callback)) : nullptr;
    const std::lock_guard lock(pipeline_->callbackLock);
    pipeline_->onError = std::move(shared);
}

void UdpReceiver::start(std::uint16_t port, std::string_view peer) {
    stop();
    Pipeline& p = *pipeline_;

    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket) {
        throw StreamError::posix(Messages::stepOpenReceiver);
    }
    // A larger buffer rides out a keyframe burst while a picture is decoded;
    // the system may grant less, which only costs headroom.
    const int size = receiveBufferSize;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);

    const int flags = ::fcntl(socket.get(), F_GETFL);
    if (flags < 0 || ::fcntl(socket.get(), F_SETFL, flags | O_NONBLOCK) < 0) {
        throw StreamError::posix(Messages::stepConfigureReceiver);
    }

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        throw StreamError::posix(Messages::stepListen(port));
    }

    // Parsed after the bind on purpose: a port in use is the failure worth
    // telling even when the address is wrong too.
    in_addr parsed{};
    const std::string peerText(peer);
    if (::inet_pton(AF_INET, peerText.c_str(), &parsed) != 1) {
        throw StreamError(std::string(Messages::invalidSource));
    }

    int wake[2] = {-1, -1};
    if (::pipe(wake) != 0) {
        throw StreamError::posix(Messages::stepOpenReceiver);
    }
    UniqueFd wakeRead(wake[0]);
    UniqueFd wakeWrite(wake[1]);
    ::fcntl(wakeRead.get(), F_SETFD, FD_CLOEXEC);
    ::fcntl(wakeWrite.get(), F_SETFD, FD_CLOEXEC);

    p.peer = parsed.s_addr;
    p.socket = std::move(socket);
    p.wakeRead = std::move(wakeRead);
    p.wakeWrite = std::move(wakeWrite);
    p.stopping.store(false, std::memory_order_release);
    p.thread = std::thread([&p] { p.run(); });
}

void UdpReceiver::stop() {
    Pipeline& p = *pipeline_;
    if (!p.thread.joinable()) {
        p.socket.reset();
        return;
    }
    p.stopping.store(true, std::memory_order_release);
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(p.wakeWrite.get(), &wake, 1);
    if (p.thread.get_id() == std::this_thread::get_id()) {
        // Called from one of our own callbacks: the thread ends as soon as
        // the callback returns; the next stop() or the destructor joins it.
        return;
    }
    p.thread.join();
    p.socket.reset();
    p.wakeRead.reset();
    p.wakeWrite.reset();
}

UdpReceiver::Statistics UdpReceiver::statistics() const {
    const Pipeline& p = *pipeline_;
    Statistics s;
    s.datagrams = p.datagrams.load(std::memory_order_relaxed);
    s.bytes = p.bytes.load(std::memory_order_relaxed);
    s.ignoredDatagrams = p.ignoredDatagrams.load(std::memory_order_relaxed);
    s.readinessEvents = p.readinessEvents.load(std::memory_order_relaxed);
    s.largestBatch = p.largestBatch.load(std::memory_order_relaxed);
    s.droppedPackets = p.droppedPackets.load(std::memory_order_relaxed);
    s.frames = p.frames.load(std::memory_order_relaxed);
    return s;
}

} // namespace vistrel
