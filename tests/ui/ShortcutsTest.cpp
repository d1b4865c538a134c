#include "ui/Shortcuts.h"

#include "UiEnvironment.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

TEST(Shortcuts, TheMenuKeys) {
    // The platform theme supplies the standard keys: it needs the application.
    VISTREL_REQUIRE_DISPLAY();
    // Portable spelling; Qt shows Ctrl as Command on macOS.
    EXPECT_EQ(Shortcuts::start().toStdString(), "Ctrl+R");
    EXPECT_EQ(Shortcuts::end().toStdString(), "Ctrl+.");
    EXPECT_EQ(Shortcuts::record().toStdString(), "Ctrl+Shift+R");
    EXPECT_EQ(Shortcuts::screenshot().toStdString(), "Ctrl+Shift+S");
#ifndef __APPLE__
    EXPECT_EQ(Shortcuts::fullScreen().toStdString(), "F11");
    EXPECT_EQ(Shortcuts::settings().toStdString(), "Ctrl+,");
    EXPECT_EQ(Shortcuts::quit().toStdString(), "Ctrl+Q");
#endif
    // Every key is a single, distinct key press.
    const QString all[] = {Shortcuts::start(),      Shortcuts::end(),        Shortcuts::record(),
                           Shortcuts::screenshot(), Shortcuts::fullScreen(), Shortcuts::settings(),
                           Shortcuts::quit()};
    for (std::size_t i = 0; i < std::size(all); ++i) {
        EXPECT_EQ(QKeySequence(all[i]).count(), 1) << all[i].toStdString();
        for (std::size_t j = i + 1; j < std::size(all); ++j) {
            EXPECT_NE(all[i], all[j]);
        }
    }
}

TEST(Shortcuts, TooltipsNameTheKeyInTheNativeSpelling) {
    VISTREL_REQUIRE_DISPLAY();
    struct Case {
        QString tooltip;
        QString text;
        QKeySequence key;
    };
    const Case cases[] = {
        {Shortcuts::startTooltip(), "Start streaming", ShortcutKeys::start()},
        {Shortcuts::endTooltip(), "End streaming", ShortcutKeys::end()},
        {Shortcuts::recordTooltip(), "Record video to an MP4 file", ShortcutKeys::record()},
        {Shortcuts::screenshotTooltip(), "Save the current frame as PNG",
         ShortcutKeys::screenshot()},
        {Shortcuts::fullScreenTooltip(), "Full Screen", ShortcutKeys::fullScreen()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.tooltip, c.text + " (" + c.key.toString(QKeySequence::NativeText) + ")");
    }
#ifndef __APPLE__
    EXPECT_EQ(Shortcuts::startTooltip().toStdString(), "Start streaming (Ctrl+R)");
    EXPECT_EQ(Shortcuts::recordTooltip().toStdString(),
              "Record video to an MP4 file (Ctrl+Shift+R)");
    EXPECT_EQ(Shortcuts::fullScreenTooltip().toStdString(), "Full Screen (F11)");
#endif
}

} // namespace
} // namespace vistrel
