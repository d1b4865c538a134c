// The one rule for callbacks that fire on other threads (the receiver's, the
// recorder's, a screenshot's): they hand over to the GUI thread and act there
// only while the session exists and, for the callbacks of a run, only while
// that run is still the current one. So nothing a run left behind reaches
// the next run, or a session that is gone.
#pragma once

#include <QPointer>
#include <QUuid>
#include <functional>

namespace vistrel {

class StreamSession;

class RunGate {
public:
    // For the callbacks of the run whose token is `run`.
    static RunGate forRun(StreamSession& session, const QUuid& run);
    // For work that outlives runs (a capture being saved): only the
    // session's existence counts.
    static RunGate whileAlive(StreamSession& session);

    // Any thread. Queues `work` on the GUI thread, where it runs only if the
    // gate is still open then.
    void post(std::function<void()> work) const;
    // GUI thread: whether work posted now would run.
    [[nodiscard]] bool isOpen() const;

private:
    RunGate(StreamSession& session, const QUuid& run);

    QPointer<StreamSession> session_;
    QUuid run_; // null: any run
};

} // namespace vistrel
