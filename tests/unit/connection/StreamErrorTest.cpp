#include "StreamError.h"

#include "Messages.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>

using vistrel::StreamError;

TEST(StreamError, CarriesItsMessageUnchanged) {
    const std::string message = "Any sentence \u2019 with \u2026 unicode.";
    const StreamError error(message);
    EXPECT_EQ(error.what(), message);
    EXPECT_EQ(error.message(), message);
}

TEST(StreamError, PosixAppendsTheTextOfTheFailedCall) {
    ASSERT_EQ(::socket(-1, SOCK_DGRAM, 0), -1);
    const int error = errno;
    errno = error; // what strerror reads below must not disturb the value posix() sees
    const StreamError composed = StreamError::posix(vistrel::Messages::stepOpenSocket);
    EXPECT_EQ(composed.message(), std::string("Open network socket: ") + std::strerror(error));
}

TEST(StreamError, PlatformMessagesUseThisSystemsWording) {
#ifndef __APPLE__
    EXPECT_EQ(vistrel::Messages::decoderStartFailed(-22),
              "Could not start the H.264 decoder (-22).");
    EXPECT_EQ(vistrel::Messages::helperMissing,
              "The SSH helper is missing. Reinstall Vistrel or run it from its build folder.");
    EXPECT_EQ(vistrel::Messages::noVideoArrived.find("macOS"), std::string_view::npos);
#endif
    EXPECT_EQ(vistrel::Messages::stepListen(8090), "Listen on UDP port 8090");
    EXPECT_EQ(vistrel::Messages::moveFailed("No such file or directory.", "/a/.Vistrel-X.mp4"),
              "Could not save to the selected location: No such file or directory. The finished "
              "recording is at /a/.Vistrel-X.mp4.");
}
