#include "UiEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <array>
#include <gtest/gtest.h>
#include <memory>

Q_IMPORT_QML_PLUGIN(VistrelPlugin)

namespace vistrel::test {

namespace {

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

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new UiEnvironment);

} // namespace

bool haveDisplay() {
    return UiEnvironment::ready();
}

QString artefactDir() {
    const QString dir = QStringLiteral(VISTREL_BINARY_DIR "/tests/ui/screenshots");
    QDir().mkpath(dir);
    return dir;
}

} // namespace vistrel::test

// libdbus keeps a per-process buffer that it never frees; it is not ours.
extern "C" const char* __lsan_default_suppressions() { // NOLINT
    return "leak:libdbus-1.so\n";
}
