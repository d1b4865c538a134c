// The private folder: made with its missing parents, only for this user, an
// existing one kept, and a file in the way reported with the folder's path.
#include "support/PrivateFolder.h"

#include "MediaFiles.h"
#include "ScratchFolder.h"
#include "StreamError.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using vistrel::StreamError;
namespace PrivateFolder = vistrel::PrivateFolder;

TEST(PrivateFolder, IsMadeWithItsParentsForThisUserOnly) {
    const vistrel::test::ScratchFolder scratch;
    const auto mode = [](const std::filesystem::path& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777U : 0U;
    };
    PrivateFolder::create((scratch / "data/Vistrel/").string());
    EXPECT_EQ(mode(scratch / "data"), 0700U);
    EXPECT_EQ(mode(scratch / "data/Vistrel"), 0700U);
    vistrel::test::writeFile(scratch / "data/Vistrel/known_hosts", "kept\n");
    PrivateFolder::create((scratch / "data/Vistrel").string()); // an existing folder is fine
    EXPECT_EQ(vistrel::test::readFile(scratch / "data/Vistrel/known_hosts"), "kept\n");

    vistrel::test::writeFile(scratch / "file", "not a folder\n");
    try {
        PrivateFolder::create((scratch / "file/Vistrel").string());
        ADD_FAILURE() << "no error";
    } catch (const StreamError& error) {
        EXPECT_EQ(error.message(),
                  "Could not create the folder " + (scratch / "file").string() + ": File exists");
    }
}
