#include "MediaFiles.h"

#include "support/UniqueFd.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <fstream>
#include <memory>
#include <png.h>
#include <sstream>
#include <sys/mman.h>
#include <unistd.h>

namespace vistrel::test {
namespace {

template <typename T, void (*Free)(T**)> struct Freer {
    void operator()(T* p) const { Free(&p); }
};

} // namespace

Movie readMovie(const std::filesystem::path& file, bool decode, const OnPacket& onPacket) {
    AVFormatContext* opened = avformat_alloc_context();
    opened->flags |= AVFMT_FLAG_NOPARSE;
    if (avformat_open_input(&opened, file.c_str(), nullptr, nullptr) < 0) { // frees it itself
        return Movie{.error = "libavformat cannot open it"};
    }
    const std::unique_ptr<AVFormatContext, Freer<AVFormatContext, avformat_close_input>> format(
        opened);
    Movie movie;
    const int found = av_find_best_stream(opened, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (found < 0) {
        return Movie{.error = "no video stream"};
    }
    const AVStream* video = format->streams[found];
    movie.codec = video->codecpar->codec_id;
    movie.width = video->codecpar->width;
    movie.height = video->codecpar->height;
    movie.timeBase = video->time_base;
    movie.duration = video->duration;
    std::unique_ptr<AVCodecContext, Freer<AVCodecContext, avcodec_free_context>> decoder(
        decode ? avcodec_alloc_context3(avcodec_find_decoder(movie.codec)) : nullptr);
    if (decoder && (avcodec_parameters_to_context(decoder.get(), video->codecpar) < 0 ||
                    avcodec_open2(decoder.get(), nullptr, nullptr) < 0)) {
        return Movie{.error = "libavcodec cannot decode it"};
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
    while ((status = av_read_frame(format.get(), packet.get())) >= 0) {
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
    movie.error = status != AVERROR_EOF ? "a read error before the end" : "";
    return movie;
}

Movie readMovie(const Bytes& contents, bool decode, const OnPacket& onPacket) {
    // libavformat reads it as a file, seeking as it does in one.
    const UniqueFd file(::memfd_create("movie", MFD_CLOEXEC));
    if (!file || ::write(file.get(), contents.data(), contents.size()) !=
                     static_cast<ssize_t>(contents.size())) {
        return Movie{.error = "cannot hold it in a memory file"};
    }
    return readMovie("/proc/self/fd/" + std::to_string(file.get()), decode, onPacket);
}

std::vector<Bytes> accessUnits(const Bytes& stream) {
    std::vector<Bytes> units;
    readMovie(stream, false,
              [&](const AVPacket& p) { units.emplace_back(p.data, p.data + p.size); });
    return units;
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
