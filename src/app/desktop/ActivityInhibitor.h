// Keeps the computer from sleeping while a stream runs. The hold lasts as
// long as the returned object.
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
    // Never fails: a system that cannot hold off sleep returns a hold that
    // does nothing.
    [[nodiscard]] virtual std::unique_ptr<ActivityHold> begin(const QString& reason) = 0;
};

// logind's Inhibit("sleep:idle", …, "block") on the system bus (or the bus a
// test gives); the lock is the file descriptor it returns. Nothing when there
// is no such bus.
class LogindInhibitor final : public ActivityInhibitor {
public:
    explicit LogindInhibitor(QDBusConnection bus = QDBusConnection::systemBus())
        : bus_(std::move(bus)) {}
    [[nodiscard]] std::unique_ptr<ActivityHold> begin(const QString& reason) override;

private:
    QDBusConnection bus_;
};

} // namespace vistrel
