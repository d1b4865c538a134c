// A private D-Bus on which the test plays logind, and the application's end of it.
#pragma once

#include "ChildProcess.h"
#include "support/UniqueFd.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>

namespace vistrel::test {

// Answers logind's Inhibit as logind does: with the write end of a pipe whose
// read end it keeps, and which hangs up once every copy of the lock is
// closed. Notes every call.
struct FakeLogind final : QDBusVirtualObject {
    QString introspect(const QString& /*path*/) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QVariantList& call = calls.emplace_back(message.arguments());
        call.prepend(message.interface() + '.' + message.member());
        int ends[2] = {-1, -1};
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        locks[call.value(1).toString()].reset(ends[0]);
        const UniqueFd sent(ends[1]); // the reply holds a copy
        return connection.send(
            message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
    }
    // Whether the lock taken for `what` has been let go.
    bool released(const QString& what) {
        pollfd lock{locks[what].get(), POLLIN, 0};
        return lock.fd >= 0 && ::poll(&lock, 1, 0) == 1 && (lock.revents & POLLHUP);
    }
    std::vector<QVariantList> calls;
    std::map<QString, UniqueFd> locks;
};

struct PrivateBus {
    PrivateBus() {
        const QString address =
            QString::fromStdString(daemon.readLine(std::chrono::seconds(10)).value_or(""));
        QDBusConnection bus = QDBusConnection::connectToBus(address, "logind");
        EXPECT_TRUE(bus.registerVirtualObject("/org/freedesktop/login1", &logind));
        EXPECT_TRUE(bus.registerService("org.freedesktop.login1"));
        app = QDBusConnection::connectToBus(address, "app");
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus("app");
        QDBusConnection::disconnectFromBus("logind");
    }
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
