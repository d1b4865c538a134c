// The person at the X display, through xdotool: keys reach the focused window
// through XTEST, the road a keyboard's take.
#pragma once

#include <chrono>
#include <string>

namespace vistrel::test::keyboard {

// True once a window titled exactly `title` holds the keyboard focus.
bool waitForFocus(const std::string& title, std::chrono::milliseconds timeout);
// One key by its X name ("Return", "Tab", "space").
void press(const std::string& key);
void type(const std::string& text);

} // namespace vistrel::test::keyboard
