// The core speaks UTF-8 std::string; Qt speaks QString. One conversion for
// every sentence that crosses over.
#pragma once

#include <QString>
#include <string_view>

namespace vistrel {

inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace vistrel
