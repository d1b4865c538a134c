#include "Keyboard.h"

#include "ChildProcess.h"

#include <thread>

namespace vistrel::test::keyboard {

bool waitForFocus(const std::string& title, std::chrono::milliseconds timeout) {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout;
         std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
        if (runProcess({"xdotool", "getwindowfocus", "getwindowname"}).out == title + "\n") {
            return true;
        }
    }
    return false;
}

void press(const std::string& key) {
    runProcess({"xdotool", "key", key});
}

void type(const std::string& text) {
    runProcess({"xdotool", "type", "--delay", "20", "--", text});
}

} // namespace vistrel::test::keyboard
