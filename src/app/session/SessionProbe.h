// The tests' one window onto the session's private steps and counters:
// feeding the SSH client's output, ending a run as its client's exit does,
// the callbacks the current run gave its receiver, and how many pictures were
// shown. Nothing in the application uses it; the benchmarks read the
// current run's receiver through it too.
#pragma once

#include "session/SshChannel.h"
#include "session/StreamSession.h"

#include <cstdint>

namespace vistrel {

class SessionProbe {
public:
    // As if the SSH client of the current run had written `bytes`.
    static void consumeOutput(StreamSession& s, const QByteArray& bytes) {
        s.channel_->consumeOutput(bytes);
    }
    static qsizetype outputBufferSize(const StreamSession& s) {
        return s.channel_->outputBuffer_.size();
    }
    static qint64 processId(const StreamSession& s) {
        return s.channel_->process_ ? s.channel_->process_->processId() : 0;
    }

    static void finish(StreamSession& s) { s.finish(); }
    static double lastPing(const StreamSession& s) { return s.lastPing_; }

    // The callbacks the current run installed on its receiver: pictures and
    // errors fed here take exactly the decoder's path. Empty between runs.
    static UdpReceiver::FrameCallback onFrame(const StreamSession& s) {
        return s.runCallbacks_.onFrame;
    }
    static UdpReceiver::ErrorCallback onError(const StreamSession& s) {
        return s.runCallbacks_.onError;
    }
    // Pictures shown by present() since construction.
    static std::uint64_t presentedCount(const StreamSession& s) { return s.presented_; }
    // The current run's receiver; null between runs.
    static const UdpReceiver* receiver(const StreamSession& s) { return s.receiver_.get(); }
};

} // namespace vistrel
