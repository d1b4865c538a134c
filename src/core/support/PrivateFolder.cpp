#include "support/PrivateFolder.h"

#include "Messages.h"
#include "StreamError.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

namespace vistrel::PrivateFolder {

void create(const std::string& folder) {
    std::string cleaned = std::filesystem::path(folder).lexically_normal().string();
    while (cleaned.size() > 1 && cleaned.back() == '/') {
        cleaned.pop_back();
    }
    std::size_t from = 1;
    while (true) {
        const std::size_t slash = cleaned.find('/', from);
        const std::string part = cleaned.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0) {
            const int error = errno;
            struct stat info {};
            if (error != EEXIST || ::stat(part.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
                throw StreamError(Messages::folderNotCreated(part, systemErrorText(error)));
            }
        }
        if (slash == std::string::npos) {
            return;
        }
        from = slash + 1;
    }
}

} // namespace vistrel::PrivateFolder
