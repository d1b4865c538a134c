#include "AnswerOutput.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>

using vistrel::AnswerOutput::deliver;

// A line far beyond the pipe's buffer arrives whole through partial writes;
// a reader gone is a failure, not a success.
TEST(AnswerOutput, TheLineArrivesWholeOrTheFailureIsReported) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    std::string line(1 << 20, 'x');
    for (std::size_t i = 0; i < line.size(); i += 997) {
        line[i] = static_cast<char>('a' + (i % 26));
    }
    std::string received;
    std::thread reader([&] {
        char buffer[4096];
        for (ssize_t n = 0; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
            received.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fds[0]);
    });
    EXPECT_TRUE(deliver(fds[1], line));
    ::close(fds[1]);
    reader.join();
    EXPECT_EQ(received, line);

    std::signal(SIGPIPE, SIG_IGN);
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ::close(fds[0]);
    EXPECT_FALSE(deliver(fds[1], "yes\n"));
    ::close(fds[1]);
}
