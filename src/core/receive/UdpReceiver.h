// Receives the headset's MPEG-TS datagrams on one UDP port, from one sender
// address only, and runs them through demuxer, Annex B splitting and decoder
// on its own named thread. Decoded pictures leave through onFrame.
#pragma once

#include "receive/PixelBuffer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vistrel {

class UdpReceiver {
public:
    using FrameCallback = std::function<void(const PixelBuffer&)>;
    using ErrorCallback = std::function<void(const std::string&)>;

    UdpReceiver();
    ~UdpReceiver(); // stops
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    // Read at the moment of each call, so they may be set (from any thread)
    // after construction. onFrame runs on the decoder's thread, onError on the
    // receiver thread.
    void setOnFrame(FrameCallback callback);
    void setOnError(ErrorCallback callback);

    // Opens, binds 0.0.0.0:port and starts the receiver thread. Accepts only
    // datagrams whose source address is `peer` (dotted IPv4). Throws StreamError.
    void start(std::uint16_t port, std::string_view peer);

    // Joins the thread and closes the socket. Idempotent; no callback runs
    // after it returns.
    void stop();
};

} // namespace vistrel
