// Tells the application that the computer is about to sleep, from logind's
// PrepareForSleep signal on the system bus. Without a bus (containers, build
// machines) it stays silent.
#pragma once

#include <QDBusConnection>
#include <QObject>

namespace vistrel {

class SleepWatcher : public QObject {
    Q_OBJECT

public:
    // Listens on `bus`; the system bus in the application, a private bus in tests.
    explicit SleepWatcher(const QDBusConnection& bus, QObject* parent = nullptr);

signals:
    void aboutToSleep();

private:
    Q_SLOT void onPrepareForSleep(bool starting);
};

} // namespace vistrel
