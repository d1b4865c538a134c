// Holding off sleep, against logind played on a private bus: the Inhibit call
// it receives, and its lock released when the hold ends.
#include "ChildProcess.h"
#include "SessionRig.h"

#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>

namespace vistrel::test {
namespace {

// Answers Inhibit as logind does: with the write end of a pipe whose read end
// it keeps, and which hangs up once every copy of the lock is closed.
struct FakeLogind final : QDBusVirtualObject {
    QString introspect(const QString& /*path*/) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        call = message.arguments();
        call.prepend(message.interface() + '.' + message.member());
        int ends[2] = {-1, -1};
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        lock.reset(ends[0]);
        const UniqueFd sent(ends[1]);
        connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
        return true;
    }
    QVariantList call;
    UniqueFd lock;
};

TEST(LogindInhibitor, HoldsLogindsLockUntilTheHoldEnds) {
    ChildProcess daemon({"dbus-daemon", "--session", "--nofork", "--print-address=1"});
    const QString address =
        QString::fromStdString(daemon.readLine(std::chrono::seconds(10)).value_or(""));
    FakeLogind logind;
    QDBusConnection logindBus = QDBusConnection::connectToBus(address, "logind");
    ASSERT_TRUE(logindBus.registerVirtualObject("/org/freedesktop/login1", &logind));
    ASSERT_TRUE(logindBus.registerService("org.freedesktop.login1"));

    auto hold = LogindInhibitor(QDBusConnection::connectToBus(address, "app")).begin("Streaming");
    ASSERT_TRUE(waitFor([&] { return logind.lock.valid(); }));
    EXPECT_EQ(logind.call, QVariantList({"org.freedesktop.login1.Manager.Inhibit", "sleep:idle",
                                         "Vistrel", "Streaming", "block"}));
    hold.reset();
    pollfd lock{logind.lock.get(), POLLIN, 0};
    EXPECT_TRUE(waitFor([&] { return ::poll(&lock, 1, 0) == 1 && (lock.revents & POLLHUP); }));
    QDBusConnection::disconnectFromBus("app");
    QDBusConnection::disconnectFromBus("logind");
}

} // namespace
} // namespace vistrel::test
