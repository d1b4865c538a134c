#include "desktop/SleepWatcher.h"

namespace vistrel {

SleepWatcher::SleepWatcher(const QDBusConnection& bus, QObject* parent) : QObject(parent) {
    if (!bus.isConnected()) {
        return;
    }
    // The connection object is a shared handle; connecting through a copy
    // registers the match on the same underlying bus connection.
    QDBusConnection connection(bus);
    connection.connect(QStringLiteral("org.freedesktop.login1"),
                       QStringLiteral("/org/freedesktop/login1"),
                       QStringLiteral("org.freedesktop.login1.Manager"),
                       QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
}

void SleepWatcher::onPrepareForSleep(bool starting) {
    // logind sends false on resume; only the way down matters.
    if (starting) {
        emit aboutToSleep();
    }
}

} // namespace vistrel
