#include "receive/UdpReceiver.h"

#include "Messages.h"
#include "StreamError.h"
#include "receive/VideoPipeline.h"
#include "support/UniqueFd.h"

#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/uio.h>
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
// thread alone (its decode times excepted, which are atomics); the callbacks
// are guarded by callbackLock, which is never held while one of them runs;
// the counters are atomics.
struct UdpReceiver::State {
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
        for (int i = 0; i < datagramsPerWakeUp && !stopping.load(std::memory_order_relaxed); ++i) {
            sockaddr_in sender{};
            iovec data{buffer.data(), buffer.size()};
            alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(std::uint32_t))> control{};
            msghdr message{};
            message.msg_name = &sender;
            message.msg_namelen = sizeof sender;
            message.msg_iov = &data;
            message.msg_iovlen = 1;
            message.msg_control = control.data();
            message.msg_controllen = control.size();
            const ssize_t received = ::recvmsg(socket.get(), &message, 0);
            if (received < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    reportError(StreamError::posix(Messages::stepReceive).message());
                }
                break;
            }
            noteKernelDrops(message);
            // The sender's port is not checked: ffmpeg picks any.
            if (received == 0 || sender.sin_family != AF_INET || sender.sin_addr.s_addr != peer) {
                ignoredDatagrams.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            if (datagrams.fetch_add(1, std::memory_order_relaxed) == 0) {
                firstDatagramAt.store(now(), std::memory_order_relaxed);
            }
            bytes.fetch_add(static_cast<std::uint64_t>(received), std::memory_order_relaxed);
            video.append(
                std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(received)));
            droppedPackets.store(video.droppedPackets(), std::memory_order_relaxed);
        }
    }

    // The kernel tells, with each datagram, how many it has dropped for this
    // socket so far for want of buffer space.
    void noteKernelDrops(msghdr& message) {
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL &&
                c->cmsg_len >= CMSG_LEN(sizeof(std::uint32_t))) {
                std::uint32_t dropped = 0;
                std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
                kernelDrops.store(dropped, std::memory_order_relaxed);
            }
        }
    }

    mutable std::mutex callbackLock;
    std::shared_ptr<const FrameCallback> onFrame;
    std::shared_ptr<const ErrorCallback> onError;

    static std::int64_t now() {
        return std::chrono::steady_clock::now().time_since_epoch().count();
    }

    VideoPipeline video{[this](const PixelBuffer& picture) {
                            if (frames.fetch_add(1, std::memory_order_relaxed) == 0) {
                                firstPictureAt.store(now(), std::memory_order_relaxed);
                            }
                            if (picture.isDamaged()) {
                                damagedFrames.fetch_add(1, std::memory_order_relaxed);
                            }
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
    std::atomic<std::uint64_t> droppedPackets{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> damagedFrames{0};
    std::atomic<std::uint64_t> kernelDrops{0};
    // Ticks of the steady clock; 0 until it happened.
    std::atomic<std::int64_t> firstDatagramAt{0};
    std::atomic<std::int64_t> firstPictureAt{0};
};

UdpReceiver::UdpReceiver() : state_(std::make_unique<State>()) {
}

UdpReceiver::~UdpReceiver() {
    stop();
}

void UdpReceiver::setOnFrame(FrameCallback callback) {
    auto shared = callback ? std::make_shared<const FrameCallback>(std::move(callback)) : nullptr;
    const std::lock_guard lock(state_->callbackLock);
    state_->onFrame = std::move(shared);
}

void UdpReceiver::setOnError(ErrorCallback callback) {
    auto shared = callback ? std::make_shared<const ErrorCallback>(std::move(callback)) : nullptr;
    const std::lock_guard lock(state_->callbackLock);
    state_->onError = std::move(shared);
}

UdpReceiver::FrameCallback UdpReceiver::frameCallback() const {
    const std::lock_guard lock(state_->callbackLock);
    return state_->onFrame ? *state_->onFrame : FrameCallback{};
}

UdpReceiver::ErrorCallback UdpReceiver::errorCallback() const {
    const std::lock_guard lock(state_->callbackLock);
    return state_->onError ? *state_->onError : ErrorCallback{};
}

void UdpReceiver::setLossPolicy(LossPolicy policy) noexcept {
    state_->video.setLossPolicy(policy);
}

void UdpReceiver::start(std::uint16_t port, std::string_view peer) {
    stop();
    State& p = *state_;

    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket) {
        throw StreamError::posix(Messages::stepOpenReceiver);
    }
    // A larger buffer rides out a keyframe burst while a picture is decoded.
    // The system caps it at net.core.rmem_max without a word, so the
    // datagrams it drops are counted.
    const int size = receiveBufferSize;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    p.kernelDrops.store(0, std::memory_order_relaxed);
    const int on = 1;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);

    const int flags = ::fcntl(socket.get(), F_GETFL);
    if (flags < 0 || ::fcntl(socket.get(), F_SETFL, flags | O_NONBLOCK) < 0) {
        throw StreamError::posix(Messages::stepConfigureReceiver);
    }

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int error = errno; // before the step's name is built
        throw StreamError::posix(Messages::stepListen(port), error);
    }

    // Parsed after the bind on purpose: a port in use is the failure worth
    // telling even when the address is wrong too.
    in_addr parsed{};
    const std::string peerText(peer);
    if (::inet_pton(AF_INET, peerText.c_str(), &parsed) != 1) {
        throw StreamError(std::string(Messages::invalidSource));
    }

    // Close-on-exec from the start: ssh or ffmpeg started by another thread
    // meanwhile must not inherit either end.
    int wake[2] = {-1, -1};
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        throw StreamError::posix(Messages::stepOpenReceiver);
    }
    UniqueFd wakeRead(wake[0]);
    UniqueFd wakeWrite(wake[1]);

    p.peer = parsed.s_addr;
    p.socket = std::move(socket);
    p.wakeRead = std::move(wakeRead);
    p.wakeWrite = std::move(wakeWrite);
    p.stopping.store(false, std::memory_order_release);
    p.thread = std::thread([&p] { p.run(); });
}

void UdpReceiver::stop() {
    State& p = *state_;
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
    const State& p = *state_;
    Statistics s;
    s.datagrams = p.datagrams.load(std::memory_order_relaxed);
    s.bytes = p.bytes.load(std::memory_order_relaxed);
    s.ignoredDatagrams = p.ignoredDatagrams.load(std::memory_order_relaxed);
    s.readinessEvents = p.readinessEvents.load(std::memory_order_relaxed);
    s.droppedPackets = p.droppedPackets.load(std::memory_order_relaxed);
    s.frames = p.frames.load(std::memory_order_relaxed);
    s.damagedFrames = p.damagedFrames.load(std::memory_order_relaxed);
    s.waitingForKeyframe = p.video.waitingForKeyframe();
    s.kernelDrops = p.kernelDrops.load(std::memory_order_relaxed);
    s.decodedUnits = p.video.decodeTimes().units();
    s.decodeNanos = p.video.decodeTimes().nanos();
    return s;
}

std::uint64_t UdpReceiver::takeSlowestDecode() const {
    return state_->video.decodeTimes().takeSlowest();
}

UdpReceiver::StartTimes UdpReceiver::startTimes() const {
    const auto moment = [](std::int64_t ticks) -> StartTimes::Moment {
        if (ticks == 0) {
            return std::nullopt;
        }
        return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(ticks));
    };
    const State& p = *state_;
    return {moment(p.firstDatagramAt.load(std::memory_order_relaxed)),
            moment(p.video.firstAccessUnitAt()), moment(p.video.firstKeyframeAt()),
            moment(p.firstPictureAt.load(std::memory_order_relaxed))};
}

} // namespace vistrel
