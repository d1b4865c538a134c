// Everything the session takes from the desktop and the system, gathered so
// that the application passes the real services and tests pass their own.
#pragma once

#include "desktop/ActivityInhibitor.h"
#include "desktop/CaptureLocationChooser.h"
#include "desktop/Clipboard.h"
#include "desktop/Clock.h"
#include "desktop/FileRevealer.h"
#include "desktop/SettingsStore.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace vistrel {

struct SessionServices {
    std::unique_ptr<Clock> clock;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<CaptureLocationChooser> chooser;
    std::unique_ptr<FileRevealer> revealer;
    std::unique_ptr<Clipboard> clipboard;
    std::unique_ptr<ActivityInhibitor> activity;

    // The SSH client to launch.
    QString sshProgram = QStringLiteral("/usr/bin/ssh");
    // Where the askpass helper is looked for (next to it, then in
    // ../libexec/vistrel/); the application's own folder unless a test says otherwise.
    QString applicationDir;
    // The UDP port the headset sends to. Fixed for users; tests pick a free one
    // so that runs can overlap.
    std::uint16_t port = 8090;

    // The real services of this desktop, the application's folder and port 8090.
    static SessionServices system();
};

} // namespace vistrel
