// The headset's stream live on loopback with a clock in its pictures, for
// live_bench: a thread hands ffmpeg a testsrc2 picture every 50 ms with its
// number painted into the top rows, noting that moment as its capture time;
// ffmpeg encodes and sends with the remote script's encoder arguments to a
// tap, which passes each datagram on to port() at once (or drops it, when
// told to, as a lossy network would) and keeps every one with when it came.
#pragma once

#include "Bench.h"
#include "ChildProcess.h"
#include "HeadsetStream.h"
#include "receive/PixelBuffer.h"
#include "support/UniqueFd.h"

#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <poll.h>
#include <span>
#include <stdexcept>
#include <thread>

namespace vistrel::bench {

using Clock = std::chrono::steady_clock;

struct Size {
    int width;
    int height;
};

class StampedStream {
public:
    struct Arrival {
        Clock::time_point at;
        std::vector<std::uint8_t> bytes;
        bool dropped = false;
    };
    // Runs on the tap's thread, once per datagram in arrival order.
    using DropRule = std::function<bool(std::span<const std::uint8_t> datagram)>;

    explicit StampedStream(Size size)
        : size_(size), port_(test::freeUdpPort()),
          socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), pictures_(testPictures()),
          captured_(longestRun), encoder_(encoderCommand()) {
        for (auto& at : captured_) {
            at.store(-1, std::memory_order_relaxed);
        }
        arrivals_.reserve(200000);
        tap_ = std::thread([this] { tap(); });
        feeder_ = std::thread([this] { feed(); });
        helpers_ = {tap_.native_handle(), feeder_.native_handle()};
    }
    ~StampedStream() { stop(); }
    // Stops sending; what arrived is kept for take().
    void stop() {
        if (!stopping_.exchange(true)) {
            feeder_.join();
            encoder_.closeInput();
            encoder_.waitForExit(std::chrono::seconds(5));
            tap_.join();
        }
    }
    StampedStream(const StampedStream&) = delete;
    StampedStream& operator=(const StampedStream&) = delete;

    [[nodiscard]] std::uint16_t port() const { return port_; } // on 127.0.0.1
    [[nodiscard]] std::optional<Clock::time_point> capturedAt(std::uint32_t number) const {
        const std::int64_t at =
            number < captured_.size() ? captured_[number].load(std::memory_order_acquire) : -1;
        return at < 0 ? std::nullopt : std::optional(epoch_ + Clock::duration(at));
    }
    // The feeder's and the tap's threads, which run in this process.
    [[nodiscard]] double helperCpuSeconds() const {
        return test::threadCpuSeconds(helpers_[0]) + test::threadCpuSeconds(helpers_[1]);
    }
    void dropWhen(DropRule rule) { // empty: drop none
        const std::lock_guard lock(lock_);
        drop_ = std::move(rule);
    }
    // What arrived since the previous take, in order.
    std::vector<Arrival> take() {
        const std::lock_guard lock(lock_);
        return std::exchange(arrivals_, {});
    }

    // The number painted into a picture; nothing when its two rows disagree.
    static std::optional<std::uint32_t> stampOf(const std::uint8_t* luma, std::ptrdiff_t stride) {
        std::uint32_t rows[2] = {0, 0};
        for (int row = 0; row < 2; ++row) {
            const std::uint8_t* centre = luma + (row * block + block / 2) * stride + block / 2;
            for (int bit = 0; bit < bits; ++bit) {
                rows[row] = (rows[row] << 1) | (centre[bit * block] >= 128 ? 1U : 0U);
            }
        }
        return rows[1] == check(rows[0]) ? std::optional(rows[0]) : std::nullopt;
    }
    static std::optional<std::uint32_t> stampOf(const PixelBuffer& picture) {
        return stampOf(picture.frame()->data[0], picture.frame()->linesize[0]);
    }

private:
    static constexpr std::size_t longestRun = 20 * 3600;
    // Black and white macroblocks survive H.264 at any quality the headset uses.
    static constexpr int block = 16;
    static constexpr int bits = 32;

    // The second row of the stamp. Not the number's complement: a picture
    // decoded on a damaged reference adds its changes to the wrong blocks,
    // which turns a number and its complement into another valid pair.
    static constexpr std::uint32_t check(std::uint32_t number) {
        number *= 0x9E3779B1U;
        return number ^ (number >> 15) ^ 0xA5A5A5A5U;
    }

    [[nodiscard]] std::string sizeText() const {
        return std::to_string(size_.width) + "x" + std::to_string(size_.height);
    }

    // One second of testsrc2, so that the encoder sees moving content, in a loop.
    [[nodiscard]] std::vector<std::string> testPictures() const {
        const test::ProcessResult made = test::runProcess(words(
            "ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=rate=20:size=" + sizeText() +
            " -frames:v 20 -f rawvideo -pix_fmt yuv420p -"));
        const auto bytes = static_cast<std::size_t>(size_.width * size_.height) * 3 / 2;
        if (made.exitStatus != 0 || made.out.size() < bytes || size_.width < bits * block ||
            size_.height < 2 * block) {
            throw std::runtime_error("no test pictures of " + sizeText() + ": " + made.err);
        }
        std::vector<std::string> pictures;
        for (std::size_t at = 0; at + bytes <= made.out.size(); at += bytes) {
            pictures.push_back(made.out.substr(at, bytes));
        }
        return pictures;
    }

    // Binds the tap, to which the encoder sends.
    std::vector<std::string> encoderCommand() {
        sockaddr_in local{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof local;
        const int bufferSize = 4 * 1024 * 1024;
        if (!socket_ ||
            ::setsockopt(socket_.get(), SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize) !=
                0 ||
            ::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
            ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
            throw std::runtime_error(std::string("tap socket: ") + std::strerror(errno));
        }
        std::vector<std::string> argv =
            words("ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt yuv420p -video_size " +
                  sizeText() + " -framerate 20 -i -");
        for (std::string& argument : test::headsetEncoderArguments()) {
            argv.push_back(std::move(argument));
        }
        argv.push_back(test::headsetDestination(ntohs(local.sin_port)));
        return argv;
    }

    void feed() {
        pthread_setname_np(pthread_self(), "stamped-sender");
        const Clock::time_point start = Clock::now();
        for (std::uint32_t number = 0; number < longestRun && !stopping_.load(); ++number) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(50) * number);
            std::string& picture = pictures_[number % pictures_.size()];
            for (int row = 0; row < 2; ++row) {
                for (int y = 0; y < block; ++y) {
                    for (int bit = 0; bit < bits; ++bit) {
                        const std::uint32_t value = row == 0 ? number : check(number);
                        std::memset(&picture[static_cast<std::size_t>(
                                        (row * block + y) * size_.width + bit * block)],
                                    ((value >> (bits - 1 - bit)) & 1U) != 0 ? 235 : 16, block);
                    }
                }
            }
            captured_[number].store((Clock::now() - epoch_).count(), std::memory_order_release);
            if (!encoder_.write(picture)) {
                return;
            }
        }
    }

    void tap() {
        pthread_setname_np(pthread_self(), "datagram-tap");
        const sockaddr_in target{AF_INET, htons(port_), {htonl(INADDR_LOOPBACK)}, {}};
        std::vector<std::uint8_t> buffer(65536);
        while (!stopping_.load(std::memory_order_relaxed)) {
            pollfd ready{socket_.get(), POLLIN, 0};
            const ssize_t n = ::poll(&ready, 1, 100) > 0
                                  ? ::recv(socket_.get(), buffer.data(), buffer.size(), 0)
                                  : 0;
            if (n <= 0) {
                continue;
            }
            const Clock::time_point at = Clock::now();
            const std::lock_guard lock(lock_);
            const bool dropped = drop_ && drop_({buffer.data(), static_cast<std::size_t>(n)});
            if (!dropped) { // between two receivers nobody listens: lost, as on a network
                ::sendto(socket_.get(), buffer.data(), static_cast<std::size_t>(n), 0,
                         reinterpret_cast<const sockaddr*>(&target), sizeof target);
            }
            arrivals_.push_back({at, {buffer.begin(), buffer.begin() + n}, dropped});
        }
    }

    Size size_;
    std::uint16_t port_;
    UniqueFd socket_; // the tap's
    std::vector<std::string> pictures_;
    std::vector<std::atomic<std::int64_t>> captured_; // since epoch_; -1 never
    Clock::time_point epoch_ = Clock::now();
    test::ChildProcess encoder_;
    std::mutex lock_; // drop_ and arrivals_
    DropRule drop_;
    std::vector<Arrival> arrivals_;
    std::atomic<bool> stopping_{false};
    std::thread feeder_;
    std::thread tap_;
    std::array<pthread_t, 2> helpers_{};
};

// The ffmpeg command line's input flags for udp://127.0.0.1:port, which take
// its buffering out, with `program` ffmpeg or ffplay and its `output` options.
inline std::vector<std::string> lowDelayInput(const std::string& program, std::uint16_t port,
                                              const std::string& output) {
    return words(program +
                 " -hide_banner -loglevel fatal -fflags nobuffer+noparse -flags "
                 "low_delay -probesize 32 -analyzeduration 0 -i udp://127.0.0.1:" +
                 std::to_string(port) + output);
}

} // namespace vistrel::bench
