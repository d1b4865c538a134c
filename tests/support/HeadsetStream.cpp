#include "HeadsetStream.h"

#include "ChildProcess.h"
#include "connection/RemoteCommand.h"

#include <arpa/inet.h>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace vistrel::test {

namespace {

struct Spec {
    int width, height;
    double seconds;
    const char* pixelFormat;
};
const std::map<std::string, Spec> specs{
    {"320x240", {320, 240, 3.0, "yuv420p"}},       {"1280x720", {1280, 720, 3.0, "yuv420p"}},
    {"256x144", {256, 144, 1.0, "yuv420p"}},       {"yuv444p", {64, 64, 0.1, "yuv444p"}},
    {"yuv420p10le", {64, 64, 0.1, "yuv420p10le"}}, {"8208x16", {8208, 16, 0.1, "yuv420p"}},
};

// A UDP socket on `address` with a port the system chose; throws when none.
UniqueFd boundSocket(std::uint32_t address, std::uint16_t& port) {
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in bound{AF_INET, 0, {htonl(address)}, {}};
    socklen_t length = sizeof bound;
    if (!socket || ::bind(socket.get(), reinterpret_cast<sockaddr*>(&bound), length) != 0 ||
        ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        throw std::runtime_error("no free UDP port");
    }
    port = ntohs(bound.sin_port);
    return socket;
}

std::string savedFile(const std::string& name) {
    return std::string(VISTREL_TEST_STREAMS) + "/" + name;
}

// Saved as records: a 16-bit big-endian length, then the datagram.
std::vector<Bytes> make(const std::string& name) {
    const Spec& s = specs.at(name);
    auto datagrams = sendHeadsetStream(s.width, s.height, s.seconds, s.pixelFormat);
    std::filesystem::create_directories(VISTREL_TEST_STREAMS);
    const std::string part = savedFile(name) + "." + std::to_string(::getpid());
    std::ofstream out(part, std::ios::binary);
    for (const Bytes& d : datagrams) {
        out << static_cast<char>(d.size() >> 8) << static_cast<char>(d.size() & 0xFF);
        out.write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
    }
    out.close();
    std::filesystem::rename(part, savedFile(name));
    return datagrams;
}

} // namespace

std::vector<std::string> headsetEncoderArguments() {
    const std::string script = RemoteCommand::script("127.0.0.1", 1);
    const std::size_t begin = script.find("-map 0:v");
    std::istringstream words(script.substr(begin, script.find("-f mpegts") + 9 - begin));
    std::vector<std::string> arguments;
    for (std::string word; words >> word;) {
        if (word != "\\") {
            arguments.push_back(word);
        }
    }
    return arguments;
}

std::string headsetDestination(std::uint16_t port) {
    const std::string script = RemoteCommand::script("127.0.0.1", port);
    const std::size_t quoted = script.find('\'', script.find("-f mpegts"));
    return script.substr(quoted + 1, script.find('\'', quoted + 1) - quoted - 1);
}

std::vector<Bytes> sendHeadsetStream(int width, int height, double seconds,
                                     const std::string& pixelFormat) {
    std::uint16_t port = 0;
    const UniqueFd socket = boundSocket(INADDR_LOOPBACK, port);
    const int one = 1;
    const int bufferSize = 8 << 20;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RXQ_OVFL, &one, sizeof one);
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    std::vector<std::string> argv{"ffmpeg",
                                  "-nostdin",
                                  "-f",
                                  "lavfi",
                                  "-i",
                                  "testsrc2=rate=20:size=" + std::to_string(width) + "x" +
                                      std::to_string(height) +
                                      ":duration=" + std::to_string(seconds)};
    for (std::string& argument : headsetEncoderArguments()) {
        argv.push_back(argument == "yuv420p" ? pixelFormat : argument);
    }
    argv.push_back(headsetDestination(port));
    ChildProcess ffmpeg(argv);

    std::vector<Bytes> datagrams;
    std::uint32_t dropped = 0; // by the kernel, for want of buffer space
    for (bool exited = false;;) {
        pollfd ready{socket.get(), POLLIN, 0};
        if (::poll(&ready, 1, 20) > 0) {
            Bytes buffer(65536);
            std::array<char, CMSG_SPACE(sizeof dropped)> control{};
            iovec data{buffer.data(), buffer.size()};
            msghdr message{nullptr, 0, &data, 1, control.data(), control.size(), 0};
            buffer.resize(static_cast<std::size_t>(
                std::max<ssize_t>(0, ::recvmsg(socket.get(), &message, 0))));
            datagrams.push_back(std::move(buffer));
            if (const cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr) {
                std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
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

const TestStream& testStream(const std::string& name) {
    static std::mutex lock;
    static std::map<std::string, TestStream> loaded;
    const std::lock_guard guard(lock);
    if (const auto found = loaded.find(name); found != loaded.end()) {
        return found->second;
    }
    TestStream stream;
    const std::string saved = readFile(savedFile(name));
    for (std::size_t at = 0; at + 2 <= saved.size(); at += 2 + stream.datagrams.back().size()) {
        const auto size = static_cast<std::size_t>(static_cast<std::uint8_t>(saved[at]) << 8 |
                                                   static_cast<std::uint8_t>(saved[at + 1]));
        const auto begin = saved.begin() + static_cast<std::ptrdiff_t>(at + 2);
        stream.datagrams.emplace_back(begin, begin + static_cast<std::ptrdiff_t>(size));
    }
    if (stream.datagrams.empty()) {
        stream.datagrams = make(name);
    }
    for (const Bytes& d : stream.datagrams) {
        stream.bytes.insert(stream.bytes.end(), d.begin(), d.end());
    }
    stream.units = accessUnits(stream.bytes);
    return loaded.emplace(name, std::move(stream)).first->second;
}

void makeTestStreams() {
    for (const auto& [name, spec] : specs) {
        make(name);
    }
}

std::uint16_t freeUdpPort() {
    std::uint16_t port = 0;
    boundSocket(INADDR_ANY, port);
    return port;
}

} // namespace vistrel::test
