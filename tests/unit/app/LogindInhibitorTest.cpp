// Holding off sleep, against logind played on a private bus: the Inhibit
// call it receives, and its lock descriptor held while the hold lasts and
// released with it.
#include "ChildProcess.h"
#include "SessionRig.h"
#include "desktop/ActivityInhibitor.h"

#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>

namespace vistrel::test {
namespace {

// Answers Inhibit like logind: the write end of a pipe whose read end it
// keeps, which reports a hang-up once every copy of the lock is closed.
class FakeLogind final : public QDBusVirtualObject {
public:
    QString introspect(const QString& /*path*/) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        call << message.interface() + QLatin1Char('.') + message.member();
        for (const QVariant& argument : message.arguments()) {
            call << argument.toString();
        }
        int ends[2];
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        lock.reset(ends[0]);
        const UniqueFd writeEnd(ends[1]);
        connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
        return true;
    }
    [[nodiscard]] bool released() const {
        pollfd watch{lock.get(), POLLIN, 0};
        return ::poll(&watch, 1, 0) == 1 && (watch.revents & POLLHUP) != 0;
    }
    QStringList call;
    UniqueFd lock;
};

TEST(LogindInhibitor, HoldsLogindsLockUntilTheHoldEnds) {
    ChildProcess daemon({"dbus-daemon", "--session", "--nofork", "--print-address=1"});
    const std::optional<std::string> address = daemon.readLine(std::chrono::seconds(10));
    ASSERT_TRUE(address) << daemon.errorText();
    QDBusConnection logindBus =
        QDBusConnection::connectToBus(QString::fromStdString(*address), QStringLiteral("logind"));
    FakeLogind logind;
    ASSERT_TRUE(
        logindBus.registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &logind));
    ASSERT_TRUE(logindBus.registerService(QStringLiteral("org.freedesktop.login1")));
    const QDBusConnection appBus =
        QDBusConnection::connectToBus(QString::fromStdString(*address), QStringLiteral("app"));

    auto hold = LogindInhibitor(appBus).begin(QStringLiteral("Receiving video"));
    ASSERT_TRUE(waitFor([&] { return logind.lock.valid(); }));
    EXPECT_EQ(logind.call,
              QStringList({QStringLiteral("org.freedesktop.login1.Manager.Inhibit"),
                           QStringLiteral("sleep:idle"), QStringLiteral("Vistrel"),
                           QStringLiteral("Receiving video"), QStringLiteral("block")}));
    // A round trip on the same connection: the reply came before its answer.
    appBus.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
    QCoreApplication::processEvents();
    EXPECT_FALSE(logind.released());
    hold.reset();
    EXPECT_TRUE(waitFor([&] { return logind.released(); }));
    QDBusConnection::disconnectFromBus(QStringLiteral("app"));
    QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
}

} // namespace
} // namespace vistrel::test
