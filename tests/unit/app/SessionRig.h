// A StreamSession wired to test services and a stand-in "ssh" program (a bash
// script written by the test), plus the small tools the session tests share:
// pictures made from real FFmpeg frames, waiting on the event loop, a free
// UDP port.
#pragma once

#include "HeadsetStream.h"
#include "SessionDoubles.h"
#include "TestPictures.h"
#include "receive/PixelBuffer.h"
#include "session/SessionProbe.h"
#include "session/StreamSession.h"

#include <QString>
#include <QTemporaryDir>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vistrel {

namespace test {

// Runs the event loop until `condition` holds; false after `timeout`.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(30));
// Runs the event loop for a short while, for work already queued.
void drainEvents();

// Reads a whole file; empty when missing.
std::string readFile(const QString& path);

class SessionRig {
public:
    // `sshBody` is bash run after the stand-in has logged its arguments and
    // environment; "$dir" is the rig's folder and `listen` a function that
    // logs standard-input lines to $dir/stdin and exits 0 (after printing
    // VL_STOPPED) on STOP or at the end of input.
    explicit SessionRig(const std::string& sshBody = "listen", bool withAskpass = true);
    ~SessionRig();
    SessionRig(const SessionRig&) = delete;
    SessionRig& operator=(const SessionRig&) = delete;

    // Before make(): run on the real clocks instead of the test clock
    // (`clock` stays null), for runs against a real headset.
    bool realClock = false;

    // Makes the session with the given saved settings (call once, or let the
    // first use of session() do it with the address 127.0.0.1).
    StreamSession& make(std::optional<QString> savedAddress = QStringLiteral("127.0.0.1"),
                        std::optional<QString> savedUser = std::nullopt);
    StreamSession& session();

    // Starts and expects the run to be connecting.
    void startConnecting();
    // Starts, then shows a first picture of the given size: streaming.
    void startStreaming(int width = 1280, int height = 720);
    // Feeds a picture through the run's frame callback and lets it be presented.
    void feed(const PixelBuffer& picture);

    [[nodiscard]] QString dir() const { return dir_.path(); }
    [[nodiscard]] QString path(const QString& name) const { return dir_.filePath(name); }
    // Lines the stand-in read from its standard input.
    [[nodiscard]] QStringList stdinLines() const;
    // How many times the stand-in was started.
    [[nodiscard]] int launches() const;

    std::uint16_t port;
    TestClock* clock = nullptr;
    MemorySettings* settings = nullptr;
    ScriptedChooser* chooser = nullptr;
    RecordingRevealer* revealer = nullptr;
    RecordingClipboard* clipboard = nullptr;
    CountingInhibitor* activity = nullptr;
    QString sshProgram;

private:
    QTemporaryDir dir_;
    QByteArray savedDataHome_;
    bool hadDataHome_ = false;
    std::unique_ptr<StreamSession> session_;
    bool withAskpass_;
};

} // namespace test
} // namespace vistrel
