// A real Vistrel window over a real StreamSession whose SSH client is the
// session rig's stand-in, read the way a person would: texts, visibility,
// enabled state and the window's own pixels.
#pragma once

#include "SessionRig.h"
#include "shell/VistrelApp.h"

#include <QQuickItem>
#include <QTest>
#include <gtest/gtest.h>

namespace vistrel::test {

// What the stand-in does once the session launches it as its SSH client.
enum class Headset {
    NeverAnswers,      // logs in forever: the session stays connecting
    StartsCapture,     // prints the start marker and sends nothing
    Streams,           // start marker, then ffmpeg's testsrc2 encoded as the headset does
    SlowToStop,        // start marker; takes 3 s to exit after STOP
    RefusesConnection, // exits like ssh when no sshd listens
};

class WindowFixture : public ::testing::Test {
protected:
    void TearDown() override;
    // Saves `address` as the last used one and opens the window.
    void launch(Headset headset, const QString& address = "127.0.0.1");

    [[nodiscard]] StreamSession& session() const { return *app_->session(); }
    [[nodiscard]] QQuickWindow& window() const { return *app_->mainWindow(); }
    [[nodiscard]] VistrelApp& app() const { return *app_; }
    [[nodiscard]] QObject* object(const char* name) const { // fails the test when missing
        QObject* found = window().findChild<QObject*>(name);
        found = found ? found : window().contentItem()->findChild<QObject*>(name);
        return found ? found : throw std::runtime_error(std::string("no object named ") + name);
    }
    [[nodiscard]] QQuickItem* item(const char* n) const {
        return qobject_cast<QQuickItem*>(object(n));
    }
    [[nodiscard]] QString text(const char* n) const {
        return object(n)->property("text").toString();
    }
    [[nodiscard]] bool enabled(const char* n) const {
        return object(n)->property("enabled").toBool();
    }
    [[nodiscard]] bool shown(const char* n) const {
        return item(n)->isVisible() && item(n)->opacity() > 0;
    }
    void click(const char* name);
    void type(const QString& keys) {
        for (const QChar c : keys) {
            QTest::keyClick(&window(), c.toLatin1());
        }
    }
    static bool waitFor(const std::function<bool()>& condition, int ms = 20000) {
        return QTest::qWaitFor(condition, ms);
    }
    bool waitForPhase(StreamSession::Phase phase, int ms = 20000) {
        return waitFor([&] { return session().phase() == phase; }, ms);
    }
    bool waitForPictures(int count) { // so that the one on screen is a steady one
        const auto until = session().picturesShown() + static_cast<std::uint64_t>(count);
        return waitFor([&] { return session().picturesShown() > until; });
    }
    // `of` (else the main window) settled, pointer away, kept for the README
    // as <build>/tests/ui/screenshots/<name>.png.
    QImage screenshot(const QString& name, QQuickWindow* of = nullptr);
    [[nodiscard]] QRect videoRect() const { // in the window's pixels: Xvfb has one a point
        const QQuickItem* i = item("videoArea");
        return i->mapRectToScene(QRectF(0, 0, i->width(), i->height())).toRect();
    }

    // A test may replace the session's clock and sleep holds before launching.
    SessionServices services = SessionServices::system();
    VistrelApp::Platform platform;
    // Whether a file manager or browser takes what the window asks to open.
    bool desktopOpens = true;

private:
    std::optional<SessionRig> rig_;
    std::unique_ptr<VistrelApp> app_;
};

} // namespace vistrel::test
