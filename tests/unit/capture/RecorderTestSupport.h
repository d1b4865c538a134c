// Driving a recorder from a test: frames in one at a time, the outcome awaited.
#pragma once

#include "capture/LocalVideoRecorder.h"

#include <future>
#include <thread>

namespace vistrel::test {

// The outcome of finishing; its error reads "timed out" when none came.
inline CaptureResult finishAndWait(const std::shared_ptr<LocalVideoRecorder>& recorder) {
    auto promise = std::make_shared<std::promise<CaptureResult>>();
    auto outcome = promise->get_future();
    recorder->finish([promise](const CaptureResult& result) { promise->set_value(result); });
    return outcome.wait_for(std::chrono::seconds(60)) == std::future_status::ready
               ? outcome.get()
               : CaptureResult{{}, "timed out"};
}

// Waits until `count` frames have been through the recorder's queue.
inline bool waitProcessed(const LocalVideoRecorder& recorder, std::uint64_t count) {
    for (int i = 0; i < 30000 && recorder.counters().processed < count; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return recorder.counters().processed >= count;
}

// One frame, taken whole: the recorder is done with it before the next comes.
inline bool appendAndWait(LocalVideoRecorder& recorder, const PixelBuffer& picture, double time) {
    const std::uint64_t before = recorder.counters().processed;
    recorder.append(picture, time);
    return waitProcessed(recorder, before + 1);
}

} // namespace vistrel::test
