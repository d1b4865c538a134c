// What the windows ask of the application around them: the setup guide,
// full screen and quitting, and whether the desktop asks for less motion. The
// views call the requests; the shell, which owns the windows, answers them.
#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace vistrel {

class ShellCommands : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Provided by the application")
    Q_PROPERTY(bool reduceMotion READ reduceMotion CONSTANT)

public:
    explicit ShellCommands(bool reduceMotion, QObject* parent = nullptr)
        : QObject(parent), reduceMotion_(reduceMotion) {}

    [[nodiscard]] bool reduceMotion() const { return reduceMotion_; }

    Q_INVOKABLE void showHelp() { emit helpRequested(); }
    Q_INVOKABLE void toggleFullScreen() { emit fullScreenRequested(); }
    Q_INVOKABLE void quit() { emit quitRequested(); }

signals:
    void helpRequested();
    void fullScreenRequested();
    void quitRequested();

private:
    bool reduceMotion_;
};

} // namespace vistrel
