// The real save dialog: configured from the request, answering once with the
// chosen path on Save and with nothing on cancel, without blocking.
#include "desktop/CaptureLocationChooser.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using vistrel::CaptureLocationRequest;
using vistrel::FileDialogChooser;

namespace {

QFileDialog* openDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

CaptureLocationRequest request(const QString& folder) {
    CaptureLocationRequest r;
    r.title = QStringLiteral("Save Recording");
    r.nameFilter = QStringLiteral("MPEG-4 movie (*.mp4)");
    r.extension = QStringLiteral("mp4");
    r.defaultName = QStringLiteral("Vistrel 2026-12-05 at 16.58.14.mp4");
    r.folder = folder;
    return r;
}

} // namespace

TEST(FileDialogChooser, AMissingFolderFallsBackToTheHomeFolder) {
    QTemporaryDir parent;
    FileDialogChooser chooser;
    std::vector<std::optional<QString>> answers;
    chooser.choose(request(parent.filePath(QStringLiteral("Videos"))),
                   [&](std::optional<QString> path) { answers.push_back(std::move(path)); });
    QFileDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir::home().canonicalPath());

    static_cast<QDialog*>(dialog)->accept();
    ASSERT_EQ(answers.size(), 1U);
    ASSERT_TRUE(answers[0].has_value());
    EXPECT_EQ(*answers[0],
              QDir::home().filePath(QStringLiteral("Vistrel 2026-12-05 at 16.58.14.mp4")));
}

TEST(FileDialogChooser, SaveAnswersWithTheChosenPath) {
    QTemporaryDir folder;
    FileDialogChooser chooser;
    std::vector<std::optional<QString>> answers;
    chooser.choose(request(folder.path()),
                   [&](std::optional<QString> path) { answers.push_back(std::move(path)); });
    EXPECT_TRUE(answers.empty()); // returned at once, dialog still open
    QFileDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Save Recording"));
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("mp4"));
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), QStringLiteral("Save"));
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(folder.path()).canonicalPath());
    EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("MPEG-4 movie (*.mp4)")});

    static_cast<QDialog*>(dialog)->accept(); // the Save button
    ASSERT_EQ(answers.size(), 1U);
    ASSERT_TRUE(answers[0].has_value());
    EXPECT_EQ(QFileInfo(*answers[0]).fileName(),
              QStringLiteral("Vistrel 2026-12-05 at 16.58.14.mp4"));
    EXPECT_EQ(QFileInfo(*answers[0]).absoluteDir().canonicalPath(),
              QDir(folder.path()).canonicalPath());
}

TEST(FileDialogChooser, ANameTypedWithAnotherExtensionGetsTheCapturesOwn) {
    QTemporaryDir folder;
    FileDialogChooser chooser;
    std::optional<QString> answer;
    chooser.choose(request(folder.path()), [&](std::optional<QString> path) { answer = path; });
    QFileDialog* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(QStringLiteral("clip.mov"));
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(QFileInfo(*answer).fileName(), QStringLiteral("clip.mov.mp4"));
}

TEST(FileDialogChooser, CancelAnswersWithNothingOnce) {
    QTemporaryDir folder;
    FileDialogChooser chooser;
    std::vector<std::optional<QString>> answers;
    chooser.choose(request(folder.path()),
                   [&](std::optional<QString> path) { answers.push_back(std::move(path)); });
    ASSERT_NE(openDialog(), nullptr);
    chooser.cancel();
    chooser.cancel();
    ASSERT_EQ(answers.size(), 1U);
    EXPECT_FALSE(answers[0].has_value());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(openDialog(), nullptr);
}
