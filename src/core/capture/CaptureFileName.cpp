#include "capture/CaptureFileName.h"

#include <algorithm>
#include <cctype>

namespace vistrel::CaptureFileName {

std::string withExtension(std::string_view path, std::string_view extension) {
    const std::string_view name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) {
        const std::string_view suffix = name.substr(dot + 1);
        if (std::ranges::equal(suffix, extension, [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return std::string(path);
        }
    }
    std::string fixed(path);
    if (fixed.empty() || fixed.back() != '.') {
        fixed += '.';
    }
    fixed += extension;
    return fixed;
}

} // namespace vistrel::CaptureFileName
