#include "HeadsetStream.h"

#include "ChildProcess.h"
#include "connection/RemoteCommand.h"

#include <algorithm>
#include <arpa/inet.h>
#include <filesystem>
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

// 20 pictures a second, one entry per datagram; throws when ffmpeg fails.
std::vector<Bytes> sendStream(const Spec& s) {
    const UniqueFd socket = bindUdp("127.0.0.1");
    const int bufferSize = 8 << 20;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    std::vector<std::string> argv =
        headsetEncoder({"ffmpeg", "-nostdin", "-f", "lavfi", "-i",
                        "testsrc2=rate=20:size=" + std::to_string(s.width) + "x" +
                            std::to_string(s.height) + ":duration=" + std::to_string(s.seconds)},
                       boundPort(socket));
    std::replace(argv.begin(), argv.end(), std::string("yuv420p"), std::string(s.pixelFormat));
    ChildProcess ffmpeg(argv);
    std::vector<Bytes> datagrams;
    for (bool exited = false;;) {
        pollfd ready{socket.get(), POLLIN, 0};
        if (::poll(&ready, 1, 20) > 0) {
            Bytes buffer(65536);
            buffer.resize(static_cast<std::size_t>(
                std::max<ssize_t>(0, ::recv(socket.get(), buffer.data(), buffer.size(), 0))));
            datagrams.push_back(std::move(buffer));
        } else if (exited) {
            break; // drained after ffmpeg ended
        } else if (const auto status = ffmpeg.waitForExit(std::chrono::milliseconds(0))) {
            if (*status != 0) {
                throw std::runtime_error("ffmpeg failed: " + ffmpeg.errorText());
            }
            exited = true;
        }
    }
    return datagrams;
}

std::string savedFile(const std::string& name) {
    return std::string(VISTREL_TEST_STREAMS) + "/" + name;
}

// Saved as records: a 16-bit big-endian length, then the datagram.
std::vector<Bytes> make(const std::string& name) {
    auto datagrams = sendStream(specs.at(name));
    std::string records;
    for (const Bytes& d : datagrams) {
        records += {static_cast<char>(d.size() >> 8), static_cast<char>(d.size() & 0xFF)};
        records.append(d.begin(), d.end());
    }
    std::filesystem::create_directories(VISTREL_TEST_STREAMS);
    const std::string part = savedFile(name) + "." + std::to_string(::getpid());
    writeFile(part, records);
    std::filesystem::rename(part, savedFile(name)); // whole, for a test run beside
    return datagrams;
}

} // namespace

std::vector<std::string> headsetEncoder(const std::vector<std::string>& input, std::uint16_t port) {
    const std::string script = RemoteCommand::script("127.0.0.1", port);
    const std::size_t begin = script.find("-map 0:v");
    const std::size_t end = script.find("-f mpegts") + 9;
    std::istringstream words(script.substr(begin, end - begin));
    std::vector<std::string> argv = input;
    for (std::string word; words >> word;) {
        if (word != "\\") {
            argv.push_back(word);
        }
    }
    const std::size_t quoted = script.find('\'', end);
    argv.push_back(script.substr(quoted + 1, script.find('\'', quoted + 1) - quoted - 1));
    return argv;
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
    return boundPort(bindUdp("0.0.0.0"));
}

UniqueFd bindUdp(const std::string& address, std::uint16_t port) {
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in local{AF_INET, htons(port), {}, {}};
    return ::inet_pton(AF_INET, address.c_str(), &local.sin_addr) == 1 &&
                   ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) ==
                       0
               ? std::move(socket)
               : UniqueFd();
}

std::uint16_t boundPort(const UniqueFd& socket) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        local.sin_port == 0) {
        throw std::runtime_error("no bound UDP socket");
    }
    return ntohs(local.sin_port);
}

} // namespace vistrel::test
