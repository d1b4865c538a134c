// Receives the headset's MPEG-TS datagrams on one UDP port, from one sender
// address only, and hands them to its VideoPipeline (demuxer, Annex B
// splitting, decoder) on its own named thread. Decoded pictures leave through
// onFrame.
#pragma once

#include "receive/LossPolicy.h"
#include "receive/PixelBuffer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vistrel {

class UdpReceiver {
public:
    using FrameCallback = std::function<void(const PixelBuffer&)>;
    using ErrorCallback = std::function<void(const std::string&)>;

    // What has come in so far; readable from any thread at any time.
    struct Statistics {
        std::uint64_t datagrams = 0;        // accepted and handed to the demuxer
        std::uint64_t bytes = 0;            // in accepted datagrams
        std::uint64_t ignoredDatagrams = 0; // empty, or from another address
        std::uint64_t readinessEvents = 0;  // wake-ups with the socket readable
        std::uint64_t droppedPackets = 0;   // continuity gaps in the stream
        std::uint64_t frames = 0;           // decoded pictures handed on
        // Datagrams the system dropped because the socket's buffer was full.
        std::uint64_t kernelDrops = 0;
        // Access units decoded, and the time the decoder took for them.
        std::uint64_t decodedUnits = 0;
        std::uint64_t decodeNanos = 0;
        // Pictures handed on that were decoded from damaged access units or
        // with concealed errors.
        std::uint64_t damagedFrames = 0;
        // Decoding waits for a keyframe: nothing new is shown until one comes.
        bool waitingForKeyframe = true;
    };

    // For the diagnostics of how a stream starts: when this receiver's first
    // datagram was accepted, the first access unit complete, the first
    // keyframe complete (the first access unit the decoder took) and the first
    // picture decoded. Empty until then; readable from any thread.
    struct StartTimes {
        using Moment = std::optional<std::chrono::steady_clock::time_point>;
        Moment datagram;
        Moment accessUnit;
        Moment keyframe;
        Moment picture;
    };

    UdpReceiver();
    ~UdpReceiver(); // stops
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    // Read at the moment of each call, so they may be set (from any thread)
    // after construction. Both run on the receiver thread.
    void setOnFrame(FrameCallback callback);
    void setOnError(ErrorCallback callback);
    // The callbacks as set, for a caller that hands pictures or errors on as
    // the pipeline would; empty when none is set.
    [[nodiscard]] FrameCallback frameCallback() const;
    [[nodiscard]] ErrorCallback errorCallback() const;

    // What the pipeline does with lost packets; any thread, at any time, also
    // before start(). Takes effect at the next loss.
    void setLossPolicy(LossPolicy policy) noexcept;

    // Opens, binds 0.0.0.0:port and starts the receiver thread. Accepts only
    // datagrams whose source address is `peer` (dotted IPv4). Throws StreamError.
    // Meant to be called once; a second call stops the first reception.
    void start(std::uint16_t port, std::string_view peer);

    // Joins the thread and closes the socket. Idempotent; no callback runs
    // after it returns.
    void stop();

    [[nodiscard]] Statistics statistics() const;
    // The slowest decode of one access unit since the previous call, in
    // nanoseconds (0 when none); the call starts the next period, so it has
    // one reader.
    [[nodiscard]] std::uint64_t takeSlowestDecode() const;

    [[nodiscard]] StartTimes startTimes() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vistrel
