#include "MediaFiles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <fstream>
#include <memory>
#include <png.h>
#include <sstream>

namespace vistrel::test {

namespace {

struct Memory {
    const Bytes& bytes;
    std::int64_t at = 0;
    [[nodiscard]] auto size() const { return static_cast<std::int64_t>(bytes.size()); }
};

int readMemory(void* opaque, std::uint8_t* buffer, int size) {
    auto& m = *static_cast<Memory*>(opaque);
    const auto count = std::min<std::int64_t>(size, m.size() - m.at);
    std::copy_n(m.bytes.data() + m.at, count, buffer);
    m.at += count;
    return count > 0 ? static_cast<int>(count) : AVERROR_EOF;
}

std::int64_t seekMemory(void* opaque, std::int64_t offset, int whence) {
    auto& m = *static_cast<Memory*>(opaque);
    if (whence == AVSEEK_SIZE) {
        return m.size();
    }
    const std::int64_t base = (whence & 3) == SEEK_CUR   ? m.at
                              : (whence & 3) == SEEK_END ? m.size()
                                                         : 0;
    m.at = std::clamp<std::int64_t>(base + offset, 0, m.size());
    return m.at;
}

template <typename T, void (*Free)(T**)> struct Freer {
    void operator()(T* p) const { Free(&p); }
};

void freeIo(AVIOContext** io) {
    av_freep(&(*io)->buffer); // perhaps no longer the one allocated below
    avio_context_free(io);
}

} // namespace

Movie readMovie(const Bytes& contents, bool decode,
                const std::function<void(const AVPacket&)>& onPacket) {
    Movie movie;
    Memory memory{contents};
    constexpr int bufferSize = 64 * 1024;
    std::unique_ptr<AVIOContext, Freer<AVIOContext, freeIo>> io(
        avio_alloc_context(static_cast<std::uint8_t*>(av_malloc(bufferSize)), bufferSize, 0,
                           &memory, readMemory, nullptr, seekMemory));
    AVFormatContext* raw = avformat_alloc_context();
    raw->pb = io.get();
    raw->flags |= AVFMT_FLAG_NOPARSE | AVFMT_FLAG_CUSTOM_IO;
    std::unique_ptr<AVFormatContext, Freer<AVFormatContext, avformat_close_input>> format;
    if (avformat_open_input(&raw, nullptr, nullptr, nullptr) < 0) { // frees raw itself
        movie.error = "libavformat cannot open it";
        return movie;
    }
    format.reset(raw);
    const AVStream* video = nullptr;
    for (unsigned i = 0; i < format->nb_streams && video == nullptr; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            video = format->streams[i];
        }
    }
    std::unique_ptr<AVCodecContext, Freer<AVCodecContext, avcodec_free_context>> decoder;
    if (video != nullptr) {
        movie.codec = video->codecpar->codec_id;
        movie.width = video->codecpar->width;
        movie.height = video->codecpar->height;
        movie.timeBase = video->time_base;
        movie.duration = video->duration;
        decoder.reset(decode ? avcodec_alloc_context3(avcodec_find_decoder(movie.codec)) : nullptr);
        if (decoder && (avcodec_parameters_to_context(decoder.get(), video->codecpar) < 0 ||
                        avcodec_open2(decoder.get(), nullptr, nullptr) < 0)) {
            movie.error = "libavcodec cannot decode it";
            return movie;
        }
    }
    std::unique_ptr<AVPacket, Freer<AVPacket, av_packet_free>> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, Freer<AVFrame, av_frame_free>> frame(av_frame_alloc());
    const auto receive = [&] {
        while (decoder && avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            movie.pictures.push_back(PixelBuffer::referencing(frame.get()));
            av_frame_unref(frame.get());
        }
    };
    int status = 0;
    while (video != nullptr && (status = av_read_frame(format.get(), packet.get())) >= 0) {
        if (packet->stream_index == video->index) {
            movie.pts.push_back(packet->pts);
            if (onPacket) {
                onPacket(*packet);
            }
            if (decoder && avcodec_send_packet(decoder.get(), packet.get()) == 0) {
                receive();
            }
        }
        av_packet_unref(packet.get());
    }
    if (decoder) {
        avcodec_send_packet(decoder.get(), nullptr);
        receive();
    }
    movie.error = video == nullptr        ? "no video stream"
                  : status != AVERROR_EOF ? "a read error before the end"
                                          : "";
    return movie;
}

Movie readMovie(const std::filesystem::path& file, bool decode) {
    const std::string contents = readFile(file);
    return readMovie(Bytes(contents.begin(), contents.end()), decode);
}

std::vector<Bytes> accessUnits(const Bytes& stream) {
    std::vector<Bytes> units;
    readMovie(stream, false,
              [&](const AVPacket& p) { units.emplace_back(p.data, p.data + p.size); });
    return units;
}

Bytes planeBytes(const PixelBuffer& picture) {
    Bytes bytes;
    const AVFrame* f = picture.frame();
    const bool nv12 = picture.format() == AV_PIX_FMT_NV12;
    for (int plane = 0; f != nullptr && plane < (nv12 ? 2 : 3); ++plane) {
        const int width = plane == 0 || nv12 ? f->width : (f->width + 1) / 2;
        for (int row = 0; row < (plane == 0 ? f->height : (f->height + 1) / 2); ++row) {
            const std::uint8_t* line =
                f->data[plane] + static_cast<std::ptrdiff_t>(row) * f->linesize[plane];
            bytes.insert(bytes.end(), line, line + width);
        }
    }
    return bytes;
}

Png readPng(const std::filesystem::path& file) {
    Png png;
    const std::string bytes = readFile(file);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) {
        png.error = image.message;
        return png;
    }
    image.format = PNG_FORMAT_RGBA;
    png.width = static_cast<int>(image.width);
    png.height = static_cast<int>(image.height);
    png.rgba.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, png.rgba.data(), 0, nullptr) == 0) {
        png.error = image.message;
        png_image_free(&image);
    }
    return png;
}

std::string readFile(const std::filesystem::path& file) {
    std::ostringstream contents;
    contents << std::ifstream(file, std::ios::binary).rdbuf();
    return contents.str();
}

std::vector<std::string> readLines(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

void writeFile(const std::filesystem::path& file, const std::string& contents) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << contents;
}

std::vector<std::string> listFolder(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace vistrel::test
