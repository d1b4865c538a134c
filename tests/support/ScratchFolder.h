// Temporary folders for tests: a fresh folder removed with everything in it,
// and a small tmpfs mounted on one (root only), to run out of space or to be
// read-only on purpose.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace vistrel::test {

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const {
        return path_ / name;
    }

private:
    std::filesystem::path path_;
};

// Throws std::runtime_error when mounting fails (not root).
class TmpfsMount {
public:
    explicit TmpfsMount(std::size_t bytes, bool readOnly = false);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return folder_.path(); }

private:
    ScratchFolder folder_;
};

} // namespace vistrel::test
