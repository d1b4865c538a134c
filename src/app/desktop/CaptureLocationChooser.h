// Asks the user where a capture goes: a save dialog that does not block the
// event loop and answers later with the chosen file, or nothing.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

class QFileDialog;

namespace vistrel {

struct CaptureLocationRequest {
    QString title;       // window title, e.g. "Save Recording"
    QString saveLabel;   // the button that accepts, e.g. "Save"
    QString nameFilter;  // e.g. "MPEG-4 movie (*.mp4)"
    QString extension;   // without the dot
    QString defaultName; // file name offered
    QString folder;      // folder offered; empty for the dialog's own default
};

class CaptureLocationChooser {
public:
    using Completion = std::function<void(std::optional<QString> path)>;
    virtual ~CaptureLocationChooser() = default;

    // Shows the dialog and returns at once. `completion` runs on the GUI
    // thread when it closes: the path on Save, nothing otherwise.
    virtual void choose(const CaptureLocationRequest& request, Completion completion) = 0;
    // Closes an open dialog as if the user cancelled it.
    virtual void cancel() = 0;
};

// QFileDialog in save mode, window-modal to the main window, opened with open().
class FileDialogChooser final : public CaptureLocationChooser {
public:
    FileDialogChooser() = default;
    ~FileDialogChooser() override;
    FileDialogChooser(const FileDialogChooser&) = delete;
    FileDialogChooser& operator=(const FileDialogChooser&) = delete;

    void choose(const CaptureLocationRequest& request, Completion completion) override;
    void cancel() override;

private:
    QPointer<QFileDialog> dialog_;
};

} // namespace vistrel
