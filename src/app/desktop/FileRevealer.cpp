#include "desktop/FileRevealer.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>

namespace vistrel {

DesktopFileRevealer::DesktopFileRevealer()
    : openUrl_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
}

void DesktopFileRevealer::reveal(const QString& path, std::function<void()> failed) {
    const auto openFolder = [open = openUrl_, path, failed = std::move(failed)] {
        if (!open(QUrl::fromLocalFile(QFileInfo(path).absolutePath())) && failed) {
            failed();
        }
    };
    QDBusConnection bus = bus_.value_or(QDBusConnection::sessionBus());
    if (!bus.isConnected()) {
        openFolder();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // Asynchronous: a file manager that is slow to start must not freeze the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openFolder](QDBusPendingCallWatcher* finished) {
                         if (finished->isError()) {
                             openFolder();
                         }
                         finished->deleteLater();
                     });
}

} // namespace vistrel
