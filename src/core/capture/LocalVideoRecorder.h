// Records decoded pictures to an H.264 MP4 file on its own named thread. The
// file is written under a hidden working name beside the destination and
// moved into place only when finished, so a chosen file is never half-written.
#pragma once

#include "receive/ColourEncoding.h"
#include "receive/PixelBuffer.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vistrel {

// How a save ended: the saved file's location, or the message of the failure.
struct CaptureResult {
    std::filesystem::path location;
    std::string error;
    [[nodiscard]] bool ok() const noexcept { return error.empty(); }
};

class Mp4Writer;
class SerialQueue;

class LocalVideoRecorder : public std::enable_shared_from_this<LocalVideoRecorder> {
public:
    // What happened to the frames offered so far; readable from any thread.
    struct Counters {
        std::uint64_t processed = 0; // frames whose queued work has ended
        std::uint64_t written = 0;
        std::uint64_t droppedBackPressure = 0; // refused while 3 were in flight
        std::uint64_t droppedNotAdvancing = 0; // time not after the previous frame
        std::uint64_t droppedAfterFailure = 0; // on the queue after a failure
    };

    // The hidden working file's name for a given identifier.
    static std::string workingFileName(const std::string& uuid);

    // Starts writing at once; throws StreamError. Queued work holds the
    // recorder, so an owner may let go before the work has run.
    static std::shared_ptr<LocalVideoRecorder> create(const std::filesystem::path& destination,
                                                      int width, int height,
                                                      ColourEncoding colour = {});

    // Told the first failure, at most once, on the recorder thread.
    void setOnFailure(std::function<void(const std::string&)> callback);

    // Never blocks on encoding and never fails to the caller: frames beyond
    // the few in flight are dropped. `seconds` is on a monotonic clock; only
    // differences matter.
    void append(const PixelBuffer& picture, double seconds);

    // Finishes the file and moves it into place; the completion runs later on
    // a background thread. Only the first call does anything.
    void finish(std::function<void(const CaptureResult&)> completion);

    [[nodiscard]] const std::filesystem::path& workingFile() const noexcept { return temporary_; }
    [[nodiscard]] Counters counters() const noexcept;
    [[nodiscard]] const std::string& encoderName() const noexcept { return encoderName_; }

    // Runs on the recorder thread at the start of every frame's work. For
    // tests and measurements that need to hold the queue busy.
    void setBeforeFrameWork(std::function<void()> hook);

    LocalVideoRecorder(const LocalVideoRecorder&) = delete;
    LocalVideoRecorder& operator=(const LocalVideoRecorder&) = delete;
    ~LocalVideoRecorder();

private:
    LocalVideoRecorder(const std::filesystem::path& destination, int width, int height,
                       ColourEncoding colour);
    void frameWork(const PixelBuffer& picture, double seconds);
    void finishWork(const std::function<void(const CaptureResult&)>& completion);
    void reportFailure(const std::string& message);
    void frameDone();

    // Recorder thread only.
    std::function<void(const std::string&)> onFailure_;
    std::function<void()> beforeFrameWork_;
    std::unique_ptr<Mp4Writer> writer_;
    std::optional<double> origin_;
    std::optional<std::int64_t> lastTime_;
    std::optional<std::string> failure_;

    // Fixed at creation.
    std::filesystem::path destination_;
    std::filesystem::path temporary_;
    int width_;
    int height_;
    std::string encoderName_;

    // Guards `accepting_` and `pendingFrames_`, and is held while work is
    // posted, so that no frame is queued behind the finishing work.
    std::mutex lock_;
    bool accepting_ = true;
    std::int64_t pendingFrames_ = 0;

    std::atomic<std::uint64_t> processed_{0};
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> droppedBackPressure_{0};
    std::atomic<std::uint64_t> droppedNotAdvancing_{0};
    std::atomic<std::uint64_t> droppedAfterFailure_{0};

    // Last, so that its thread has ended before the members it uses go.
    std::unique_ptr<SerialQueue> queue_;
};

} // namespace vistrel
