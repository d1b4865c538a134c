// Holding off sleep, against logind and the desktop portal played on a
// private bus: the locks asked for, and a suspend while streaming that waits
// only until the stream's STOP has gone out.
#include "ChildProcess.h"
#include "SessionRig.h"
#include "desktop/SleepWatcher.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>

namespace vistrel::test {
namespace {

// Answers logind's Inhibit as logind does: with the write end of a pipe whose
// read end it keeps, and which hangs up once every copy of the lock is
// closed. Answers the portal's Inhibit with the request's path, and notes
// which requests are closed.
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

// A private bus with logind and the portal on it, and the application's end of it.
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
    void announceSleep() const {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
        EXPECT_TRUE(QDBusConnection("logind").send(signal << true));
    }

    ChildProcess daemon{{"dbus-daemon", "--session", "--nofork", "--print-address=1"}};
    FakeLogind logind;
    QDBusConnection app{QString()};
};

TEST(LogindInhibitor, AsksForAnIdleBlockAndASleepDelayNeverASleepBlock) {
    PrivateBus bus;
    LogindInhibitor inhibitor(bus.app, bus.app); // the one bus plays both
    auto idle = inhibitor.preventIdleSleep("Streaming");
    auto delay = inhibitor.delaySleep("Streaming");
    ASSERT_TRUE(waitFor([&] { return bus.logind.calls.size() == 3; }));
    const QString manager = "org.freedesktop.login1.Manager.Inhibit";
    const QVariantMap portalOptions{{"handle_token", bus.logind.requests.at(0).section('/', -1)},
                                    {"reason", "Streaming"}};
    EXPECT_EQ(bus.logind.calls,
              (std::vector<QVariantList>{
                  {manager, "idle", "Vistrel", "Streaming", "block"},
                  {"org.freedesktop.portal.Inhibit.Inhibit", "", 8U, portalOptions}, // 8: idle
                  {manager, "sleep", "Vistrel", "Streaming", "delay"}}));
    delay.reset();
    EXPECT_TRUE(waitFor([&] { return bus.logind.released("sleep"); }));
    EXPECT_FALSE(bus.logind.released("idle"));
    idle.reset();
    EXPECT_TRUE(waitFor([&] { return bus.logind.released("idle"); }));
    EXPECT_TRUE(waitFor([&] { return bus.logind.calls.size() == 4; }));
    EXPECT_EQ(bus.logind.calls.back(),
              (QVariantList{"org.freedesktop.portal.Request.Close", bus.logind.requests.at(0)}));
}

TEST(LogindInhibitor, ASuspendWhileStreamingWaitsOnlyUntilStopIsWritten) {
    PrivateBus bus;
    // A client that stays after STOP until it is terminated: the stop takes
    // its time, sleep does not wait for it.
    SessionRig rig(
        R"(while IFS= read -r line; do echo "$line" >> "$dir/stdin"; done; exec sleep 30)");
    rig.inhibitor = std::make_unique<LogindInhibitor>(bus.app, bus.app);
    StreamSession& session = rig.make();
    SleepWatcher watcher(bus.app); // as the application wires it
    QObject::connect(&watcher, &SleepWatcher::aboutToSleep, &session, [&] { session.end(); });
    QTest::qWait(100);
    EXPECT_TRUE(bus.logind.calls.empty()); // none held while idle
    rig.startStreaming();
    ASSERT_TRUE(waitFor([&] { return bus.logind.locks.size() == 2; }));
    QTest::qWait(100);
    EXPECT_FALSE(bus.logind.released("sleep"));

    bus.announceSleep();
    ASSERT_TRUE(waitFor([&] { return bus.logind.released("sleep"); }));
    EXPECT_EQ(session.phase(), StreamSession::Phase::Stopping);
    EXPECT_TRUE(waitFor([&] { return rig.log("stdin") == std::vector<std::string>{"STOP"}; }));
    EXPECT_FALSE(bus.logind.released("idle"));
    rig.clock->advance(7.5); // the stop deadline: terminated
    ASSERT_TRUE(waitFor([&] { return session.phase() == StreamSession::Phase::Idle; }));
    EXPECT_TRUE(waitFor([&] { return bus.logind.released("idle"); }));
    EXPECT_TRUE(session.error().isEmpty());
}

} // namespace
} // namespace vistrel::test
