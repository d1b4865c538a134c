#include "DatagramTap.h"

#include "BenchProcess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <utility>

namespace vistrel::bench {

DatagramTap::DatagramTap(std::uint16_t destination)
    : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), destination_(destination) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    const int bufferSize = 4 * 1024 * 1024;
    if (!socket_ ||
        ::setsockopt(socket_.get(), SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize) != 0 ||
        ::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        throw std::runtime_error(std::string("tap socket: ") + std::strerror(errno));
    }
    port_ = ntohs(local.sin_port);
    arrivals_.reserve(200000);
    thread_ = std::thread([this] { run(); });
    handle_ = thread_.native_handle();
}

DatagramTap::~DatagramTap() {
    stop();
}

double DatagramTap::cpuSeconds() const {
    return threadCpuSeconds(handle_);
}

void DatagramTap::dropWhen(DropRule rule) {
    const std::lock_guard lock(lock_);
    drop_ = std::move(rule);
}

std::vector<DatagramTap::Arrival> DatagramTap::take() {
    const std::lock_guard lock(lock_);
    return std::exchange(arrivals_, {});
}

std::vector<DatagramTap::Arrival> DatagramTap::stop() {
    stopping_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
    return take();
}

void DatagramTap::run() {
    pthread_setname_np(pthread_self(), "datagram-tap");
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    target.sin_port = htons(destination_);
    std::vector<std::uint8_t> buffer(65536);
    while (!stopping_.load(std::memory_order_relaxed)) {
        pollfd ready{socket_.get(), POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) {
            continue;
        }
        const ssize_t n = ::recv(socket_.get(), buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            continue;
        }
        const Clock::time_point at = Clock::now();
        const std::lock_guard lock(lock_);
        const bool dropped = drop_ && drop_({buffer.data(), static_cast<std::size_t>(n)});
        // Nobody listening between two receivers is fine: the datagram is
        // simply lost, as it would be on the network.
        if (!dropped) {
            ::sendto(socket_.get(), buffer.data(), static_cast<std::size_t>(n), 0,
                     reinterpret_cast<const sockaddr*>(&target), sizeof target);
        }
        arrivals_.push_back({at, {buffer.begin(), buffer.begin() + n}, dropped});
    }
}

} // namespace vistrel::bench
