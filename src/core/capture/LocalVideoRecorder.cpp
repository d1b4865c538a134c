#include "capture/LocalVideoRecorder.h"

#include "Messages.h"
#include "StreamError.h"
#include "capture/Mp4Writer.h"
#include "capture/SerialQueue.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <random>

namespace vistrel {

namespace {

constexpr int maxFramesInFlight = 3;

// A random (version 4) UUID in its 36-character upper-case text form.
std::string randomUuid() {
    std::random_device source;
    std::array<unsigned char, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const unsigned int word = source();
        for (std::size_t j = 0; j < 4; ++j) {
            bytes.at(i + j) = static_cast<unsigned char>(word >> (8 * j));
        }
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    static constexpr std::string_view digits = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += digits[bytes.at(i) >> 4];
        text += digits[bytes.at(i) & 0x0F];
    }
    return text;
}

// Caller seconds since the first frame as a presentation time in units of
// the time base, rounded to the nearest unit; times before the first are 0.
std::int64_t presentationTime(double seconds, double origin, AVRational timeBase) {
    const double units = std::max(0.0, seconds - origin) * timeBase.den / timeBase.num;
    return std::llround(std::min(units, 9.0e15));
}

} // namespace

std::string LocalVideoRecorder::workingFileName(const std::string& uuid) {
    return ".Vistrel-" + uuid + ".mp4";
}

namespace {

std::filesystem::path absoluteOrAsGiven(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute;
}

} // namespace

LocalVideoRecorder::LocalVideoRecorder(const std::filesystem::path& destination, int width,
                                       int height, ColourEncoding colour)
    : destination_(absoluteOrAsGiven(destination)), width_(width), height_(height) {
    // Absolute, so that a failure message names the working file in full.
    temporary_ = destination_.parent_path() / workingFileName(randomUuid());
    // The thread first: once the working file exists, nothing else can fail.
    queue_ = std::make_unique<SerialQueue>("vistrel-record");
    Mp4Writer::Settings settings = Mp4Writer::settingsFor(width, height);
    settings.colour = colour;
    writer_ = std::make_unique<Mp4Writer>(temporary_, settings);
    encoderName_ = writer_->encoderName();
}

LocalVideoRecorder::~LocalVideoRecorder() = default;

std::shared_ptr<LocalVideoRecorder>
LocalVideoRecorder::create(const std::filesystem::path& destination, int width, int height,
                           ColourEncoding colour) {
    return std::shared_ptr<LocalVideoRecorder>(
        new LocalVideoRecorder(destination, width, height, colour));
}

void LocalVideoRecorder::setOnFailure(std::function<void(const std::string&)> callback) {
    // Set on the queue, where it is read, so setting it late races nothing.
    queue_->post([self = shared_from_this(), callback = std::move(callback)]() mutable {
        self->onFailure_ = std::move(callback);
    });
}

void LocalVideoRecorder::setBeforeFrameWork(std::function<void()> hook) {
    queue_->post([self = shared_from_this(), hook = std::move(hook)]() mutable {
        self->beforeFrameWork_ = std::move(hook);
    });
}

LocalVideoRecorder::Counters LocalVideoRecorder::counters() const noexcept {
    Counters counters;
    counters.processed = processed_.load();
    counters.written = written_.load();
    counters.droppedBackPressure = droppedBackPressure_.load();
    counters.droppedNotAdvancing = droppedNotAdvancing_.load();
    counters.droppedAfterFailure = droppedAfterFailure_.load();
    return counters;
}

void LocalVideoRecorder::append(const PixelBuffer& picture, double seconds) {
    // Posted under the lock, so that no frame can be queued behind the
    // finishing work, which releases the writer.
    const std::lock_guard guard(lock_);
    if (!accepting_ || pendingFrames_ >= maxFramesInFlight) {
        if (accepting_) {
            droppedBackPressure_.fetch_add(1);
        }
        return;
    }
    ++pendingFrames_;
    queue_->post(
        [self = shared_from_this(), picture, seconds] { self->frameWork(picture, seconds); });
}

void LocalVideoRecorder::frameDone() {
    {
        const std::lock_guard guard(lock_);
        --pendingFrames_;
    }
    processed_.fetch_add(1);
}

void LocalVideoRecorder::reportFailure(const std::string& message) {
    if (failure_) {
        return;
    }
    failure_ = message;
    if (onFailure_) {
        onFailure_(message);
    }
}

void LocalVideoRecorder::frameWork(const PixelBuffer& picture, double seconds) {
    struct Done {
        LocalVideoRecorder* recorder;
        explicit Done(LocalVideoRecorder* r) : recorder(r) {}
        Done(const Done&) = delete;
        Done& operator=(const Done&) = delete;
        ~Done() { recorder->frameDone(); }
    } done{this};

    if (beforeFrameWork_) {
        beforeFrameWork_();
    }
    if (failure_) {
        droppedAfterFailure_.fetch_add(1);
        return;
    }
    if (picture.width() != width_ || picture.height() != height_) {
        reportFailure(std::string(Messages::resolutionChanged));
        return;
    }
    if (writer_->status() != Mp4Writer::Status::Writing) {
        reportFailure(writer_->error().empty() ? std::string(Messages::writerStopped)
                                               : writer_->error());
        return;
    }
    if (!std::isfinite(seconds)) {
        droppedNotAdvancing_.fetch_add(1);
        return;
    }
    if (!origin_) {
        origin_ = seconds;
    }
    const std::int64_t time = presentationTime(seconds, *origin_, writer_->settings().timeBase);
    if (lastTime_ && time <= *lastTime_) {
        droppedNotAdvancing_.fetch_add(1);
        return;
    }
    if (writer_->write(picture.frame(), time)) {
        lastTime_ = time;
        written_.fetch_add(1);
    } else {
        reportFailure(writer_->error().empty() ? std::string(Messages::encodeFailed)
                                               : writer_->error());
    }
}

void LocalVideoRecorder::finish(std::function<void(const CaptureResult&)> completion) {
    const std::lock_guard guard(lock_);
    if (!accepting_) {
        return;
    }
    accepting_ = false;
    queue_->post([self = shared_from_this(), completion = std::move(completion)] {
        self->finishWork(completion);
    });
}

void LocalVideoRecorder::finishWork(const std::function<void(const CaptureResult&)>& completion) {
    CaptureResult result;
    std::error_code ignored;
    if (lastTime_ && writer_->status() == Mp4Writer::Status::Writing) {
        if (!writer_->finish()) {
            std::filesystem::remove(temporary_, ignored);
            result.error =
                writer_->error().empty() ? std::string(Messages::finishFailed) : writer_->error();
        } else if (std::rename(temporary_.c_str(), destination_.c_str()) != 0) {
            // The finished file stays where it is, and the message says where.
            result.error = Messages::moveFailed(systemErrorText(errno) + ".", temporary_.string());
        } else {
            result.location = destination_;
        }
    } else {
        writer_->cancel();
        std::filesystem::remove(temporary_, ignored);
        if (failure_) {
            result.error = *failure_;
        } else if (!writer_->error().empty()) {
            result.error = writer_->error();
        } else {
            result.error = std::string(Messages::noFramesRecorded);
        }
    }
    // The encoder's memory and the file are released before the caller hears.
    writer_.reset();
    if (completion) {
        completion(result);
    }
}

} // namespace vistrel
