#include "shell/VistrelApp.h"

#include "desktop/HelpPage.h"
#include "desktop/MotionPreference.h"
#include "session/QtText.h"
#include "session/SessionMessages.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QIcon>
#include <csignal>

namespace vistrel {

VistrelApp::Platform VistrelApp::Platform::system() {
    Platform platform;
    platform.sleepBus = QDBusConnection::systemBus();
    platform.openUrl = [](const QUrl& url) {
        return QDesktopServices::openUrl(url);
    };
    platform.applicationDir = QCoreApplication::applicationDirPath();
    platform.reduceMotion = MotionPreference::reduceMotion(QDBusConnection::sessionBus());
    return platform;
}

VistrelApp::VistrelApp(SessionServices services, Platform platform, QObject* parent)
    : QObject(parent), platform_(std::move(platform)), services_(std::move(services)) {
}

VistrelApp::~VistrelApp() {
    // The windows go first: their bindings read the presenter and the session.
    // A window being destroyed is no longer a QQuickWindow; it must not reach
    // the filter, which looks at it as one.
    if (mainWindow_) {
        mainWindow_->removeEventFilter(this);
    }
    engine_.reset();
}

bool VistrelApp::load() {
    // A write to the SSH client's standard input after it exited must fail
    // with an error, not end the program.
    std::signal(SIGPIPE, SIG_IGN);

    session_ = std::make_unique<StreamSession>(std::move(services_));
    presenter_ = std::make_unique<SessionPresenter>(*session_);
    shortcuts_ = std::make_unique<Shortcuts>();
    commands_ = std::make_unique<ShellCommands>(platform_.reduceMotion);
    connect(commands_.get(), &ShellCommands::helpRequested, this, &VistrelApp::showHelp);
    connect(commands_.get(), &ShellCommands::fullScreenRequested, this,
            &VistrelApp::toggleFullScreen);
    connect(commands_.get(), &ShellCommands::quitRequested, this, &VistrelApp::quit);
    sleepWatcher_ = std::make_unique<SleepWatcher>(platform_.sleepBus);
    connect(sleepWatcher_.get(), &SleepWatcher::aboutToSleep, this, &VistrelApp::endForSleep);

    // Closing the main window is a quit request, decided here.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // Every window and dialog of the process carries it.
    QGuiApplication::setWindowIcon(QIcon::fromTheme(
        QStringLiteral(VISTREL_APP_ID), QIcon(QStringLiteral(":/vistrel/" VISTREL_APP_ID ".svg"))));

    engine_ = std::make_unique<QQmlApplicationEngine>();
    // The views' module (qrc:/Vistrel) is found there by its name, with the
    // QML types its qmldir lists, such as the Theme singleton.
    engine_->addImportPath(QStringLiteral("qrc:/"));
    // Owned here, never by the QML engine's garbage collector.
    for (QObject* owned :
         {static_cast<QObject*>(presenter_.get()), static_cast<QObject*>(shortcuts_.get()),
          static_cast<QObject*>(commands_.get())}) {
        QQmlEngine::setObjectOwnership(owned, QQmlEngine::CppOwnership);
    }
    engine_->setInitialProperties({
        {QStringLiteral("presenter"), QVariant::fromValue<QObject*>(presenter_.get())},
        {QStringLiteral("shell"), QVariant::fromValue<QObject*>(commands_.get())},
        {QStringLiteral("shortcuts"), QVariant::fromValue<QObject*>(shortcuts_.get())},
    });
    engine_->load(QUrl(QStringLiteral("qrc:/Vistrel/qml/Main.qml")));
    const QList<QObject*> roots = engine_->rootObjects();
    mainWindow_ = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.constFirst());
    if (!mainWindow_) {
        return false;
    }
    mainWindow_->installEventFilter(this);
    connect(session_.get(), &StreamSession::activationRequested, this, [this] {
        if (mainWindow_) {
            mainWindow_->raise();
            mainWindow_->requestActivate();
        }
    });
    mainWindow_->raise();
    mainWindow_->requestActivate();
    return true;
}

void VistrelApp::streamFrom(const QString& address) {
    if (session_) {
        session_->setHost(address);
        presenter_->submitAddress();
    }
}

void VistrelApp::showHelp() {
    const QString page = HelpPage::locate(platform_.applicationDir);
    if (page.isEmpty() || !platform_.openUrl) {
        return;
    }
    if (!platform_.openUrl(QUrl::fromLocalFile(page)) && session_) {
        session_->showError(qs(SessionMessages::guideNotOpened(page.toStdString())));
    }
}

void VistrelApp::toggleFullScreen() {
    if (!mainWindow_) {
        return;
    }
    if (mainWindow_->visibility() == QWindow::FullScreen) {
        mainWindow_->setWindowStates(statesBeforeFullScreen_);
    } else {
        statesBeforeFullScreen_ = mainWindow_->windowStates();
        mainWindow_->showFullScreen();
    }
}

void VistrelApp::quit() {
    if (!session_ || !session_->requiresTerminationWait()) {
        emit terminationApproved();
        return;
    }
    // A second request while waiting queues another completion; each one
    // approves, and the first to run ends the program.
    session_->end([self = QPointer<VistrelApp>(this)] {
        if (self) {
            emit self->terminationApproved();
        }
    });
}

bool VistrelApp::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mainWindow_ && event->type() == QEvent::Close) {
        // The window stays until the application exits, so that a stream
        // being stopped stays visible while it ends.
        event->ignore();
        quit();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void VistrelApp::endForSleep() {
    // end() decides what stopping means in each phase, idle included.
    if (session_) {
        session_->end();
    }
}

} // namespace vistrel
