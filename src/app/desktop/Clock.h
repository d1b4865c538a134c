// Time for the session: a steady clock for intervals and deadlines, the wall
// clock for what the user reads, and delayed or repeating work on the GUI
// thread. Behind an interface so that tests can move time by hand.
#pragma once

#include <QDateTime>
#include <QObject>
#include <functional>
#include <memory>

namespace vistrel {

class Clock {
public:
    virtual ~Clock() = default;

    // Seconds on a monotonic clock; only differences mean anything.
    [[nodiscard]] virtual double uptime() const = 0;
    // The current wall-clock time, for display and file names.
    [[nodiscard]] virtual QDateTime now() const = 0;

    // Runs `work` once on `context`'s thread after `seconds`, unless `context`
    // is gone by then.
    virtual void callAfter(double seconds, QObject* context, std::function<void()> work) = 0;

    // Runs `work` every `seconds` on `context`'s thread until the returned
    // handle is destroyed.
    [[nodiscard]] virtual std::unique_ptr<QObject> repeat(double seconds, QObject* context,
                                                          std::function<void()> work) = 0;
};

// The real clocks: std::chrono::steady_clock, QDateTime and QTimer.
class SystemClock final : public Clock {
public:
    [[nodiscard]] double uptime() const override;
    [[nodiscard]] QDateTime now() const override;
    void callAfter(double seconds, QObject* context, std::function<void()> work) override;
    [[nodiscard]] std::unique_ptr<QObject> repeat(double seconds, QObject* context,
                                                  std::function<void()> work) override;
};

} // namespace vistrel
