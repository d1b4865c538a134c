#include "StampedSender.h"

#include "ChildProcess.h"
#include "HeadsetStream.h"
#include "LatencyStamp.h"

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <stdexcept>
#include <unistd.h>

namespace vistrel::bench {

namespace {

constexpr int picturesPerSecond = 20;
constexpr std::size_t longestRun = std::size_t{picturesPerSecond} * 3600;

std::string sizeText(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// One second of testsrc2, played in a loop.
std::vector<std::string> testPictures(int width, int height) {
    const test::ProcessResult made =
        test::runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                          "testsrc2=size=" + sizeText(width, height) + ":rate=20", "-frames:v",
                          "20", "-f", "rawvideo", "-pix_fmt", "yuv420p", "pipe:1"});
    const auto size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3 / 2;
    if (made.exitStatus != 0 || made.out.size() < size) {
        throw std::runtime_error("ffmpeg made no test pictures: " + made.err);
    }
    std::vector<std::string> pictures;
    for (std::size_t offset = 0; offset + size <= made.out.size(); offset += size) {
        pictures.push_back(made.out.substr(offset, size));
    }
    return pictures;
}

std::vector<std::string> encoderCommand(int width, int height, std::uint16_t port) {
    std::vector<std::string> argv = {
        "ffmpeg",      "-hide_banner",          "-f",         "rawvideo", "-pix_fmt", "yuv420p",
        "-video_size", sizeText(width, height), "-framerate", "20",       "-i",       "pipe:0"};
    for (std::string& argument : test::headsetEncoderArguments()) {
        argv.push_back(std::move(argument));
    }
    argv.push_back(test::headsetDestination(port));
    return argv;
}

} // namespace

StampedSender::StampedSender(int width, int height, std::uint16_t port)
    : width_(width), height_(height), pictures_(testPictures(width, height)), captured_(longestRun),
      encoder_(encoderCommand(width, height, port), {.input = true, .output = false}) {
    if (width < stampWidth || height < 2 * stampBlock) {
        throw std::runtime_error("pictures too small for the stamp");
    }
    for (auto& at : captured_) {
        at.store(-1, std::memory_order_relaxed);
    }
    // A reader that stops must not end the benchmark with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    feeder_ = std::thread([this] { feed(); });
    feederHandle_ = feeder_.native_handle();
}

StampedSender::~StampedSender() {
    stopping_.store(true);
    feeder_.join();
    encoder_.finish(5);
}

void StampedSender::feed() {
    pthread_setname_np(pthread_self(), "stamped-sender");
    const Clock::time_point start = Clock::now();
    for (std::uint32_t number = 0; number < longestRun && !stopping_.load(); ++number) {
        std::this_thread::sleep_until(start +
                                      std::chrono::milliseconds(1000) * number / picturesPerSecond);
        std::string& picture = pictures_[number % pictures_.size()];
        auto* luma = reinterpret_cast<std::uint8_t*>(picture.data());
        paintStamp(luma, width_, number);
        captured_[number].store(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - epoch_).count(),
            std::memory_order_release);
        for (std::size_t written = 0; written < picture.size();) {
            const ssize_t n =
                ::write(encoder_.input(), picture.data() + written, picture.size() - written);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return; // the encoder is gone
            }
            written += static_cast<std::size_t>(n);
        }
    }
}

std::optional<StampedSender::Clock::time_point>
StampedSender::capturedAt(std::uint32_t number) const {
    if (number >= captured_.size()) {
        return std::nullopt;
    }
    const std::int64_t at = captured_[number].load(std::memory_order_acquire);
    if (at < 0) {
        return std::nullopt;
    }
    return epoch_ + std::chrono::nanoseconds(at);
}

double StampedSender::feederCpuSeconds() const {
    return threadCpuSeconds(feederHandle_);
}

} // namespace vistrel::bench
