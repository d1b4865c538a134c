// A fresh folder removed with everything in it, and a small tmpfs mounted on
// one (root only), to run out of space on purpose.
#pragma once

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace vistrel::test {

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vistrel-test-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const {
        return path_ / name;
    }

private:
    std::filesystem::path path_;
};

class TmpfsMount {
public:
    // Throws std::runtime_error when mounting fails (not root).
    explicit TmpfsMount(std::size_t bytes) {
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (::mount("tmpfs", path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
            throw std::runtime_error(std::string("mount tmpfs: ") + std::strerror(errno));
        }
    }
    ~TmpfsMount() { ::umount2(path().c_str(), MNT_DETACH); }
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return folder_.path(); }

private:
    ScratchFolder folder_;
};

} // namespace vistrel::test
