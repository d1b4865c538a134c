// Hands the answer line to the SSH client through the helper's standard output.
#pragma once

#include <string_view>

namespace vistrel::AnswerOutput {

// Writes every byte to `fd`. A line up to the pipe buffer's size goes in one
// write() and so reaches the reader whole; a longer one, or a write cut short
// by a signal, continues where it stopped. False when the reader is gone or
// the descriptor fails (SIGPIPE must be ignored by the caller), so a lost
// answer is never reported as given.
bool deliver(int fd, std::string_view bytes);

} // namespace vistrel::AnswerOutput
