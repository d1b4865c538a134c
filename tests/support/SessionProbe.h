// What the tests read of a session and feed it, through what any observer
// may use: the SSH channel of the current run (its client's process, output
// fed and an exit announced as if the client did so), the callbacks its
// receiver was given, and the pictures shown.
#pragma once

#include "session/SshChannel.h"
#include "session/StreamSession.h"

#include <cstdint>

namespace vistrel {

class SessionProbe {
public:
    // As if the SSH client of the current run had written `bytes`.
    static void consumeOutput(StreamSession& s, const QByteArray& bytes) {
        s.channel().consumeOutput(bytes);
    }
    static qsizetype outputBufferSize(const StreamSession& s) {
        return s.channel().bufferedOutputSize();
    }
    static qint64 processId(const StreamSession& s) { return s.channel().processId(); }

    // The callbacks the current run installed on its receiver: pictures and
    // errors fed here take exactly the decoder's path. Empty between runs.
    static UdpReceiver::FrameCallback onFrame(const StreamSession& s) {
        return s.receiver() ? s.receiver()->frameCallback() : nullptr;
    }
    static UdpReceiver::ErrorCallback onError(const StreamSession& s) {
        return s.receiver() ? s.receiver()->errorCallback() : nullptr;
    }
    static std::uint64_t presentedCount(const StreamSession& s) { return s.picturesShown(); }
    // As the client's exit ends a run.
    static void finish(StreamSession& s) { emit s.channel().exited(0); }
    static double lastPing(const StreamSession& s) { return s.lastKeepAlive(); }
    // The current run's receiver; null between runs.
    static const UdpReceiver* receiver(const StreamSession& s) { return s.receiver(); }
};

} // namespace vistrel
