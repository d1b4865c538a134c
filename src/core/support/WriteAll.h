// Writes a whole buffer to a file descriptor, carrying on after interruptions
// by signals and after short writes.
#pragma once

#include <cstddef>
#include <span>

namespace vistrel {

// 0 when every byte was written, else the errno of the failing write.
[[nodiscard]] int writeAll(int fd, std::span<const unsigned char> bytes);

} // namespace vistrel
