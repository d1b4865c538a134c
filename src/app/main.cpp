// Entry point: a QApplication (so that Widgets dialogs are available) with the
// QML engine showing the main window.
#include <QApplication>
#include <QQmlApplicationEngine>
#include <QUrl>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vistrel"));
    QApplication::setApplicationName(QStringLiteral("Vistrel"));

    QQmlApplicationEngine engine;
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [] { QCoreApplication::exit(EXIT_FAILURE); }, Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/Vistrel/qml/Main.qml")));
    return QApplication::exec();
}
