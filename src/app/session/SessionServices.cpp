#include "session/SessionServices.h"

#include <QCoreApplication>

namespace vistrel {

SessionServices SessionServices::system() {
    SessionServices services;
    services.clock = std::make_unique<SystemClock>();
    services.settings = std::make_unique<QtSettingsStore>();
    services.chooser = std::make_unique<FileDialogChooser>();
    services.revealer = std::make_unique<DesktopFileRevealer>();
    services.clipboard = std::make_unique<SystemClipboard>();
    services.activity = std::make_unique<LogindInhibitor>();
    services.applicationDir = QCoreApplication::applicationDirPath();
    return services;
}

} // namespace vistrel
