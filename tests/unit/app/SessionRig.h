// A StreamSession on test services: a clock moved by hand, a stand-in "ssh" script that logs
// how it was started, settings and save dialogs the test answers, and counted sleep holds.
#pragma once

#include "HeadsetStream.h"
#include "MediaFiles.h"
#include "TestPictures.h"
#include "session/SshChannel.h"
#include "session/StreamSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <map>
#include <ostream>
#include <stdexcept>

// QStrings in test messages as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace vistrel::test {

using Phase = StreamSession::Phase;

// Time moves only in advance(), running what falls due in order.
class TestClock final : public Clock {
public:
    [[nodiscard]] double uptime() const override { return uptime_; }
    [[nodiscard]] QDateTime now() const override {
        return QDateTime(QDate(2026, 12, 5), QTime(16, 58, 14)).addMSecs(qint64(uptime_ * 1000));
    }
    void callAfter(double seconds, QObject* context, std::function<void()> work) override {
        entries_.push_back({uptime_ + seconds, 0, context, std::move(work)});
    }
    [[nodiscard]] std::unique_ptr<QObject> repeat(double seconds, QObject* /*context*/,
                                                  std::function<void()> work) override {
        auto handle = std::make_unique<QObject>();
        entries_.push_back({uptime_ + seconds, seconds, handle.get(), std::move(work)});
        return handle;
    }
    void advance(double seconds) {
        const double target = uptime_ + seconds;
        for (;;) {
            std::erase_if(entries_, [](const Entry& e) { return !e.handle || !e.work; });
            const auto next = std::min_element(entries_.begin(), entries_.end(),
                                               [](auto& a, auto& b) { return a.due < b.due; });
            if (next == entries_.end() || next->due > target + 1e-9) {
                break;
            }
            uptime_ = next->due;
            next->due += next->interval;
            const std::function<void()> work =
                next->interval > 0 ? next->work : std::exchange(next->work, nullptr);
            work();
        }
        uptime_ = target;
    }

private:
    struct Entry {
        double due;
        double interval;          // 0: once
        QPointer<QObject> handle; // a repeat's, or the context of work done once
        std::function<void()> work;
    };
    double uptime_ = 0;
    std::vector<Entry> entries_;
};

struct TestSettings final : SettingsStore {
    [[nodiscard]] std::optional<QString> string(const QString& key) const override {
        return values.contains(key) ? std::optional(values.at(key)) : std::nullopt;
    }
    void setString(const QString& key, const QString& value) override { values[key] = value; }
    std::map<QString, QString> values;
};

// Save dialogs that stay open until the test answers them.
struct TestChooser final : CaptureLocationChooser {
    void choose(const CaptureLocationRequest& request, Completion completion) override {
        requests.push_back(request);
        open = std::move(completion);
    }
    void cancel() override { answer(std::nullopt); }
    // Throws std::bad_function_call when no dialog is open.
    void answer(std::optional<QString> path) { std::exchange(open, nullptr)(std::move(path)); }
    std::vector<CaptureLocationRequest> requests;
    Completion open;
};

// Counts the sleep holds alive, of both kinds.
struct TestInhibitor final : ActivityInhibitor {
    struct Hold final : ActivityHold {
        explicit Hold(std::shared_ptr<int> t) : token(std::move(t)) {}
        std::shared_ptr<int> token;
    };
    [[nodiscard]] std::unique_ptr<ActivityHold> preventIdleSleep(const QString& /*r*/) override {
        return std::make_unique<Hold>(token);
    }
    [[nodiscard]] std::unique_ptr<ActivityHold> delaySleep(const QString& r) override {
        return preventIdleSleep(r);
    }
    [[nodiscard]] long holds() const { return token.use_count() - 1; }
    std::shared_ptr<int> token = std::make_shared<int>();
};

inline bool waitFor(const std::function<bool()>& condition) {
    for (const QDeadlineTimer deadline(std::chrono::seconds(30)); !condition();
         QThread::msleep(1)) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

class SessionRig {
    QTemporaryDir dir_; // first: the members below are made in it

public:
    // `sshBody` runs after the stand-in wrote its askpass environment, DISPLAY and arguments to
    // "started" (NUL-ended); "$dir" is the rig's folder; `listen` logs input lines to "stdin"
    // until STOP or the end of input, then prints VL_STOPPED.
    explicit SessionRig(const std::string& sshBody = "listen", bool withAskpass = true) {
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
        script(sshProgram,
               "#!/bin/bash\ndir='" + file(".") +
                   "'\nprintf '%s\\0' \"$SSH_ASKPASS\" \"$SSH_ASKPASS_REQUIRE\" \"$DISPLAY\" "
                   "\"$@\" > \"$dir/run\"; mv \"$dir/run\" \"$dir/started\"\n"
                   "listen() {\n  while IFS= read -r line; do\n"
                   "    printf '%s\\n' \"$line\" >> \"$dir/stdin\"\n"
                   "    [ \"$line\" = STOP ] && break\n  done\n"
                   "  echo VL_STOPPED\n}\n" +
                   sshBody + "\n");
        QDir(dir_.path()).mkpath("bin");
        if (withAskpass) {
            script(path("libexec/vistrel/vistrel-askpass"), "#!/bin/sh\nexit 1\n");
        }
    }
    ~SessionRig() {
        if (const qint64 client = session_ ? session_->channel().processId() : 0; client > 0) {
            ::kill(static_cast<pid_t>(client), SIGKILL);
            waitFor([&] { return session_->phase() == Phase::Idle; });
        }
        session_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QString sshProgram = path("ssh");
    const std::uint16_t port = freeUdpPort();
    TestClock* clock = nullptr;
    TestSettings* settings = nullptr;
    TestChooser* chooser = nullptr;
    TestInhibitor* activity = nullptr;

    // Makes the session with this saved address; session() makes one with 127.0.0.1.
    StreamSession& make(const QString& address = "127.0.0.1") {
        SessionServices services;
        clock = own<TestClock>(services.clock);
        services.revealer = std::make_unique<DesktopFileRevealer>();
        services.clipboard = std::make_unique<SystemClipboard>();
        settings = own<TestSettings>(services.settings);
        settings->values["frameAddress"] = address;
        chooser = own<TestChooser>(services.chooser);
        activity = own<TestInhibitor>(services.activity);
        services.sshProgram = sshProgram;
        services.applicationDir = path("bin");
        services.port = port;
        session_ = std::make_unique<StreamSession>(std::move(services));
        return *session_;
    }
    StreamSession& session() { return session_ ? *session_ : make(); }

    // These throw when the session does not get there.
    void startConnecting() {
        session().start();
        require(session().phase() == Phase::Connecting,
                "not connecting: " + session().error().toStdString());
    }
    // Hands a picture to the run as its decoder does and waits until it is shown.
    void feed(const PixelBuffer& picture) {
        const auto shown = session().picturesShown();
        session().receiver()->frameCallback()(picture);
        require(waitFor([&] { return session().picturesShown() > shown; }),
                "the picture was not shown");
    }

    [[nodiscard]] QString path(const QString& name) const { return dir_.filePath(name); }
    [[nodiscard]] std::string file(const QString& name) const {
        return QFile::encodeName(path(name)).toStdString();
    }

private:
    template <typename Double, typename Service>
    static Double* own(std::unique_ptr<Service>& slot) {
        slot = std::make_unique<Double>();
        return static_cast<Double*>(slot.get());
    }
    static void require(bool condition, const std::string& what) {
        if (!condition) {
            throw std::runtime_error(what);
        }
    }
    static void script(const QString& name, const std::string& text) {
        QDir().mkpath(QFileInfo(name).path());
        writeFile(QFile::encodeName(name).toStdString(), text);
        QFile::setPermissions(name, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    std::unique_ptr<StreamSession> session_;
};

} // namespace vistrel::test
