// Entry point: a QApplication (so that Widgets dialogs such as the save panel
// are available) running Vistrel until a quit request is approved.
#include "VistrelApp.h"
#include "session/SessionServices.h"

#include <QApplication>
#include <QtQml/qqmlextensionplugin.h>
#include <cstdlib>

extern "C" {
#include <libavutil/log.h>
}

Q_IMPORT_QML_PLUGIN(VistrelPlugin)

int main(int argc, char* argv[]) {
    // Damaged packets from a lossy link and the encoder's closing statistics
    // are expected; they are dropped and counted, not printed.
    av_log_set_level(AV_LOG_FATAL);
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
