// Sits between the sender and the receiver under test on the loopback
// interface: passes every datagram on at once, unchanged, and keeps it with
// the moment it arrived, so that the sender's own delay (capture to first
// datagram) is known for every picture without a second receiver competing
// for the CPU. Told to, it drops some datagrams on the way as a lossy
// network would, and keeps them all the same: the record is always the
// whole stream as sent.
#pragma once

#include "support/UniqueFd.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <span>
#include <thread>
#include <vector>

namespace vistrel::bench {

class DatagramTap {
public:
    using Clock = std::chrono::steady_clock;
    struct Arrival {
        Clock::time_point at;
        std::vector<std::uint8_t> bytes;
        bool dropped = false;
    };

    // Listens on 127.0.0.1 on a port of its own and passes datagrams on to
    // 127.0.0.1:destination. Throws std::runtime_error.
    explicit DatagramTap(std::uint16_t destination);
    ~DatagramTap();
    DatagramTap(const DatagramTap&) = delete;
    DatagramTap& operator=(const DatagramTap&) = delete;

    [[nodiscard]] std::uint16_t port() const noexcept { return port_; }
    [[nodiscard]] double cpuSeconds() const;

    // From now on drops each datagram for which `rule` says so; it runs on
    // the tap's thread, once per datagram in arrival order. Empty: drop none.
    using DropRule = std::function<bool(std::span<const std::uint8_t> datagram)>;
    void dropWhen(DropRule rule);

    // What arrived since the previous take, in order; passing on goes on.
    std::vector<Arrival> take();

    // Stops passing on; what arrived since the previous take, in order.
    std::vector<Arrival> stop();

private:
    void run();

    UniqueFd socket_;
    std::uint16_t port_ = 0;
    std::uint16_t destination_;
    std::mutex lock_; // the rule and the record
    DropRule drop_;
    std::vector<Arrival> arrivals_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    pthread_t handle_{};
};

} // namespace vistrel::bench
