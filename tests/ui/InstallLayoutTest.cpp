// What `cmake --install` and the Debian package put on a system: the program,
// its helper, the help page where the program looks for it, the desktop
// entry and the icon it names.
#include "ChildProcess.h"
#include "desktop/HelpPage.h"

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
    // icon that is installed under that name; both, and the software-centre
    // entry, pass their validators.
    const QString desktop = root.filePath("share/applications/" VISTREL_APP_ID ".desktop");
    ASSERT_TRUE(QFile::exists(desktop));
    QSettings entry(desktop, QSettings::IniFormat);
    entry.beginGroup("Desktop Entry");
    EXPECT_EQ(entry.value("Exec").toString(), "vistrel");
    const QString icon = entry.value("Icon").toString();
    const QString svg = root.filePath("share/icons/hicolor/scalable/apps/" + icon + ".svg");
    ASSERT_TRUE(QFile::exists(svg)) << svg.toStdString();
    const std::string metainfo =
        root.filePath("share/metainfo/" VISTREL_APP_ID ".metainfo.xml").toStdString();
    for (const std::vector<std::string>& validator :
         {std::vector<std::string>{"desktop-file-validate", desktop.toStdString()},
          std::vector<std::string>{"appstreamcli", "validate", "--no-net", metainfo}}) {
        const auto check = runProcess(validator);
        EXPECT_EQ(check.exitStatus, 0) << validator[0] << ": " << check.out << check.err;
    }

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
}

TEST(InstallLayout, TheInstalledProgramAnswersItsCommandLine) {
    QTemporaryDir prefix;
    ASSERT_EQ(runProcess({VISTREL_CMAKE, "--install", VISTREL_BINARY_DIR, "--prefix",
                          prefix.path().toStdString()})
                  .exitStatus,
              0);
    const std::string program = prefix.filePath("bin/vistrel").toStdString();

    // Help, version and refusals answer without a display.
    struct Row {
        std::vector<std::string> arguments;
        int status;
        std::string out;
        std::string err;
    };
    for (const Row& row : std::vector<Row>{
             {{"--version"}, 0, "Vistrel " VISTREL_VERSION "\n", ""},
             {{"--help"}, 0, "Usage: ", ""},
             {{"--record"}, 2, "", "Unknown option 'record'."},
             {{"10.0.0.2", "10.0.0.3"}, 2, "", "Usage: "},
         }) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), row.arguments.begin(), row.arguments.end());
        const auto result = runProcess(argv, {}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
        EXPECT_EQ(result.exitStatus, row.status) << row.arguments[0] << result.err;
        EXPECT_EQ(result.out.rfind(row.out, 0), 0U) << row.arguments[0] << ": " << result.out;
        EXPECT_NE(result.err.find(row.err), std::string::npos) << row.arguments[0] << result.err;
    }

    // An address streams from it once the window is up: it is validated and
    // saved exactly as when typed.
    QTemporaryDir home;
    test::ChildProcess vistrel({program, "127.0.0.1"},
                               {{"HOME", home.path().toStdString()},
                                {"XDG_CONFIG_HOME", home.filePath("config").toStdString()},
                                {"XDG_DATA_HOME", home.filePath("data").toStdString()}});
    const QString settings = home.filePath("config/Vistrel/Vistrel.conf");
    bool saved = false;
    for (int i = 0; i < 300 && !saved; ++i) {
        saved = readAll(settings).contains("frameAddress=127.0.0.1");
        if (!saved && vistrel.waitForExit(std::chrono::milliseconds(100))) {
            break;
        }
    }
    EXPECT_TRUE(saved) << vistrel.errorText();
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
          "./usr/share/vistrel/Setup.html", "./usr/share/applications/" VISTREL_APP_ID ".desktop",
          "./usr/share/metainfo/" VISTREL_APP_ID ".metainfo.xml",
          "./usr/share/icons/hicolor/scalable/apps/" VISTREL_APP_ID ".svg"}) {
        EXPECT_NE(contents.out.find(path), std::string::npos) << path;
    }
}

} // namespace
} // namespace vistrel
