// Shows a saved file to the user in the desktop's file manager.
#pragma once

#include <QString>

namespace vistrel {

class FileRevealer {
public:
    virtual ~FileRevealer() = default;
    virtual void reveal(const QString& path) = 0;
};

// org.freedesktop.FileManager1.ShowItems on the session bus; when no file
// manager answers, the containing folder is opened instead.
class DesktopFileRevealer final : public FileRevealer {
public:
    void reveal(const QString& path) override;
};

} // namespace vistrel
