#include "capture/CaptureFileName.h"

#include <gtest/gtest.h>

// A typed name keeps its own extension only when it is the capture's.
TEST(CaptureFileName, TheCapturesExtensionIsKeptOrAdded) {
    const std::array<std::array<const char*, 3>, 5> cases{{
        {"/home/a/Clip.MP4", "mp4", "/home/a/Clip.MP4"},
        {"/home/a/shot.jpg", "png", "/home/a/shot.jpg.png"},
        {"/home/a/clip", "mp4", "/home/a/clip.mp4"},
        {"/home/a/clip.", "mp4", "/home/a/clip.mp4"},
        {"/home/a.mp4/clip", "mp4", "/home/a.mp4/clip.mp4"},
    }};
    for (const auto& [path, extension, expected] : cases) {
        EXPECT_EQ(vistrel::CaptureFileName::withExtension(path, extension), expected) << path;
    }
}
