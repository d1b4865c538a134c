#include "desktop/Clock.h"

#include <QTimer>
#include <chrono>
#include <cmath>

namespace vistrel {

namespace {
int milliseconds(double seconds) {
    return static_cast<int>(std::lround(seconds * 1000.0));
}
} // namespace

double SystemClock::uptime() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTime();
}

void SystemClock::callAfter(double seconds, QObject* context, std::function<void()> work) {
    QTimer::singleShot(milliseconds(seconds), Qt::PreciseTimer, context, std::move(work));
}

std::unique_ptr<QObject> SystemClock::repeat(double seconds, QObject* context,
                                             std::function<void()> work) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(milliseconds(seconds));
    QObject::connect(timer.get(), &QTimer::timeout, context, std::move(work));
    timer->start();
    return timer;
}

} // namespace vistrel
