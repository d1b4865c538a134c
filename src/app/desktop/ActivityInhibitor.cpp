#include "desktop/ActivityInhibitor.h"

#include "support/UniqueFd.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <fcntl.h>

namespace vistrel {

namespace {

// Holds logind's lock descriptor once the reply is there; letting go before
// the reply arrives closes the descriptor on arrival.
class LogindHold final : public ActivityHold {
public:
    explicit LogindHold(const QDBusPendingCall& call)
        : watcher_(std::make_unique<QDBusPendingCallWatcher>(call)) {
        QObject::connect(watcher_.get(), &QDBusPendingCallWatcher::finished, watcher_.get(),
                         [this](QDBusPendingCallWatcher* finished) {
                             const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
                             if (reply.isValid() && reply.value().isValid()) {
                                 // The reply's own copy closes with it; keep a duplicate.
                                 lock_.reset(
                                     ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0));
                             }
                         });
    }

private:
    std::unique_ptr<QDBusPendingCallWatcher> watcher_;
    UniqueFd lock_;
};

class NoHold final : public ActivityHold {};

} // namespace

std::unique_ptr<ActivityHold> LogindInhibitor::begin(const QString& reason) {
    if (!bus_.isConnected()) {
        return std::make_unique<NoHold>();
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << QStringLiteral("Vistrel") << reason
         << QStringLiteral("block");
    return std::make_unique<LogindHold>(bus_.asyncCall(call));
}

} // namespace vistrel
