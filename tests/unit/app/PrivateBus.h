// A private D-Bus on which the test plays logind and the desktop portal,
// and the application's end of it.
#pragma once

#include "ChildProcess.h"
#include "support/UniqueFd.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>

namespace vistrel::test {

// Answers logind's Inhibit as logind does: with the write end of a pipe whose
// read end it keeps, and which hangs up once every copy of the lock is
// closed. Answers the portal's Inhibit with the request's path. Notes every call.
struct FakeLogind final : QDBusVirtualObject {
    QString introspect(const QString& /*path*/) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QVariantList& call = calls.emplace_back(message.arguments());
        call.prepend(message.interface() + '.' + message.member());
        if (message.member() == "Close") {
            call.append(message.path());
            return true;
        }
        QVariant reply;
        if (message.interface().endsWith("portal.Inhibit")) {
            call[3] = qdbus_cast<QVariantMap>(call[3].value<QDBusArgument>()); // the options
            requests.push_back("/org/freedesktop/portal/desktop/request/" +
                               message.service().mid(1).replace('.', '_') + '/' +
                               call[3].toMap().value("handle_token").toString());
            reply = QVariant::fromValue(QDBusObjectPath(requests.back()));
        } else {
            int ends[2] = {-1, -1};
            EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
            locks[call.value(1).toString()].reset(ends[0]);
            const UniqueFd sent(ends[1]);
            reply = QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]));
        }
        return connection.send(message.createReply(reply));
    }
    // Whether the lock taken for `what` has been let go.
    bool released(const QString& what) {
        pollfd lock{locks[what].get(), POLLIN, 0};
        return lock.fd >= 0 && ::poll(&lock, 1, 0) == 1 && (lock.revents & POLLHUP);
    }
    std::vector<QVariantList> calls;
    std::map<QString, UniqueFd> locks;
    std::vector<QString> requests;
};

struct PrivateBus {
    PrivateBus() {
        const QString address =
            QString::fromStdString(daemon.readLine(std::chrono::seconds(10)).value_or(""));
        QDBusConnection bus = QDBusConnection::connectToBus(address, "logind");
        EXPECT_TRUE(bus.registerVirtualObject("/org/freedesktop/login1", &logind));
        EXPECT_TRUE(bus.registerVirtualObject("/org/freedesktop/portal/desktop", &logind,
                                              QDBusConnection::SubPath));
        EXPECT_TRUE(bus.registerService("org.freedesktop.login1"));
        EXPECT_TRUE(bus.registerService("org.freedesktop.portal.Desktop"));
        app = QDBusConnection::connectToBus(address, "app");
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus("app");
        QDBusConnection::disconnectFromBus("logind");
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    void announceSleep(bool sleeping) const {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
        EXPECT_TRUE(QDBusConnection("logind").send(signal << sleeping));
    }

    ChildProcess daemon{{"dbus-daemon", "--session", "--nofork", "--print-address=1"}};
    FakeLogind logind;
    QDBusConnection app{QString()};
};

} // namespace vistrel::test
