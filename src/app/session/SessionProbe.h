// The tests' one window onto the session's private steps and counters:
// feeding the SSH client's output, presenting and failing directly, the
// callbacks the current run gave its receiver, and how many pictures were
// shown or replaced in the mailbox. Nothing in the application uses it.
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
    // The SSH channel: its lineRead reports every line the remote side
    // printed, in this run and later ones.
    static const SshChannel& channel(const StreamSession& s) { return *s.channel_; }
    static qsizetype outputBufferSize(const StreamSession& s) {
        return s.channel_->outputBuffer_.size();
    }
    static qint64 processId(const StreamSession& s) {
        return s.channel_->process_ ? s.channel_->process_->processId() : 0;
    }

    static void present(StreamSession& s, const PixelBuffer& p) { s.present(p); }
    static void fail(StreamSession& s, const QString& message) { s.fail(message); }
    static void finish(StreamSession& s) { s.finish(); }
    static double lastPing(const StreamSession& s) { return s.lastPing_; }
    static bool hasLatestFrame(const StreamSession& s) { return !s.latestFrame_.empty(); }

    // The callbacks the current run installed on its receiver: pictures and
    // errors fed here take exactly the decoder's path. Empty between runs.
    static UdpReceiver::FrameCallback onFrame(const StreamSession& s) {
        return s.runCallbacks_.onFrame;
    }
    static UdpReceiver::ErrorCallback onError(const StreamSession& s) {
        return s.runCallbacks_.onError;
    }
    // Pictures shown by present() since construction, and pictures of the
    // current run replaced in the mailbox before the GUI thread took them.
    static std::uint64_t presentedCount(const StreamSession& s) { return s.presented_; }
    static std::uint64_t mailboxDropCount(const StreamSession& s) { return s.mailbox_->dropped(); }
};

} // namespace vistrel
