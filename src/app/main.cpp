// Entry point: a QApplication (so that Widgets dialogs such as the save panel
// are available) running Vistrel until a quit request is approved.
#include "SessionServices.h"
#include "VistrelApp.h"

#include <QApplication>
#include <QtQml/qqmlextensionplugin.h>
#include <cstdlib>

Q_IMPORT_QML_PLUGIN(VistrelPlugin)

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vistrel"));
    QApplication::setApplicationName(QStringLiteral("Vistrel"));
    QApplication::setDesktopFileName(QStringLiteral("vistrel"));

    vistrel::VistrelApp vistrel(vistrel::SessionServices::system(),
                                vistrel::VistrelApp::Platform::system());
    QObject::connect(&vistrel, &vistrel::VistrelApp::terminationApproved, &app,
                     &QCoreApplication::quit, Qt::QueuedConnection);
    if (!vistrel.load()) {
        return EXIT_FAILURE;
    }
    return QApplication::exec();
}
