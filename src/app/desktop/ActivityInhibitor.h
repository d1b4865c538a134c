// Keeps the computer awake while a stream runs, as a person watching it
// expects: it does not fall asleep for want of keyboard and mouse input, yet
// the user can still put it to sleep (lid, system menu), and then it waits
// the moment the stream needs to end in order. Each hold lasts as long as
// the returned object.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <memory>

namespace vistrel {

class ActivityHold {
public:
    virtual ~ActivityHold() = default;
};

class ActivityInhibitor {
public:
    virtual ~ActivityInhibitor() = default;
    // Keeps the computer and its screen from going to sleep when idle; never
    // refuses a sleep the user asks for. Never fails: a system that cannot
    // hold off sleep returns a hold that does nothing.
    [[nodiscard]] virtual std::unique_ptr<ActivityHold> preventIdleSleep(const QString& reason) = 0;
    // Holds off a sleep that is about to begin until the hold ends (the
    // system waits only so long); likewise never fails.
    [[nodiscard]] virtual std::unique_ptr<ActivityHold> delaySleep(const QString& reason) = 0;
};

// logind on the system bus: an "idle" block lock and a "sleep" delay lock,
// each the file descriptor Inhibit returns. For idle, also the desktop's own
// idle inhibitor through the XDG desktop portal on the session bus, which
// screen savers and desktop power settings obey where logind's idle lock is
// not consulted. A bus that is not there is skipped.
class LogindInhibitor final : public ActivityInhibitor {
public:
    explicit LogindInhibitor(QDBusConnection systemBus = QDBusConnection::systemBus(),
                             QDBusConnection sessionBus = QDBusConnection::sessionBus())
        : systemBus_(std::move(systemBus)), sessionBus_(std::move(sessionBus)) {}
    [[nodiscard]] std::unique_ptr<ActivityHold> preventIdleSleep(const QString& reason) override;
    [[nodiscard]] std::unique_ptr<ActivityHold> delaySleep(const QString& reason) override;

private:
    QDBusConnection systemBus_;
    QDBusConnection sessionBus_;
};

} // namespace vistrel
