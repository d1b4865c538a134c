// The headset's sender with a clock in the picture: a thread hands ffmpeg a
// raw picture every 50 ms (the camera's 20 per second), each with its number
// painted in and the moment it was handed over noted as its capture time, and
// ffmpeg encodes and sends them with the remote script's own encoder
// arguments and destination options, to 127.0.0.1:port.
#pragma once

#include "BenchProcess.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

namespace vistrel::bench {

class StampedSender {
public:
    using Clock = std::chrono::steady_clock;

    // The pictures are testsrc2's, so that the encoder sees moving content.
    // Throws std::runtime_error.
    StampedSender(int width, int height, std::uint16_t port);
    ~StampedSender(); // stops
    StampedSender(const StampedSender&) = delete;
    StampedSender& operator=(const StampedSender&) = delete;

    // When picture `number` was handed to the encoder; nothing if never.
    [[nodiscard]] std::optional<Clock::time_point> capturedAt(std::uint32_t number) const;

    [[nodiscard]] pid_t encoderPid() const noexcept { return encoder_.pid(); }
    // CPU time of the thread that paints and hands over pictures.
    [[nodiscard]] double feederCpuSeconds() const;

private:
    void feed();

    int width_;
    int height_;
    std::vector<std::string> pictures_;               // YUV420P, painted over in turn
    std::vector<std::atomic<std::int64_t>> captured_; // since epoch_, in ns; -1 never
    Clock::time_point epoch_ = Clock::now();
    BenchProcess encoder_;
    std::atomic<bool> stopping_{false};
    std::thread feeder_;
    pthread_t feederHandle_{};
};

} // namespace vistrel::bench
