// Where the askpass helper is found: beside the executable, then in the
// installed libexec folder, and only as an executable file.
#include "session/AskpassLocator.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void place(const QString& path, bool executable) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    QFile::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (executable) {
        permissions |= QFileDevice::ExeOwner;
    }
    file.setPermissions(permissions);
}

} // namespace

TEST(AskpassLocator, FindsTheHelperBesideTheProgramThenInLibexec) {
    struct Case {
        const char* name;
        bool beside;
        bool besideExecutable;
        bool installed;
        const char* expected; // relative to the temporary root; empty: not found
    };
    const Case cases[] = {
        {"beside", true, true, true, "prefix/bin/vistrel-askpass"},
        {"installed", false, false, true, "prefix/libexec/vistrel/vistrel-askpass"},
        {"not executable beside", true, false, true, "prefix/libexec/vistrel/vistrel-askpass"},
        {"not executable anywhere", true, false, false, ""},
        {"nowhere", false, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        const QDir dir(root.path());
        dir.mkpath(QStringLiteral("prefix/bin"));
        if (c.beside) {
            place(dir.filePath(QStringLiteral("prefix/bin/vistrel-askpass")), c.besideExecutable);
        }
        if (c.installed) {
            place(dir.filePath(QStringLiteral("prefix/libexec/vistrel/vistrel-askpass")), true);
        }
        const QString found =
            vistrel::AskpassLocator::find(dir.filePath(QStringLiteral("prefix/bin")));
        const QString expected =
            *c.expected ? dir.filePath(QString::fromLatin1(c.expected)) : QString();
        EXPECT_EQ(found, expected);
    }
    EXPECT_TRUE(vistrel::AskpassLocator::find(QString()).isEmpty());
}

TEST(AskpassLocator, AFolderOfThatNameIsNotTheHelper) {
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("vistrel-askpass"));
    EXPECT_TRUE(vistrel::AskpassLocator::find(root.path()).isEmpty());
}
