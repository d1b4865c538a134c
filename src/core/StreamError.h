// The core's one error type: a complete English sentence for the user. Callers
// never decode a kind; they show what().
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace vistrel {

class StreamError : public std::exception {
public:
    explicit StreamError(std::string message) : message_(std::move(message)) {}

    // "<step>: <strerror(errno)>". Reads errno first thing, so call it right
    // after the failing system call.
    static StreamError posix(std::string_view step);
    // The same for an errno value saved right after the failing call, for
    // when building the step's name could itself change errno.
    static StreamError posix(std::string_view step, int error);

    [[nodiscard]] const char* what() const noexcept override { return message_.c_str(); }
    [[nodiscard]] const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

// The platform's text for an errno value (thread-safe strerror).
std::string systemErrorText(int error);

} // namespace vistrel
