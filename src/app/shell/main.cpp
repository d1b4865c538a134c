// Entry point: the command line first (help, version and refusals need no
// display), then a QApplication (so that Widgets dialogs such as the save
// panel are available) running Vistrel until a quit request is approved.
#include "session/SessionServices.h"
#include "shell/CommandLine.h"
#include "shell/VistrelApp.h"

#include <QApplication>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <cstdio>
#include <cstdlib>

extern "C" {
#include <libavutil/log.h>
}

Q_IMPORT_QML_PLUGIN(VistrelPlugin)

namespace {

// Answers --help, --version and a refused command line; no window.
int answer(int argc, char* argv[], const vistrel::CommandLine::Request& request) {
    using vistrel::CommandLine::Action;
    const QCoreApplication app(argc, argv);
    if (request.action == Action::Version) {
        std::fputs(vistrel::CommandLine::version().toLocal8Bit().constData(), stdout);
        return EXIT_SUCCESS;
    }
    if (request.action == Action::Help) {
        std::fputs(vistrel::CommandLine::usage().toLocal8Bit().constData(), stdout);
        return EXIT_SUCCESS;
    }
    std::fprintf(stderr, "%s\n\n%s", request.problem.toLocal8Bit().constData(),
                 vistrel::CommandLine::usage().toLocal8Bit().constData());
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setOrganizationName(QStringLiteral("Vistrel"));
    QCoreApplication::setApplicationName(QStringLiteral("Vistrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VISTREL_VERSION));

    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const vistrel::CommandLine::Request request = vistrel::CommandLine::parse(arguments);
    if (request.action != vistrel::CommandLine::Action::Run) {
        return answer(argc, argv, request);
    }

    // Damaged packets from a lossy link and the encoder's closing statistics
    // are expected; they are dropped and counted, not printed.
    av_log_set_level(AV_LOG_FATAL);
    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral(VISTREL_APP_ID));

    vistrel::VistrelApp vistrel(vistrel::SessionServices::system(),
                                vistrel::VistrelApp::Platform::system());
    QObject::connect(&vistrel, &vistrel::VistrelApp::terminationApproved, &app,
                     &QCoreApplication::quit, Qt::QueuedConnection);
    if (!vistrel.load()) {
        return EXIT_FAILURE;
    }
    if (!request.address.isEmpty()) {
        // Once the window is up, as if the address had been typed and Stream pressed.
        QTimer::singleShot(0, &vistrel,
                           [&vistrel, address = request.address] { vistrel.streamFrom(address); });
    }
    return QApplication::exec();
}
