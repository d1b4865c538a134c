// Stands in for the SSH client and the headset behind it, so that a window
// test can put a real StreamSession into each phase through its real start
// and stop paths. The stand-in is a small shell program given to the session
// as its SSH client; in the streaming case it runs the real ffmpeg, which
// sends an MPEG-TS H.264 stream over UDP to the session's receiver exactly as
// the headset would.
#pragma once

#include "HeadsetStream.h"
#include "session/SessionServices.h"

#include <QString>
#include <QTemporaryDir>
#include <cstdint>

namespace vistrel::test {

class HeadsetStandIn {
public:
    enum class Behaviour {
        NeverAnswers,      // logs in forever: the session stays connecting
        StartsCapture,     // prints the start marker, sends nothing: waiting
        Streams,           // start marker, then a live test picture (see Stream)
        SlowToStop,        // start marker; takes 3 s to exit after STOP
        RefusesConnection, // exits like ssh when no sshd listens
    };

    // What Streams sends: FFmpeg's colour bars (testsrc2) of `size`, encoded
    // as the headset does, with `filterOptions` applied first (a conversion to
    // another colour matrix and its tag, for instance).
    struct Stream {
        QString size = QStringLiteral("1280x720");
        QString filterOptions;
    };

    explicit HeadsetStandIn(Behaviour behaviour);
    HeadsetStandIn(Behaviour behaviour, const Stream& stream);

    // The system's services with this stand-in as SSH client, an askpass
    // helper next to a private application folder, a free UDP port and the
    // settings of the test's private home.
    [[nodiscard]] SessionServices services() const;

    [[nodiscard]] std::uint16_t port() const { return port_; }

private:
    QTemporaryDir dir_;
    std::uint16_t port_ = 0;
    QString ssh_;
};

} // namespace vistrel::test
