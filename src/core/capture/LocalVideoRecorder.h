// Records decoded pictures to an H.264 MP4 file on its own named thread. The
// file is written under a hidden working name beside the destination and
// moved into place only when finished, so a chosen file is never half-written.
#pragma once

#include "receive/PixelBuffer.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace vistrel {

// How a save ended: the saved file's location, or the message of the failure.
struct CaptureResult {
    std::filesystem::path location;
    std::string error;
    [[nodiscard]] bool ok() const noexcept { return error.empty(); }
};

class LocalVideoRecorder : public std::enable_shared_from_this<LocalVideoRecorder> {
public:
    // Starts writing at once; throws StreamError. Queued work holds the
    // recorder, so an owner may let go before the work has run.
    static std::shared_ptr<LocalVideoRecorder> create(const std::filesystem::path& destination,
                                                      int width, int height);

    // Told the first failure, at most once, on the recorder thread.
    void setOnFailure(std::function<void(const std::string&)> callback);

    // Never blocks on encoding and never fails to the caller: frames beyond
    // the few in flight are dropped. `seconds` is on a monotonic clock; only
    // differences matter.
    void append(const PixelBuffer& picture, double seconds);

    // Finishes the file and moves it into place; the completion runs later on
    // a background thread. Only the first call does anything.
    void finish(std::function<void(const CaptureResult&)> completion);
};

} // namespace vistrel
