// What every window test needs: one QApplication on a real X display (Xvfb
// with Mesa in CI), private settings and data folders, and the rule that
// without a display the tests are skipped with a reason.
#pragma once

#include <QString>

namespace vistrel::test {

// True once the application object exists; false when there is no display.
bool haveDisplay();

// Why the window tests did not run, for GTEST_SKIP.
inline constexpr const char* noDisplayReason =
    "no X display: run through scripts/test.sh, which starts Xvfb";

// Where screenshots are kept for people to look at: <build>/tests/ui/screenshots.
QString artefactDir();

} // namespace vistrel::test

// In a test body or fixture SetUp: skips the test when there is no display.
#define VISTREL_REQUIRE_DISPLAY()                                                                  \
    do {                                                                                           \
        if (!::vistrel::test::haveDisplay()) {                                                     \
            GTEST_SKIP() << ::vistrel::test::noDisplayReason;                                      \
        }                                                                                          \
    } while (false)
