#include "StreamError.h"

#include <cerrno>
#include <cstring>

namespace vistrel {

namespace {

// strerror_r comes in a GNU flavour (returns the text) and an XSI flavour
// (fills the buffer, returns a status); overloads pick whichever this libc has.
[[maybe_unused]] const char* pickText(const char* text, const char* /*buffer*/) {
    return text;
}
[[maybe_unused]] const char* pickText(int status, const char* buffer) {
    return status == 0 ? buffer : "Unknown error";
}

} // namespace

std::string systemErrorText(int error) {
    char buffer[256] = {};
    return pickText(strerror_r(error, buffer, sizeof buffer), buffer);
}

StreamError StreamError::posix(std::string_view step) {
    return posix(step, errno);
}

StreamError StreamError::posix(std::string_view step, int error) {
    std::string message(step);
    message += ": ";
    message += systemErrorText(error);
    return StreamError(std::move(message));
}

} // namespace vistrel
