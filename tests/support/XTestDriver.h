// Plays the person in front of an X display for tests that answer a real
// window of another process: finds the window by its title, waits for it to
// take the keyboard focus, and presses keys through the XTEST extension, so
// the events travel the same road as those of a keyboard.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace vistrel::test {

class XTestDriver {
public:
    // Opens $DISPLAY. Throws std::runtime_error when there is no display or
    // the server lacks XTEST.
    XTestDriver();
    ~XTestDriver();
    XTestDriver(const XTestDriver&) = delete;
    XTestDriver& operator=(const XTestDriver&) = delete;

    // A viewable top-level window whose title is exactly `title`, or 0 when
    // none appeared in time.
    unsigned long waitForWindow(std::string_view title, std::chrono::milliseconds timeout);

    // True once the keyboard focus is on `window` or inside it.
    bool waitForFocus(unsigned long window, std::chrono::milliseconds timeout);

    // The title of the window, as the X server holds it.
    std::string title(unsigned long window);

    // Presses and releases one key named by its X keysym name ("Return",
    // "Escape", "Tab", "space"), with Shift when the keymap needs it.
    void key(std::string_view keysymName);

    // Types UTF-8 text key by key; characters missing from the keymap are
    // put on a spare key code for the moment they are typed.
    void type(std::string_view utf8);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vistrel::test
