// Shows a saved file to the user in the desktop's file manager.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

namespace vistrel {

class FileRevealer {
public:
    virtual ~FileRevealer() = default;
    // `failed` runs on the GUI thread, maybe later, when nothing took the request.
    virtual void reveal(const QString& path, std::function<void()> failed) = 0;
};

// org.freedesktop.FileManager1.ShowItems on the session bus; when no file
// manager answers, the containing folder is opened instead (`openUrl`:
// QDesktopServices in the application).
class DesktopFileRevealer final : public FileRevealer {
public:
    using Opener = std::function<bool(const QUrl&)>;
    // The session bus, reached only when a file is to be shown.
    DesktopFileRevealer();
    DesktopFileRevealer(QDBusConnection bus, Opener openUrl)
        : bus_(std::move(bus)), openUrl_(std::move(openUrl)) {}
    void reveal(const QString& path, std::function<void()> failed) override;

private:
    std::optional<QDBusConnection> bus_;
    Opener openUrl_;
};

} // namespace vistrel
