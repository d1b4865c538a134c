#include "UiEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <array>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>

Q_IMPORT_QML_PLUGIN(VistrelPlugin)

namespace vistrel::test {

namespace {

// Mesa's driver keeps a few allocations for the life of the process and
// is unloaded at exit, after which LeakSanitizer can no longer tell whose
// they were. Kept loaded, they are attributed to it and suppressed below.
void pinGraphicsDrivers() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) {
        return;
    }
    QSet<QByteArray> pinned;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const qsizetype slash = line.indexOf('/');
        if (slash < 0 || !line.contains("/dri/")) {
            continue;
        }
        const QByteArray path = line.mid(slash);
        if (!pinned.contains(path)) {
            pinned.insert(path);
            // NOLOAD: only takes a reference on what is already loaded.
            dlopen(path.constData(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        }
    }
}

class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // Settings, the known-hosts folder and anything else the program
        // writes under the user's folders go to a private place.
        home_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QDir(home_->path()).filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", QDir(home_->path()).filePath("data").toUtf8());
        qputenv("XDG_RUNTIME_DIR", QDir(home_->path()).filePath("runtime").toUtf8());
        QDir(home_->path()).mkpath("runtime");
        QFile::setPermissions(QDir(home_->path()).filePath("runtime"), QFileDevice::ReadOwner |
                                                                           QFileDevice::WriteOwner |
                                                                           QFileDevice::ExeOwner);
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            return;
        }
        // The video surface needs Qt Quick's hardware path; Mesa provides it
        // under Xvfb. The software renderer would draw the video black.
        qputenv("QT_QPA_PLATFORM", "xcb");
        qunsetenv("QT_QUICK_BACKEND");
        qputenv("QT_QUICK_CONTROLS_STYLE", "Fusion");
        app_ = std::make_unique<QApplication>(argc_, argv_.data());
        QApplication::setOrganizationName(QStringLiteral("Vistrel"));
        QApplication::setApplicationName(QStringLiteral("Vistrel"));
    }

    void TearDown() override {
        pinGraphicsDrivers();
        app_.reset();
        home_.reset();
    }

    static bool ready() { return QApplication::instance() != nullptr; }

private:
    int argc_ = 1;
    char name_[16] = "vistrel-ui-test";
    std::array<char*, 2> argv_{name_, nullptr};
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QApplication> app_;
};

// GoogleTest owns and deletes registered environments.
// NOLINTBEGIN(cert-err58-cpp,cppcoreguidelines-owning-memory)
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new UiEnvironment);
// NOLINTEND(cert-err58-cpp,cppcoreguidelines-owning-memory)

} // namespace

bool haveDisplay() {
    return UiEnvironment::ready();
}

QString artefactDir() {
    QString dir = QStringLiteral(VISTREL_BINARY_DIR "/tests/ui/screenshots");
    QDir().mkpath(dir);
    return dir;
}

} // namespace vistrel::test

// libdbus keeps a per-process buffer that it never frees, and Mesa's driver
// keeps a few of its own; neither is ours.
extern "C" const char* __lsan_default_suppressions() { // NOLINT
    return "leak:libdbus-1.so\n"
           "leak:_dri.so\n";
}
