#include "capture/Mp4Writer.h"

#include "Messages.h"
#include "StreamError.h"
#include "support/UniqueFd.h"
#include "support/WriteAll.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavformat/version.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vistrel {

namespace {

AVColorSpace colourSpaceOf(ColourMatrix matrix) {
    switch (matrix) {
    case ColourMatrix::Bt601:
        return AVCOL_SPC_SMPTE170M;
    case ColourMatrix::Bt709:
        return AVCOL_SPC_BT709;
    case ColourMatrix::Bt2020:
        return AVCOL_SPC_BT2020_NCL;
    case ColourMatrix::Fcc:
        return AVCOL_SPC_FCC;
    case ColourMatrix::Smpte240m:
        return AVCOL_SPC_SMPTE240M;
    }
    return AVCOL_SPC_UNSPECIFIED;
}

constexpr int ioBufferSize = 64 * 1024;

// FFmpeg's text for a status code, as a sentence.
std::string sentenceFor(int status) {
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(status, text.data(), text.size());
    std::string sentence(text.data());
    if (!sentence.empty() && sentence.back() != '.') {
        sentence += '.';
    }
    return sentence;
}

// libavformat writes through these so that the file is created exclusively and
// every system error keeps its errno. FFmpeg 7 made the written bytes const.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
using WrittenBytes = const uint8_t*;
#else
using WrittenBytes = uint8_t*;
#endif

int writeToFd(void* opaque, WrittenBytes buffer, int size) {
    const int fd = *static_cast<int*>(opaque);
    const int error = writeAll(fd, {buffer, static_cast<std::size_t>(size)});
    return error != 0 ? AVERROR(error) : size;
}

int64_t seekFd(void* opaque, int64_t offset, int whence) {
    const int fd = *static_cast<int*>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : AVERROR(errno);
    }
    const off_t position = ::lseek(fd, offset, whence & ~AVSEEK_FORCE);
    return position < 0 ? AVERROR(errno) : static_cast<int64_t>(position);
}

bool supportsFormat(const AVCodec* codec, AVPixelFormat format) {
    if (codec->pix_fmts == nullptr) {
        return true;
    }
    for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
        if (*f == format) {
            return true;
        }
    }
    return false;
}

} // namespace

// The FFmpeg objects of one file, released together in the right order.
struct Mp4Writer::Codec {
    UniqueFd fd;
    int rawFd = -1; // what the I/O callbacks read; mirrors `fd`
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVStream* stream = nullptr;
    AVCodecContext* encoder = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* converted = nullptr;
    SwsContext* converter = nullptr;

    Codec() = default;
    Codec(const Codec&) = delete;
    Codec& operator=(const Codec&) = delete;
    ~Codec() {
        sws_freeContext(converter);
        av_frame_free(&converted);
        av_packet_free(&packet);
        avcodec_free_context(&encoder);
        if (format != nullptr) {
            format->pb = nullptr;
            avformat_free_context(format);
        }
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

std::int64_t Mp4Writer::averageBitRate(int width, int height) {
    const std::int64_t pixels = static_cast<std::int64_t>(std::max(width, 0)) * std::max(height, 0);
    return std::clamp<std::int64_t>(pixels * 6, 2'000'000, 40'000'000);
}

Mp4Writer::Settings Mp4Writer::settingsFor(int width, int height) {
    Settings settings;
    settings.width = width;
    settings.height = height;
    settings.averageBitRate = averageBitRate(width, height);
    return settings;
}

namespace {

// Opens the first H.264 encoder that takes the settings: libx264 tuned for
// low latency, else whatever H.264 encoder this FFmpeg prefers.
AVCodecContext* openEncoder(const Mp4Writer::Settings& settings, bool globalHeader) {
    std::array<const AVCodec*, 2> candidates{avcodec_find_encoder_by_name("libx264"),
                                             avcodec_find_encoder(AV_CODEC_ID_H264)};
    for (const AVCodec* codec : candidates) {
        if (codec == nullptr) {
            continue;
        }
        AVCodecContext* context = avcodec_alloc_context3(codec);
        if (context == nullptr) {
            continue;
        }
        context->width = settings.width;
        context->height = settings.height;
        // Decoded pictures are 4:2:0; planar is what software encoders take.
        context->pix_fmt = supportsFormat(codec, AV_PIX_FMT_YUV420P) ? AV_PIX_FMT_YUV420P
                           : codec->pix_fmts != nullptr              ? codec->pix_fmts[0]
                                                                     : AV_PIX_FMT_YUV420P;
        context->time_base = settings.timeBase;
        context->framerate = AVRational{settings.expectedFrameRate, 1};
        context->bit_rate = settings.averageBitRate;
        context->gop_size = settings.maxKeyFrameInterval;
        context->max_b_frames = 0;
        context->colorspace = colourSpaceOf(settings.colour.matrix);
        context->color_range = settings.colour.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
        if (globalHeader) {
            context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (context->priv_data != nullptr) {
            // Unknown options are ignored: they only tune encoders that have them.
            av_opt_set(context->priv_data, "preset", "veryfast", 0);
            av_opt_set(context->priv_data, "tune", "zerolatency", 0);
        }
        if (avcodec_open2(context, codec, nullptr) == 0) {
            return context;
        }
        avcodec_free_context(&context);
    }
    return nullptr;
}

} // namespace

Mp4Writer::Mp4Writer(const std::filesystem::path& file, const Settings& settings)
    : settings_(settings), file_(file), codec_(std::make_unique<Codec>()) {
    Codec& c = *codec_;
    if (settings.width <= 0 || settings.height <= 0 || settings.width % 2 != 0 ||
        settings.height % 2 != 0) {
        throw StreamError(std::string(Messages::cannotRecordFormat));
    }
    if (avformat_alloc_output_context2(&c.format, nullptr, "mp4", nullptr) < 0 ||
        c.format == nullptr) {
        throw StreamError(std::string(Messages::recordingStartFailed));
    }
    c.encoder = openEncoder(settings, (c.format->oformat->flags & AVFMT_GLOBALHEADER) != 0);
    if (c.encoder == nullptr) {
        throw StreamError(std::string(Messages::cannotRecordFormat));
    }
    encoderName_ = c.encoder->codec->name;
    c.stream = avformat_new_stream(c.format, nullptr);
    c.packet = av_packet_alloc();
    if (c.stream == nullptr || c.packet == nullptr ||
        avcodec_parameters_from_context(c.stream->codecpar, c.encoder) < 0) {
        throw StreamError(std::string(Messages::recordingStartFailed));
    }
    c.stream->time_base = settings.timeBase;
    c.stream->avg_frame_rate = AVRational{settings.expectedFrameRate, 1};

    c.fd = UniqueFd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!c.fd) {
        throw StreamError(systemErrorText(errno) + ".");
    }
    c.rawFd = c.fd.get();
    auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferSize));
    if (buffer != nullptr) {
        c.io = avio_alloc_context(buffer, ioBufferSize, 1, &c.rawFd, nullptr, writeToFd, seekFd);
        if (c.io == nullptr) {
            av_free(buffer);
        }
    }
    int status = c.io == nullptr ? AVERROR(ENOMEM) : 0;
    int ioError = 0;
    if (status == 0) {
        c.format->pb = c.io;
        c.format->flags |= AVFMT_FLAG_CUSTOM_IO;
        status = avformat_write_header(c.format, nullptr);
        avio_flush(c.io);
        ioError = c.io->error;
    }
    if (status < 0 || ioError < 0) {
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        // A file error keeps its own text, which the caller puts after "Could
        // not start recording: "; anything else is the muxer's refusal.
        throw StreamError(ioError < 0 ? sentenceFor(ioError)
                                      : std::string(Messages::recordingStartFailed));
    }
}

Mp4Writer::~Mp4Writer() = default;

void Mp4Writer::fail(std::string text) {
    if (status_ == Status::Writing) {
        status_ = Status::Failed;
        error_ = std::move(text);
    }
}

bool Mp4Writer::drain(bool flushing) {
    Codec& c = *codec_;
    for (;;) {
        const int status = avcodec_receive_packet(c.encoder, c.packet);
        if (status == AVERROR(EAGAIN) || (flushing && status == AVERROR_EOF)) {
            return true;
        }
        if (status < 0) {
            fail({});
            return false;
        }
        av_packet_rescale_ts(c.packet, c.encoder->time_base, c.stream->time_base);
        // Every frame lasts one frame period unless the next one starts
        // earlier; for the last frame of the file this is its duration.
        c.packet->duration =
            av_rescale_q(1, AVRational{1, settings_.expectedFrameRate}, c.stream->time_base);
        c.packet->stream_index = c.stream->index;
        const int written = av_interleaved_write_frame(c.format, c.packet);
        const int ioError = c.io->error;
        if (written < 0 || ioError < 0) {
            fail(Messages::recordingWriteFailed(sentenceFor(ioError < 0 ? ioError : written)));
            return false;
        }
    }
}

bool Mp4Writer::write(const AVFrame* picture, std::int64_t pts) {
    if (status_ != Status::Writing) {
        return false;
    }
    Codec& c = *codec_;
    AVFrame* frame = nullptr;
    const auto format = static_cast<AVPixelFormat>(picture->format);
    if (picture->data[0] == nullptr || sws_isSupportedInput(format) == 0) {
        // swscale asserts on layouts it does not know; such a picture is an
        // encoding failure, not a crash.
    } else if (format == c.encoder->pix_fmt ||
               (format == AV_PIX_FMT_YUVJ420P && c.encoder->pix_fmt == AV_PIX_FMT_YUV420P)) {
        // The same samples; the file's range tag says how to read them.
        frame = av_frame_clone(picture);
    } else {
        if (c.converted == nullptr) {
            c.converted = av_frame_alloc();
            if (c.converted != nullptr) {
                c.converted->format = c.encoder->pix_fmt;
                c.converted->width = settings_.width;
                c.converted->height = settings_.height;
                if (av_frame_get_buffer(c.converted, 0) < 0) {
                    av_frame_free(&c.converted);
                }
            }
        }
        c.converter = sws_getCachedContext(c.converter, picture->width, picture->height, format,
                                           settings_.width, settings_.height, c.encoder->pix_fmt,
                                           SWS_BILINEAR, nullptr, nullptr, nullptr);
        // The encoder may still hold the previous conversion.
        if (c.converted != nullptr && c.converter != nullptr &&
            av_frame_make_writable(c.converted) == 0 &&
            sws_scale(c.converter, picture->data, picture->linesize, 0, picture->height,
                      c.converted->data, c.converted->linesize) == settings_.height) {
            frame = av_frame_clone(c.converted);
        }
    }
    if (frame == nullptr) {
        // Only this picture is unusable; the encoder and the file are fine.
        return false;
    }
    frame->pts = pts;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    int status = avcodec_send_frame(c.encoder, frame);
    if (status == AVERROR(EAGAIN) && drain(false)) {
        status = avcodec_send_frame(c.encoder, frame);
    }
    av_frame_free(&frame);
    if (status < 0) {
        fail({});
        return false;
    }
    return drain(false);
}

bool Mp4Writer::finish() {
    if (status_ != Status::Writing) {
        return false;
    }
    Codec& c = *codec_;
    if (avcodec_send_frame(c.encoder, nullptr) < 0) {
        fail({});
        return false;
    }
    if (!drain(true)) {
        return false;
    }
    int status = av_write_trailer(c.format);
    avio_flush(c.io);
    if (status >= 0 && c.io->error < 0) {
        status = c.io->error;
    }
    if (status >= 0 && ::fsync(c.rawFd) != 0) {
        status = AVERROR(errno);
    }
    if (status < 0) {
        fail(Messages::recordingWriteFailed(sentenceFor(status)));
        return false;
    }
    c.fd.reset();
    c.rawFd = -1;
    status_ = Status::Completed;
    return true;
}

void Mp4Writer::cancel() {
    if (status_ == Status::Writing) {
        status_ = Status::Cancelled;
    }
}

} // namespace vistrel
