#include "desktop/ActivityInhibitor.h"

#include "support/UniqueFd.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QUuid>
#include <fcntl.h>
#include <vector>

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

// The portal's inhibition lasts until its request object is closed. The
// object's path follows from our bus name and a token we choose, so a hold
// let go before the reply came still closes the right one.
class PortalHold final : public ActivityHold {
public:
    PortalHold(QDBusConnection bus, const QString& reason) : bus_(std::move(bus)) {
        const QString token =
            QStringLiteral("vistrel_") + QUuid::createUuid().toString(QUuid::Id128);
        handle_ = QStringLiteral("/org/freedesktop/portal/desktop/request/") +
                  bus_.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')) +
                  QLatin1Char('/') + token;
        QDBusMessage call = QDBusMessage::createMethodCall(
            service(), QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
        constexpr uint idle = 8;
        call << QString() << idle
             << QVariantMap{{QStringLiteral("handle_token"), token},
                            {QStringLiteral("reason"), reason}};
        bus_.send(call);
    }
    ~PortalHold() override {
        QDBusMessage close = QDBusMessage::createMethodCall(
            service(), handle_, QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Close"));
        // Without a portal there is nothing to close, and nothing to start for it.
        close.setAutoStartService(false);
        bus_.send(close);
    }
    PortalHold(const PortalHold&) = delete;
    PortalHold& operator=(const PortalHold&) = delete;

private:
    static QString service() { return QStringLiteral("org.freedesktop.portal.Desktop"); }

    QDBusConnection bus_;
    QString handle_;
};

class Holds final : public ActivityHold {
public:
    std::vector<std::unique_ptr<ActivityHold>> held;
};

std::unique_ptr<ActivityHold> logindLock(QDBusConnection& bus, const QString& what,
                                         const QString& reason, const QString& mode) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << what << QStringLiteral("Vistrel") << reason << mode;
    return std::make_unique<LogindHold>(bus.asyncCall(call));
}

} // namespace

std::unique_ptr<ActivityHold> LogindInhibitor::preventIdleSleep(const QString& reason) {
    auto holds = std::make_unique<Holds>();
    if (systemBus_.isConnected()) {
        holds->held.push_back(
            logindLock(systemBus_, QStringLiteral("idle"), reason, QStringLiteral("block")));
    }
    if (sessionBus_.isConnected()) {
        holds->held.push_back(std::make_unique<PortalHold>(sessionBus_, reason));
    }
    return holds;
}

std::unique_ptr<ActivityHold> LogindInhibitor::delaySleep(const QString& reason) {
    if (!systemBus_.isConnected()) {
        return std::make_unique<Holds>();
    }
    return logindLock(systemBus_, QStringLiteral("sleep"), reason, QStringLiteral("delay"));
}

} // namespace vistrel
