// The application: the one session for the life of the process, the windows
// over it, and the desktop's side of things (sleep, help page, full screen,
// quitting only once a running stream has stopped and every capture is
// written).
#pragma once

#include "desktop/SleepWatcher.h"
#include "session/SessionServices.h"
#include "session/StreamSession.h"
#include "ui/SessionPresenter.h"
#include "ui/ShellCommands.h"
#include "ui/Shortcuts.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QUrl>
#include <functional>
#include <memory>

namespace vistrel {

class VistrelApp : public QObject {
    Q_OBJECT

public:
    // What the application takes from the desktop.
    struct Platform {
        // Where logind announces sleep; a private bus in tests, or none.
        QDBusConnection sleepBus{QString()};
        // Opens a file with the desktop's default handler.
        std::function<bool(const QUrl&)> openUrl;
        // Where the help page is looked for (next to it, then ../share/vistrel/).
        QString applicationDir;
        bool reduceMotion = false;

        // The system bus, QDesktopServices, the program's own folder and the
        // desktop's motion setting.
        static Platform system();
    };

    VistrelApp(SessionServices services, Platform platform, QObject* parent = nullptr);
    ~VistrelApp() override;
    VistrelApp(const VistrelApp&) = delete;
    VistrelApp& operator=(const VistrelApp&) = delete;

    // Launch: SIGPIPE ignored, the session made, the windows shown and
    // brought to the front. False when the views could not be created.
    bool load();

    [[nodiscard]] StreamSession* session() const { return session_.get(); }
    [[nodiscard]] SessionPresenter* presenter() const { return presenter_.get(); }
    [[nodiscard]] QQuickWindow* mainWindow() const { return mainWindow_; }
    [[nodiscard]] QQmlApplicationEngine& engine() { return *engine_; }

    // Puts `address` in the address field and presses Stream, as a person would.
    void streamFrom(const QString& address);
    // Opens the installed setup guide; nothing when it is missing.
    void showHelp();
    // Between full screen and the state the window had before (maximised
    // comes back maximised); nothing without a window.
    void toggleFullScreen();
    // A request to quit (menu or closing the main window). Approved at once
    // when nothing holds it up, else once the session has ended its run and
    // written its captures. It is never refused.
    void quit();

signals:
    // The application may exit now.
    void terminationApproved();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void endForSleep();

    Platform platform_;
    SessionServices services_;
    // Declared so that the windows go first and the session last.
    std::unique_ptr<StreamSession> session_;
    std::unique_ptr<SessionPresenter> presenter_;
    std::unique_ptr<Shortcuts> shortcuts_;
    std::unique_ptr<ShellCommands> commands_;
    std::unique_ptr<SleepWatcher> sleepWatcher_;
    std::unique_ptr<QQmlApplicationEngine> engine_;
    QPointer<QQuickWindow> mainWindow_;
    Qt::WindowStates statesBeforeFullScreen_;
};

} // namespace vistrel
