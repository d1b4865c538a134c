#include "AnswerOutput.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>

using vistrel::AnswerOutput::deliver;

namespace {

struct PipeEnds {
    int read = -1;
    int write = -1;
    PipeEnds() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
    ~PipeEnds() {
        closeRead();
        closeWrite();
    }
    PipeEnds(const PipeEnds&) = delete;
    PipeEnds& operator=(const PipeEnds&) = delete;
    void closeRead() {
        if (read >= 0) {
            ::close(read);
            read = -1;
        }
    }
    void closeWrite() {
        if (write >= 0) {
            ::close(write);
            write = -1;
        }
    }
};

std::string drain(int fd) {
    std::string all;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        all.append(buffer, static_cast<std::size_t>(n));
    }
    return all;
}

} // namespace

TEST(AnswerOutput, ShortLineArrivesWhole) {
    PipeEnds pipe;
    ASSERT_GE(pipe.read, 0);
    ASSERT_TRUE(deliver(pipe.write, "secret\n"));
    pipe.closeWrite();
    EXPECT_EQ(drain(pipe.read), "secret\n");
}

// Far beyond the pipe's buffer: the writer must keep going after partial
// writes while the reader drains.
TEST(AnswerOutput, LineLongerThanThePipeBufferArrivesWhole) {
    PipeEnds pipe;
    ASSERT_GE(pipe.read, 0);
    std::string line(1 << 20, 'x');
    for (std::size_t i = 0; i < line.size(); i += 997) {
        line[i] = static_cast<char>('a' + (i % 26));
    }
    line.back() = '\n';
    std::string received;
    std::thread reader([&] { received = drain(pipe.read); });
    const bool delivered = deliver(pipe.write, line);
    pipe.closeWrite();
    reader.join();
    EXPECT_TRUE(delivered);
    EXPECT_EQ(received, line);
}

TEST(AnswerOutput, GoneReaderIsAFailureNotASuccess) {
    std::signal(SIGPIPE, SIG_IGN);
    PipeEnds pipe;
    ASSERT_GE(pipe.read, 0);
    pipe.closeRead();
    EXPECT_FALSE(deliver(pipe.write, "yes\n"));
}

TEST(AnswerOutput, ClosedDescriptorIsAFailure) {
    PipeEnds pipe;
    ASSERT_GE(pipe.write, 0);
    const int stale = pipe.write;
    pipe.closeWrite();
    EXPECT_FALSE(deliver(stale, "yes\n"));
}
