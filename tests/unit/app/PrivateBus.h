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
        calls.push_back(message.arguments());
        calls.back().prepend(message.interface() + '.' + message.member());
        for (QVariant& argument : calls.back()) { // the portal's options, as a map
            if (argument.canConvert<QDBusArgument>()) {
                argument = qdbus_cast<QVariantMap>(argument.value<QDBusArgument>());
            }
        }
        if (message.member() == "Close") {
            calls.back().append(message.path());
        } else if (message.interface().endsWith("portal.Inhibit")) {
            const QString token = calls.back().value(3).toMap().value("handle_token").toString();
            QString sender = message.service().mid(1).replace('.', '_');
            requests.push_back("/org/freedesktop/portal/desktop/request/" + sender + '/' + token);
            connection.send(
                message.createReply(QVariant::fromValue(QDBusObjectPath(requests.back()))));
        } else {
            int ends[2] = {-1, -1};
            EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
            locks[message.arguments().value(0).toString()].reset(ends[0]);
            const UniqueFd sent(ends[1]);
            connection.send(
                message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
        }
        return true;
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
