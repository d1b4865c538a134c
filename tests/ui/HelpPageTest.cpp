#include "desktop/HelpPage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vistrel {
namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<html></html>");
}

TEST(HelpPage, FoundNextToTheProgramFirstThenInShare) {
    QTemporaryDir root;
    const QDir dir(root.path());
    const QString bin = dir.filePath("bin");
    QDir().mkpath(bin);
    EXPECT_TRUE(HelpPage::locate(bin).isEmpty());

    touch(dir.filePath("share/vistrel/Setup.html"));
    EXPECT_EQ(HelpPage::locate(bin),
              QFileInfo(dir.filePath("share/vistrel/Setup.html")).canonicalFilePath());

    touch(dir.filePath("bin/Setup.html"));
    EXPECT_EQ(HelpPage::locate(bin), QFileInfo(dir.filePath("bin/Setup.html")).canonicalFilePath());
}

TEST(HelpPage, AFolderOfThatNameIsNotAPage) {
    QTemporaryDir root;
    QDir(root.path()).mkpath("bin/Setup.html");
    EXPECT_TRUE(HelpPage::locate(QDir(root.path()).filePath("bin")).isEmpty());
    EXPECT_TRUE(HelpPage::locate(QString()).isEmpty() ||
                QFileInfo(HelpPage::locate(QString())).isFile());
}

TEST(HelpPage, TheBuildTreeHasTheShippedPage) {
    // The build copies the page next to the program, so a build runs with help.
    const QString page = HelpPage::locate(QStringLiteral(VISTREL_BINARY_DIR "/src/app"));
    ASSERT_FALSE(page.isEmpty());
    QFile f(page);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    for (const char* topic : {"Developer Mode", "known_hosts", "8090", "ssh-keygen -R"}) {
        EXPECT_TRUE(html.contains(QLatin1String(topic))) << topic;
    }
}

} // namespace
} // namespace vistrel
