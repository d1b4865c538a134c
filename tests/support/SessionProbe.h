// What the tests read of a session and feed it through what any observer may
// use: the current run's SSH channel and receiver callbacks, and the pictures
// shown. Fed output and a finish take the real client's path.
#pragma once

#include "session/SshChannel.h"
#include "session/StreamSession.h"

namespace vistrel {

class SessionProbe {
public:
    static void consumeOutput(StreamSession& s, const QByteArray& bytes) {
        s.channel().consumeOutput(bytes);
    }
    static qsizetype outputBufferSize(const StreamSession& s) {
        return s.channel().bufferedOutputSize();
    }
    static qint64 processId(const StreamSession& s) { return s.channel().processId(); }
    // Empty between runs.
    static UdpReceiver::FrameCallback onFrame(const StreamSession& s) {
        return s.receiver() ? s.receiver()->frameCallback() : nullptr;
    }
    static UdpReceiver::ErrorCallback onError(const StreamSession& s) {
        return s.receiver() ? s.receiver()->errorCallback() : nullptr;
    }
    static std::uint64_t presentedCount(const StreamSession& s) { return s.picturesShown(); }
    static void finish(StreamSession& s) { emit s.channel().exited(0); }
    static double lastPing(const StreamSession& s) { return s.lastKeepAlive(); }
    static const UdpReceiver* receiver(const StreamSession& s) { return s.receiver(); }
};

} // namespace vistrel
