#include "ScratchFolder.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/mount.h>
#include <unistd.h>

namespace vistrel::test {

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vistrel-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    }
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string TmpfsMount::unavailableReason() {
    if (::geteuid() != 0) {
        return "mounting a tmpfs needs root";
    }
    return {};
}

TmpfsMount::TmpfsMount(std::size_t bytes, bool readOnly) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    const unsigned long flags = readOnly ? MS_RDONLY : 0;
    if (::mount("tmpfs", folder_.path().c_str(), "tmpfs", flags, options.c_str()) != 0) {
        throw std::runtime_error(std::string("mount tmpfs: ") + std::strerror(errno));
    }
}

TmpfsMount::~TmpfsMount() {
    ::umount2(folder_.path().c_str(), MNT_DETACH);
}

} // namespace vistrel::test
