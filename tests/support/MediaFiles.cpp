#include "MediaFiles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <png.h>
#include <sstream>

namespace vistrel::test {

Mp4Info readMp4(const std::filesystem::path& file) {
    Mp4Info info;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, file.c_str(), nullptr, nullptr) < 0) {
        info.error = "cannot open " + file.string();
        return info;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(
        raw, [](AVFormatContext* f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(format.get(), nullptr) < 0) {
        info.error = "no stream information";
        return info;
    }
    int videoIndex = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++info.videoStreams;
            videoIndex = static_cast<int>(i);
        } else {
            ++info.otherStreams;
        }
    }
    if (videoIndex < 0) {
        info.error = "no video stream";
        return info;
    }
    const AVStream* stream = format->streams[videoIndex];
    info.codec = stream->codecpar->codec_id;
    info.width = stream->codecpar->width;
    info.height = stream->codecpar->height;
    info.timeBase = stream->time_base;
    info.duration = stream->duration;

    const AVCodec* decoder = avcodec_find_decoder(info.codec);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> context(
        avcodec_alloc_context3(decoder), [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (decoder == nullptr || !context ||
        avcodec_parameters_to_context(context.get(), stream->codecpar) < 0 ||
        avcodec_open2(context.get(), decoder, nullptr) < 0) {
        info.error = "cannot open the decoder";
        return info;
    }
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                       [](AVFrame* f) { av_frame_free(&f); });
    auto receive = [&] {
        while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
            if (info.decodedFrames == 0 && frame->format == AV_PIX_FMT_YUV420P) {
                const int cx = frame->width / 2;
                const int cy = frame->height / 2;
                int sy = 0;
                int scb = 0;
                int scr = 0;
                for (int y = cy - 4; y < cy + 4; ++y) {
                    for (int x = cx - 4; x < cx + 4; ++x) {
                        sy += frame->data[0][y * frame->linesize[0] + x];
                        scb += frame->data[1][(y / 2) * frame->linesize[1] + x / 2];
                        scr += frame->data[2][(y / 2) * frame->linesize[2] + x / 2];
                    }
                }
                info.centreY = sy / 64;
                info.centreCb = scb / 64;
                info.centreCr = scr / 64;
            }
            ++info.decodedFrames;
            av_frame_unref(frame.get());
        }
    };
    int status = 0;
    while ((status = av_read_frame(format.get(), packet.get())) >= 0) {
        if (packet->stream_index == videoIndex) {
            info.pts.push_back(packet->pts);
            info.keyFrames.push_back((packet->flags & AV_PKT_FLAG_KEY) != 0);
            if (avcodec_send_packet(context.get(), packet.get()) < 0) {
                ++info.decodeErrors;
            }
            receive();
        }
        av_packet_unref(packet.get());
    }
    if (status != AVERROR_EOF) {
        info.error = "read error before the end of the file";
    }
    avcodec_send_packet(context.get(), nullptr);
    receive();
    return info;
}

std::vector<PixelBuffer> decodeAll(const std::filesystem::path& file) {
    std::vector<PixelBuffer> pictures;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, file.c_str(), nullptr, nullptr) < 0) {
        return pictures;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(
        raw, [](AVFormatContext* f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(format.get(), nullptr) < 0) {
        return pictures;
    }
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        return pictures;
    }
    const AVCodecParameters* parameters = format->streams[index]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> context(
        avcodec_alloc_context3(decoder), [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (decoder == nullptr || !context ||
        avcodec_parameters_to_context(context.get(), parameters) < 0 ||
        avcodec_open2(context.get(), decoder, nullptr) < 0) {
        return pictures;
    }
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                       [](AVFrame* f) { av_frame_free(&f); });
    auto receive = [&] {
        while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
            pictures.push_back(PixelBuffer::referencing(frame.get()));
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index &&
            avcodec_send_packet(context.get(), packet.get()) == 0) {
            receive();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(context.get(), nullptr);
    receive();
    return pictures;
}

PngInfo readPng(const std::filesystem::path& file) {
    PngInfo info;
    const std::string bytes = readFile(file);
    // The chunk list, for what the simplified reader does not tell.
    static const std::string signature("\x89PNG\r\n\x1a\n", 8);
    if (bytes.compare(0, 8, signature) != 0) {
        info.error = "not a PNG file";
        return info;
    }
    auto be32 = [&](std::size_t at) {
        return (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
    };
    for (std::size_t at = 8; at + 8 <= bytes.size();) {
        const std::uint32_t length = be32(at);
        const std::string type = bytes.substr(at + 4, 4);
        if (type == "IHDR" && at + 8 + 13 <= bytes.size()) {
            info.bitDepth = static_cast<unsigned char>(bytes[at + 16]);
            info.colourType = static_cast<unsigned char>(bytes[at + 17]);
        } else if (type == "sRGB") {
            info.srgbChunk = true;
        }
        at += 12 + static_cast<std::size_t>(length);
    }

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) {
        info.error = image.message;
        return info;
    }
    image.format = PNG_FORMAT_RGBA;
    info.width = static_cast<int>(image.width);
    info.height = static_cast<int>(image.height);
    info.rgba.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, info.rgba.data(), 0, nullptr) == 0) {
        info.error = image.message;
        png_image_free(&image);
    }
    return info;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
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
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << contents;
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
