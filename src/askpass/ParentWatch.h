// Ends the helper's wait when the SSH client that started it goes away, so a
// dialog never outlives the question it answers.
#pragma once

#include <QTimer>
#include <functional>
#include <sys/types.h>

namespace vistrel {

class ParentWatch {
public:
    // `parent` is the parent process id read at start-up: the earlier it is
    // read, the smaller the window in which a parent could vanish unnoticed.
    ParentWatch(pid_t parent, std::function<void()> onParentGone);

    ParentWatch(const ParentWatch&) = delete;
    ParentWatch& operator=(const ParentWatch&) = delete;

    // Checks every 0.3 s on the thread's event loop, nested modal loops
    // included, until stop().
    void start();
    void stop();

private:
    void check();

    pid_t parent_;
    std::function<void()> onParentGone_;
    QTimer timer_;
};

} // namespace vistrel
