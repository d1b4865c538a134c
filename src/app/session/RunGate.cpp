#include "session/RunGate.h"

#include "session/StreamSession.h"

#include <QCoreApplication>

namespace vistrel {

RunGate::RunGate(StreamSession& session, const QUuid& run) : session_(&session), run_(run) {
}

RunGate RunGate::forRun(StreamSession& session, const QUuid& run) {
    return {session, run};
}

RunGate RunGate::whileAlive(StreamSession& session) {
    return {session, QUuid()};
}

bool RunGate::isOpen() const {
    return session_ && (run_.isNull() || session_->run() == run_);
}

void RunGate::post(std::function<void()> work) const {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [session = session_, run = run_, work = std::move(work)] {
            if (session && (run.isNull() || session->run() == run)) {
                work();
            }
        },
        Qt::QueuedConnection);
}

} // namespace vistrel
