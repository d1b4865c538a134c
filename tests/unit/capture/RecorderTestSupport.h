// Small helpers for the recorder's tests: waiting for a completion and for the
// recorder thread to work through the frames offered so far.
#pragma once

#include "capture/LocalVideoRecorder.h"

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vistrel::test {

constexpr auto recorderPatience = std::chrono::seconds(60);

// Finishes the recording and waits for its outcome; the outcome's error reads
// "timed out" when the completion never ran.
inline CaptureResult finishAndWait(const std::shared_ptr<LocalVideoRecorder>& recorder) {
    auto promise = std::make_shared<std::promise<CaptureResult>>();
    auto outcome = promise->get_future();
    recorder->finish([promise](const CaptureResult& result) { promise->set_value(result); });
    if (outcome.wait_for(recorderPatience) != std::future_status::ready) {
        return CaptureResult{{}, "timed out"};
    }
    return outcome.get();
}

// Waits until at least `count` frames have been through the recorder's queue.
inline bool waitProcessed(const LocalVideoRecorder& recorder, std::uint64_t count) {
    const auto deadline = std::chrono::steady_clock::now() + recorderPatience;
    while (recorder.counters().processed < count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Appends one frame and waits until the recorder thread is done with it, so
// that back-pressure never drops it.
inline bool appendAndWait(LocalVideoRecorder& recorder, const PixelBuffer& picture, double time) {
    const std::uint64_t before = recorder.counters().processed;
    recorder.append(picture, time);
    return waitProcessed(recorder, before + 1);
}

// Collects what the recorder reports through onFailure, on its own thread.
class FailureLog {
public:
    explicit FailureLog(LocalVideoRecorder& recorder) {
        recorder.setOnFailure([this](const std::string& message) {
            const std::lock_guard guard(lock_);
            messages_.push_back(message);
        });
    }
    [[nodiscard]] std::vector<std::string> messages() const {
        const std::lock_guard guard(lock_);
        return messages_;
    }

private:
    mutable std::mutex lock_;
    std::vector<std::string> messages_;
};

} // namespace vistrel::test
