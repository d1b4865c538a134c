// A typed name keeps its own extension only when it is the capture's.
#include "capture/CaptureFileName.h"

#include <gtest/gtest.h>

using vistrel::CaptureFileName::withExtension;

TEST(CaptureFileName, TheCapturesExtensionIsKeptOrAdded) {
    struct Case {
        const char* path;
        const char* extension;
        const char* expected;
    };
    const Case cases[] = {
        {"/home/a/clip.mp4", "mp4", "/home/a/clip.mp4"},
        {"/home/a/Clip.MP4", "mp4", "/home/a/Clip.MP4"},
        {"/home/a/clip.mov", "mp4", "/home/a/clip.mov.mp4"},
        {"/home/a/shot.jpg", "png", "/home/a/shot.jpg.png"},
        {"/home/a/clip", "mp4", "/home/a/clip.mp4"},
        {"/home/a/clip.", "mp4", "/home/a/clip.mp4"},
        {"/home/a.mp4/clip", "mp4", "/home/a.mp4/clip.mp4"},
        {"/home/a/clip.png", "mp4", "/home/a/clip.png.mp4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(withExtension(c.path, c.extension), c.expected) << c.path;
    }
}
