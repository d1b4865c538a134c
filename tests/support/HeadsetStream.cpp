#include "HeadsetStream.h"

#include "ChildProcess.h"
#include "RunProcess.h"
#include "connection/RemoteCommand.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace vistrel::test {

namespace {

struct TemporaryFile {
    std::string path;
    explicit TemporaryFile(const Bytes& contents) {
        char name[] = "/tmp/vistrel-stream-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0) {
            throw std::runtime_error("mkstemp failed");
        }
        ::close(fd);
        path = name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(contents.data()),
                  static_cast<std::streamsize>(contents.size()));
    }
    ~TemporaryFile() { std::remove(path.c_str()); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
};

struct MemoryReader {
    const Bytes* bytes;
    std::size_t position = 0;
};

int readMemory(void* opaque, std::uint8_t* buffer, int size) {
    auto* reader = static_cast<MemoryReader*>(opaque);
    const std::size_t left = reader->bytes->size() - reader->position;
    if (left == 0) {
        return AVERROR_EOF;
    }
    const std::size_t count = std::min(left, static_cast<std::size_t>(size));
    std::memcpy(buffer, reader->bytes->data() + reader->position, count);
    reader->position += count;
    return static_cast<int>(count);
}

} // namespace

std::vector<std::string> headsetEncoderArguments() {
    // Taken from the script itself so that the tests follow any change to it.
    const std::string script = RemoteCommand::script("127.0.0.1", 1);
    const std::size_t begin = script.find("-map 0:v");
    const std::size_t end = script.find("-f mpegts", begin);
    if (begin == std::string::npos || end == std::string::npos) {
        throw std::runtime_error("the remote script has no encoder arguments");
    }
    std::istringstream words(script.substr(begin, end + 9 - begin));
    std::vector<std::string> arguments;
    for (std::string word; words >> word;) {
        if (word != "\\") {
            arguments.push_back(word);
        }
    }
    return arguments;
}

namespace {

std::vector<std::string> encoderCommand(int width, int height, double seconds,
                                        const std::string& pixelFormat, const std::string& output) {
    std::vector<std::string> argv = {
        "ffmpeg",
        "-nostdin",
        "-f",
        "lavfi",
        "-i",
        "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=20",
        "-t",
        std::to_string(seconds)};
    for (std::string& argument : headsetEncoderArguments()) {
        if (argument == "yuv420p") {
            argument = pixelFormat;
        }
        argv.push_back(std::move(argument));
    }
    argv.push_back(output);
    return argv;
}

} // namespace

Bytes encodeHeadsetStream(int width, int height, double seconds, const std::string& pixelFormat) {
    const ProcessResult result =
        runProcess(encoderCommand(width, height, seconds, pixelFormat, "pipe:1"));
    if (result.exitStatus != 0 || result.out.empty()) {
        throw std::runtime_error("ffmpeg failed: " + result.err);
    }
    return {result.out.begin(), result.out.end()};
}

std::string headsetDestination(std::uint16_t port) {
    // The quoted word after "-f mpegts".
    const std::string script = RemoteCommand::script("127.0.0.1", port);
    const std::size_t quoted = script.find('\'', script.find("-f mpegts"));
    return script.substr(quoted + 1, script.find('\'', quoted + 1) - quoted - 1);
}

std::vector<Bytes> sendHeadsetStream(int width, int height, double seconds) {
    const UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const int one = 1;
    const int bufferSize = 8 * 1024 * 1024;
    if (!socket ||
        ::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::setsockopt(socket.get(), SOL_SOCKET, SO_RXQ_OVFL, &one, sizeof one) != 0) {
        throw std::runtime_error("no UDP socket for ffmpeg's output");
    }
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    ChildProcess ffmpeg(encoderCommand(width, height, seconds, "yuv420p",
                                       headsetDestination(ntohs(address.sin_port))));

    std::vector<Bytes> datagrams;
    Bytes buffer(65536);
    std::uint32_t dropped = 0; // by the kernel, for want of buffer space
    for (bool exited = false;;) {
        pollfd ready{socket.get(), POLLIN, 0};
        if (::poll(&ready, 1, 20) > 0) {
            std::array<char, CMSG_SPACE(sizeof dropped)> control{};
            iovec data{buffer.data(), buffer.size()};
            msghdr message{};
            message.msg_iov = &data;
            message.msg_iovlen = 1;
            message.msg_control = control.data();
            message.msg_controllen = control.size();
            const ssize_t received = ::recvmsg(socket.get(), &message, 0);
            if (received > 0) {
                datagrams.emplace_back(buffer.begin(), buffer.begin() + received);
            }
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
                    std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
                }
            }
        } else if (exited) {
            break; // drained after ffmpeg ended
        } else if (const auto status = ffmpeg.waitForExit(std::chrono::milliseconds(0))) {
            if (*status != 0) {
                throw std::runtime_error("ffmpeg failed: " + ffmpeg.errorText());
            }
            exited = true;
        }
    }
    if (dropped != 0 || datagrams.empty()) {
        throw std::runtime_error(std::to_string(dropped) + " of ffmpeg's datagrams were lost");
    }
    return datagrams;
}

void demuxWithLibavformat(const Bytes& stream,
                          const std::function<void(const std::uint8_t*, int)>& onPacket) {
    MemoryReader reader{&stream};
    constexpr int bufferSize = 64 * 1024;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(bufferSize));
    AVIOContext* io =
        avio_alloc_context(buffer, bufferSize, 0, &reader, readMemory, nullptr, nullptr);
    AVFormatContext* format = avformat_alloc_context();
    format->pb = io;
    format->flags |= AVFMT_FLAG_NOPARSE | AVFMT_FLAG_CUSTOM_IO;
    // On failure avformat_open_input frees the context itself.
    if (avformat_open_input(&format, nullptr, av_find_input_format("mpegts"), nullptr) == 0) {
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(format, packet) >= 0) {
            onPacket(packet->data, packet->size);
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        avformat_close_input(&format);
    }
    av_freep(&io->buffer);
    avio_context_free(&io);
}

std::vector<Bytes> referenceAccessUnits(const Bytes& stream) {
    std::vector<Bytes> units;
    demuxWithLibavformat(
        stream, [&](const std::uint8_t* data, int size) { units.emplace_back(data, data + size); });
    return units;
}

std::vector<Bytes> referencePictures(const Bytes& stream, int width, int height) {
    const TemporaryFile file(stream);
    const ProcessResult result =
        runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", file.path, "-fps_mode",
                    "passthrough", "-f", "rawvideo", "-pix_fmt", "yuv420p", "pipe:1"});
    if (result.exitStatus != 0) {
        throw std::runtime_error("ffmpeg failed: " + result.err);
    }
    const auto pictureSize =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3 / 2;
    std::vector<Bytes> pictures;
    for (std::size_t offset = 0; offset + pictureSize <= result.out.size(); offset += pictureSize) {
        const auto* begin = reinterpret_cast<const std::uint8_t*>(result.out.data()) + offset;
        pictures.emplace_back(begin, begin + pictureSize);
    }
    return pictures;
}

std::uint16_t freeUdpPort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        throw std::runtime_error("no free UDP port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace vistrel::test
