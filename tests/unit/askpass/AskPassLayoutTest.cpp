// The session finds the helper next to its own executable in the build tree
// and in ../libexec/vistrel/ from it once installed.
#include "ChildProcess.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;
using vistrel::test::runProcess;

namespace {

bool isExecutableFile(const fs::path& path) {
    return fs::is_regular_file(path) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

TEST(AskPassLayout, BuildTreeHasTheHelperBesideTheApplication) {
    const fs::path application = VISTREL_APP_PATH;
    const fs::path helper = application.parent_path() / "vistrel-askpass";
    EXPECT_TRUE(isExecutableFile(helper)) << helper;
    EXPECT_EQ(fs::path(VISTREL_ASKPASS_PATH), helper);
}

TEST(AskPassLayout, InstallPutsTheHelperInLibexecBesideBin) {
    char pattern[] = "/tmp/vistrel-install-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path prefix = pattern;
    const auto result =
        runProcess({VISTREL_CMAKE, "--install", VISTREL_BINARY_DIR, "--prefix", prefix.string()});
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;

    const fs::path application = prefix / "bin" / "vistrel";
    EXPECT_TRUE(isExecutableFile(application)) << application;
    // Where the installed application looks: ../libexec/vistrel/ from its folder.
    EXPECT_TRUE(isExecutableFile(application.parent_path() / ".." / "libexec" / "vistrel" /
                                 "vistrel-askpass"));
    // The helper is no command of its own on PATH.
    EXPECT_FALSE(fs::exists(prefix / "bin" / "vistrel-askpass"));
    fs::remove_all(prefix);
}
