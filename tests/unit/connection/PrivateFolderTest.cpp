// The private folder: made with its missing parents, only for this user, an
// existing one kept, and a file in the way reported with the folder's path.
#include "support/PrivateFolder.h"

#include "ScratchFolder.h"
#include "StreamError.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

using vistrel::StreamError;
using vistrel::test::ScratchFolder;
namespace PrivateFolder = vistrel::PrivateFolder;

namespace {

unsigned modeOf(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777U : 0U;
}

} // namespace

TEST(PrivateFolder, IsMadeWithItsParentsForThisUserOnly) {
    const ScratchFolder scratch;
    const std::filesystem::path folder = scratch / "data/Vistrel";
    PrivateFolder::create(folder.string() + "/");
    EXPECT_EQ(modeOf(scratch / "data"), 0700U);
    EXPECT_EQ(modeOf(folder), 0700U);
    std::ofstream(folder / "known_hosts") << "kept\n";
    PrivateFolder::create(folder.string()); // an existing folder is fine
    EXPECT_TRUE(std::filesystem::exists(folder / "known_hosts"));
}

TEST(PrivateFolder, AFileInTheWayIsReportedWithThePathItBlocks) {
    const ScratchFolder scratch;
    std::ofstream(scratch / "data") << "not a folder\n";
    try {
        PrivateFolder::create((scratch / "data/Vistrel").string());
        FAIL() << "no error";
    } catch (const StreamError& error) {
        EXPECT_EQ(error.message(),
                  "Could not create the folder " + (scratch / "data").string() + ": File exists");
    }
}
