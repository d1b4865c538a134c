// What `cmake --install` and the Debian package put on a system: the program,
// its helper, the help page where the program looks for it, the desktop
// entry and the icon it names.
#include "HelpPage.h"
#include "ChildProcess.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vistrel {
namespace {

using test::runProcess;

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

TEST(InstallLayout, EverythingWhereTheProgramAndTheDesktopLookForIt) {
    QTemporaryDir prefix;
    const auto result = runProcess(
        {VISTREL_CMAKE, "--install", VISTREL_BINARY_DIR, "--prefix", prefix.path().toStdString()});
    ASSERT_EQ(result.exitStatus, 0) << result.out << result.err;
    const QDir root(prefix.path());

    const QString program = root.filePath("bin/vistrel");
    EXPECT_EQ(::access(program.toUtf8().constData(), X_OK), 0);
    EXPECT_EQ(::access(root.filePath("libexec/vistrel/vistrel-askpass").toUtf8().constData(), X_OK),
              0);

    // The installed program finds its help page from its own folder.
    const QString page = HelpPage::locate(root.filePath("bin"));
    ASSERT_FALSE(page.isEmpty());
    EXPECT_EQ(page, QFileInfo(root.filePath("share/vistrel/Setup.html")).canonicalFilePath());
    EXPECT_TRUE(readAll(page).contains("known_hosts"));

    // The desktop entry starts the installed program by name and names an
    // icon that is installed under that name.
    const QString desktop = root.filePath("share/applications/vistrel.desktop");
    ASSERT_TRUE(QFile::exists(desktop));
    QSettings entry(desktop, QSettings::IniFormat);
    entry.beginGroup("Desktop Entry");
    EXPECT_EQ(entry.value("Type").toString(), "Application");
    EXPECT_EQ(entry.value("Name").toString(), "Vistrel");
    EXPECT_EQ(entry.value("Exec").toString(), "vistrel");
    EXPECT_EQ(entry.value("Terminal").toString(), "false");
    const QString icon = entry.value("Icon").toString();
    const QString svg = root.filePath("share/icons/hicolor/scalable/apps/" + icon + ".svg");
    ASSERT_TRUE(QFile::exists(svg)) << svg.toStdString();

    // The icon is well-formed SVG and draws the headset mark.
    QXmlStreamReader xml(readAll(svg));
    bool sawRoot = false;
    bool sawPath = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            sawRoot = sawRoot || xml.name() == QLatin1String("svg");
            sawPath = sawPath || xml.name() == QLatin1String("path");
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(sawRoot);
    EXPECT_TRUE(sawPath);

    const auto validate = runProcess({"sh", "-c", "command -v desktop-file-validate"});
    if (validate.exitStatus == 0) {
        const auto check = runProcess({"desktop-file-validate", desktop.toStdString()});
        EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
    }
}

TEST(InstallLayout, TheDebianPackageDependsOnWhatTheProgramLoads) {
    QTemporaryDir out;
    const std::string config = std::string(VISTREL_BINARY_DIR) + "/CPackConfig.cmake";
    const auto packed =
        runProcess({VISTREL_CPACK, "--config", config, "-B", out.path().toStdString()}, {}, {},
                   std::chrono::seconds(280));
    ASSERT_EQ(packed.exitStatus, 0) << packed.out << packed.err;
    const QStringList debs = QDir(out.path()).entryList({"vistrel_*.deb"}, QDir::Files);
    ASSERT_EQ(debs.size(), 1);
    const std::string deb = QDir(out.path()).filePath(debs.first()).toStdString();

    const auto fields = runProcess({"dpkg-deb", "-f", deb, "Package", "Depends"});
    ASSERT_EQ(fields.exitStatus, 0) << fields.err;
    // Found by dpkg-shlibdeps from the linked libraries...
    for (const char* library :
         {"libqt6quick6", "libqt6multimedia6", "libavcodec59", "libpng16-16"}) {
        EXPECT_NE(fields.out.find(library), std::string::npos) << library << "\n" << fields.out;
    }
    // ...and named because they are loaded or started at run time.
    for (const char* runtime : {"openssh-client", "qml6-module-qtquick-controls",
                                "qml6-module-qtquick-shapes", "qml6-module-qtmultimedia"}) {
        EXPECT_NE(fields.out.find(runtime), std::string::npos) << runtime << "\n" << fields.out;
    }

    const auto contents = runProcess({"dpkg-deb", "-c", deb});
    ASSERT_EQ(contents.exitStatus, 0) << contents.err;
    for (const char* path :
         {"./usr/bin/vistrel", "./usr/libexec/vistrel/vistrel-askpass",
          "./usr/share/vistrel/Setup.html", "./usr/share/applications/vistrel.desktop",
          "./usr/share/icons/hicolor/scalable/apps/vistrel.svg"}) {
        EXPECT_NE(contents.out.find(path), std::string::npos) << path;
    }
}

} // namespace
} // namespace vistrel
