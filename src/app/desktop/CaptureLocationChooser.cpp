#include "desktop/CaptureLocationChooser.h"

#include "capture/CaptureFileName.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QWindow>
#include <utility>

namespace vistrel {

FileDialogChooser::~FileDialogChooser() {
    if (dialog_) {
        dialog_->disconnect();
        dialog_->deleteLater();
    }
}

void FileDialogChooser::choose(const CaptureLocationRequest& request, Completion completion) {
    cancel();
    auto* dialog = new QFileDialog(nullptr, request.title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(request.nameFilter);
    dialog->setDefaultSuffix(request.extension);
    dialog->setLabelText(QFileDialog::Accept, request.saveLabel);
    // A fresh account may have no Videos or Pictures folder yet; a dialog
    // pointed at a missing one mangles the suggested path, so start at home.
    const bool folderExists = !request.folder.isEmpty() && QFileInfo(request.folder).isDir();
    dialog->setDirectory(folderExists ? request.folder : QDir::homePath());
    dialog->selectFile(request.defaultName);

    // Modal to the main window (a QML window, so no QWidget parent), also
    // when asked for from the settings window, which is the main window's
    // own transient: the capture belongs to the picture there.
    dialog->setWindowModality(Qt::WindowModal);
    dialog->winId();
    QWindow* parent = QGuiApplication::focusWindow();
    while (parent != nullptr && parent->transientParent() != nullptr) {
        parent = parent->transientParent();
    }
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (parent == nullptr && window->isVisible() && window->transientParent() == nullptr &&
            window != dialog->windowHandle()) {
            parent = window;
        }
    }
    dialog->windowHandle()->setTransientParent(parent);
    // A dialog can finish more than once (reject() on a closed one); answer once.
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [this, dialog, extension = request.extension.toStdString(),
                      completion = std::move(completion)](int result) mutable {
                         if (!completion) {
                             return;
                         }
                         const Completion answer = std::exchange(completion, nullptr);
                         if (dialog_ == dialog) {
                             dialog_ = nullptr;
                         }
                         const QStringList files = dialog->selectedFiles();
                         if (result == QDialog::Accepted && !files.isEmpty()) {
                             // The dialog adds the extension only to a name without one.
                             answer(QString::fromStdString(CaptureFileName::withExtension(
                                 files.first().toStdString(), extension)));
                         } else {
                             answer(std::nullopt);
                         }
                     });
    dialog_ = dialog;
    dialog->open();
}

void FileDialogChooser::cancel() {
    if (dialog_ && dialog_->isVisible()) {
        dialog_->reject();
    }
}

} // namespace vistrel
