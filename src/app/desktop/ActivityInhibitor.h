// Keeps the computer from sleeping while a stream runs. The hold lasts as
// long as the returned object.
#pragma once

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

// logind's Inhibit("sleep:idle", …, "block") on the system bus; the lock is
// the file descriptor it returns. Nothing when there is no system bus.
class LogindInhibitor final : public ActivityInhibitor {
public:
    [[nodiscard]] std::unique_ptr<ActivityHold> begin(const QString& reason) override;
};

} // namespace vistrel
