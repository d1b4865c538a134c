// How long the decoder took for each access unit: written by the thread that
// decodes, read from any other. Atomics only, so that a reader never holds up
// a picture.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace vistrel {

class DecodeTimes {
public:
    // Decoding thread: one access unit took `took`.
    void add(std::chrono::nanoseconds took) noexcept {
        const auto nanos = static_cast<std::uint64_t>(took.count());
        units_.fetch_add(1, std::memory_order_relaxed);
        nanos_.fetch_add(nanos, std::memory_order_relaxed);
        std::uint64_t slowest = slowest_.load(std::memory_order_relaxed);
        while (nanos > slowest &&
               !slowest_.compare_exchange_weak(slowest, nanos, std::memory_order_relaxed)) {
        }
    }

    // Access units decoded so far, and the time they took together.
    [[nodiscard]] std::uint64_t units() const noexcept {
        return units_.load(std::memory_order_relaxed);
    }
    [[nodiscard]] std::uint64_t nanos() const noexcept {
        return nanos_.load(std::memory_order_relaxed);
    }

    // The slowest access unit since the previous call, in nanoseconds; 0 when
    // none. Taking it starts the next period, so it has one reader.
    [[nodiscard]] std::uint64_t takeSlowest() noexcept {
        return slowest_.exchange(0, std::memory_order_relaxed);
    }

private:
    std::atomic<std::uint64_t> units_{0};
    std::atomic<std::uint64_t> nanos_{0};
    std::atomic<std::uint64_t> slowest_{0};
};

} // namespace vistrel
