#include "ParentWatch.h"

#include <csignal>
#include <unistd.h>
#include <utility>

namespace vistrel {

namespace {
constexpr int intervalMs = 300;
} // namespace

ParentWatch::ParentWatch(pid_t parent, std::function<void()> onParentGone)
    : parent_(parent), onParentGone_(std::move(onParentGone)) {
    timer_.setInterval(intervalMs);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { check(); });
}

void ParentWatch::start() {
    timer_.start();
}

void ParentWatch::stop() {
    timer_.stop();
}

// A changed parent id means the SSH client ended and the helper was handed to
// a reaper; a failed signal 0 means the recorded process no longer exists.
void ParentWatch::check() {
    if (::getppid() != parent_ || ::kill(parent_, 0) != 0) {
        timer_.stop();
        if (onParentGone_) {
            onParentGone_();
        }
    }
}

} // namespace vistrel
