// The encoder and the file behind a recording: H.264 from libavcodec into
// libavformat's MP4 muxer, one video stream, no audio. Used from one thread
// at a time; it keeps a status and the text of its first error the way a
// caller can test them before each step.
#pragma once

#include "receive/ColourEncoding.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/rational.h>
}

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace vistrel {

class Mp4Writer {
public:
    enum class Status { Writing, Completed, Failed, Cancelled };

    // Everything the encoder is opened with, derived from the frame size.
    struct Settings {
        int width = 0;
        int height = 0;
        std::int64_t averageBitRate = 0; // bits per second
        int expectedFrameRate = 30;
        int maxKeyFrameInterval = 30; // frames
        AVRational timeBase{1, 60000};
        // How the recorded samples are to be read, written into the file so
        // that players show the colours the live view shows.
        ColourEncoding colour;
    };

    // Six bits per pixel per second, kept between 2 and 40 megabits per second.
    static std::int64_t averageBitRate(int width, int height);
    static Settings settingsFor(int width, int height);

    // Creates `file`, opens the encoder and writes the file header. Throws
    // StreamError: the system's text when the file cannot be created or its
    // header cannot be written, "This computer cannot record this video
    // format." when no H.264 encoder takes the settings, "Could not start
    // recording." when the muxer refuses the header (the file is then
    // removed).
    Mp4Writer(const std::filesystem::path& file, const Settings& settings);
    Mp4Writer(const Mp4Writer&) = delete;
    Mp4Writer& operator=(const Mp4Writer&) = delete;
    // Releases the encoder and closes the file as it stands; deletes nothing.
    ~Mp4Writer();

    [[nodiscard]] Status status() const noexcept { return status_; }
    // Why the status became failed, as a sentence; empty when nothing said why.
    [[nodiscard]] const std::string& error() const noexcept { return error_; }
    [[nodiscard]] const std::string& encoderName() const noexcept { return encoderName_; }
    [[nodiscard]] const Settings& settings() const noexcept { return settings_; }

    // Encodes one picture at `pts` (units of the time base) and writes what the
    // encoder gives back. Converts only when the picture's layout is not the
    // encoder's. False when the encoder or the file failed (status failed),
    // or when this one picture cannot be converted (status still writing);
    // the picture must have the settings' size.
    bool write(const AVFrame* picture, std::int64_t pts);

    // Drains the encoder, writes the index and flushes the file to disk. The
    // last frame lasts one frame period (1/30 s), so the file ends that long
    // after its start. False (status failed) when any of that fails.
    bool finish();

    // Abandons the file without finishing it (the caller removes it).
    void cancel();

private:
    struct Codec;
    bool drain(bool flushing);
    void fail(std::string text);

    Settings settings_;
    std::filesystem::path file_;
    std::string encoderName_;
    Status status_ = Status::Writing;
    std::string error_;
    std::unique_ptr<Codec> codec_;
};

} // namespace vistrel
