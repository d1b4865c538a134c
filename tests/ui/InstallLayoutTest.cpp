// What the Debian package depends on and puts on a system.
#include "ChildProcess.h"
#include "desktop/HelpPage.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vistrel {
namespace {

using test::runProcess;

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

TEST(InstallLayout, ThePackageDependsOnWhatTheProgramLoadsAndHoldsItWhereItIsLookedFor) {
    QTemporaryDir out;
    const auto packed =
        runProcess({VISTREL_CPACK, "--config", VISTREL_BINARY_DIR "/CPackConfig.cmake", "-B",
                    out.path().toStdString()},
                   {}, {}, std::chrono::seconds(280));
    ASSERT_EQ(packed.exitStatus, 0) << packed.out << packed.err;
    const QStringList debs = QDir(out.path()).entryList({"vistrel_*.deb"}, QDir::Files);
    ASSERT_EQ(debs.size(), 1);
    const std::string deb = QDir(out.path()).filePath(debs.first()).toStdString();
    const auto fields = runProcess({"dpkg-deb", "-f", deb, "Depends"});
    // Found by dpkg-shlibdeps from the linked libraries, then named because
    // they are loaded or started at run time.
    for (const char* package : {"libqt6quick6", "libavcodec59", "libpng16-16", "openssh-client",
                                "qml6-module-qtquick-controls", "qml6-module-qtquick-shapes"}) {
        EXPECT_NE(fields.out.find(package), std::string::npos) << package << "\n" << fields.out;
    }
    EXPECT_EQ(fields.out.find("multimedia"), std::string::npos) << fields.out; // video is our own

    // Unpacked, as `cmake --install` lays it out under /usr.
    ASSERT_EQ(runProcess({"dpkg-deb", "-x", deb, out.filePath("root").toStdString()}).exitStatus,
              0);
    const QDir root(out.filePath("root/usr"));
    const std::string program = root.filePath("bin/vistrel").toStdString();
    EXPECT_EQ(::access(root.filePath("libexec/vistrel/vistrel-askpass").toUtf8().constData(), X_OK),
              0);

    // The installed program finds its help page from its own folder.
    const QString page = HelpPage::locate(root.filePath("bin"));
    EXPECT_EQ(page, QFileInfo(root.filePath("share/vistrel/Setup.html")).canonicalFilePath());
    EXPECT_TRUE(readAll(page).contains("known_hosts"));

    // The desktop entry starts the program by name and names an installed
    // icon; it and the software-centre entry pass their validators.
    const QString desktop = root.filePath("share/applications/" VISTREL_APP_ID ".desktop");
    QSettings entry(desktop, QSettings::IniFormat);
    EXPECT_EQ(entry.value("Desktop Entry/Exec").toString(), "vistrel");
    EXPECT_TRUE(readAll(root.filePath("share/icons/hicolor/scalable/apps/" +
                                      entry.value("Desktop Entry/Icon").toString() + ".svg"))
                    .contains("<svg"));
    const std::string metainfo =
        root.filePath("share/metainfo/" VISTREL_APP_ID ".metainfo.xml").toStdString();
    for (const std::vector<std::string>& validator :
         {std::vector<std::string>{"desktop-file-validate", desktop.toStdString()},
          std::vector<std::string>{"appstreamcli", "validate", "--no-net", metainfo}}) {
        const auto check = runProcess(validator);
        EXPECT_EQ(check.exitStatus, 0) << validator[0] << ": " << check.out << check.err;
    }

    // It answers without a display, past Qt's own options.
    const auto version = runProcess({program, "-platform", "offscreen", "--version"}, {},
                                    {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
    EXPECT_EQ(version.exitStatus, 0) << version.err;
    EXPECT_EQ(version.out, "Vistrel " VISTREL_VERSION "\n");
}

} // namespace
} // namespace vistrel
