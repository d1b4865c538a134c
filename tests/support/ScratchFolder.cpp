#include "ScratchFolder.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/mount.h>
#include <unistd.h>

namespace vistrel::test {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "vistrel-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    }
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

TmpfsMount::TmpfsMount(std::size_t bytes, bool readOnly) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", path().c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0) {
        throw std::runtime_error(std::string("mount tmpfs (needs root): ") + std::strerror(errno));
    }
}

TmpfsMount::~TmpfsMount() {
    ::umount2(path().c_str(), MNT_DETACH);
}

} // namespace vistrel::test
