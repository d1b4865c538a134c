#include "XTestDriver.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vistrel::test {

namespace {

// Windows come and go while the tree is walked; their errors are expected.
int ignoreErrors(Display* /*display*/, XErrorEvent* /*event*/) {
    return 0;
}

// Decodes one UTF-8 sequence; returns the code point and advances `text`.
std::uint32_t nextCodePoint(std::string_view& text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 1;
    std::uint32_t cp = lead;
    if (lead >= 0xF0) {
        length = 4;
        cp = lead & 0x07U;
    } else if (lead >= 0xE0) {
        length = 3;
        cp = lead & 0x0FU;
    } else if (lead >= 0xC0) {
        length = 2;
        cp = lead & 0x1FU;
    }
    if (length > text.size()) {
        throw std::invalid_argument("truncated UTF-8");
    }
    for (std::size_t i = 1; i < length; ++i) {
        cp = (cp << 6U) | (static_cast<unsigned char>(text[i]) & 0x3FU);
    }
    text.remove_prefix(length);
    return cp;
}

KeySym keysymFor(std::uint32_t cp) {
    if ((cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xFF)) {
        return cp;
    }
    return 0x01000000UL | cp;
}

void pause(std::chrono::milliseconds time) {
    std::this_thread::sleep_for(time);
}

} // namespace

struct XTestDriver::State {
    Display* display = nullptr;
    int spareKeycode = 0;
};

XTestDriver::XTestDriver() : state_(std::make_unique<State>()) {
    state_->display = XOpenDisplay(nullptr);
    if (state_->display == nullptr) {
        throw std::runtime_error("cannot open the X display");
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (XTestQueryExtension(state_->display, &event, &error, &major, &minor) == 0) {
        XCloseDisplay(state_->display);
        throw std::runtime_error("the X server has no XTEST extension");
    }
    XSetErrorHandler(ignoreErrors);

    int minCode = 0, maxCode = 0;
    XDisplayKeycodes(state_->display, &minCode, &maxCode);
    int perCode = 0;
    KeySym* map = XGetKeyboardMapping(state_->display, static_cast<KeyCode>(minCode),
                                      maxCode - minCode + 1, &perCode);
    for (int code = maxCode; code >= minCode && state_->spareKeycode == 0; --code) {
        bool empty = true;
        for (int i = 0; i < perCode; ++i) {
            empty = empty && map[(code - minCode) * perCode + i] == NoSymbol;
        }
        if (empty) {
            state_->spareKeycode = code;
        }
    }
    XFree(map);
}

XTestDriver::~XTestDriver() {
    if (state_->spareKeycode != 0) {
        KeySym none[2] = {NoSymbol, NoSymbol};
        XChangeKeyboardMapping(state_->display, state_->spareKeycode, 2, none, 1);
    }
    XCloseDisplay(state_->display);
}

std::string XTestDriver::title(unsigned long window) {
    Display* d = state_->display;
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string result;
    if (XGetWindowProperty(d, window, netName, 0, 4096, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr && type == utf8) {
        result.assign(reinterpret_cast<const char*>(data), count);
    } else {
        char* name = nullptr;
        if (XFetchName(d, window, &name) != 0 && name != nullptr) {
            result = name;
            XFree(name);
        }
    }
    if (data != nullptr) {
        XFree(data);
    }
    return result;
}

unsigned long XTestDriver::waitForWindow(std::string_view wanted,
                                         std::chrono::milliseconds timeout) {
    Display* d = state_->display;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::vector<Window> pending{DefaultRootWindow(d)};
        while (!pending.empty()) {
            const Window current = pending.back();
            pending.pop_back();
            XWindowAttributes attributes{};
            if (current != DefaultRootWindow(d) &&
                XGetWindowAttributes(d, current, &attributes) != 0 &&
                attributes.map_state == IsViewable && title(current) == wanted) {
                return current;
            }
            Window root = 0, parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            if (XQueryTree(d, current, &root, &parent, &children, &count) != 0) {
                pending.insert(pending.end(), children, children + count);
                if (children != nullptr) {
                    XFree(children);
                }
            }
        }
        pause(std::chrono::milliseconds(50));
    }
    return 0;
}

bool XTestDriver::waitForFocus(unsigned long window, std::chrono::milliseconds timeout) {
    Display* d = state_->display;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(d, &focus, &revert);
        for (Window w = focus; w != 0 && w != PointerRoot;) {
            if (w == window) {
                return true;
            }
            Window root = 0, parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            if (XQueryTree(d, w, &root, &parent, &children, &count) == 0) {
                break;
            }
            if (children != nullptr) {
                XFree(children);
            }
            w = parent == root ? 0 : parent;
        }
        pause(std::chrono::milliseconds(50));
    }
    return false;
}

namespace {

void press(Display* d, KeyCode code, bool shifted) {
    const KeyCode shift = XKeysymToKeycode(d, XK_Shift_L);
    if (shifted) {
        XTestFakeKeyEvent(d, shift, True, CurrentTime);
    }
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    if (shifted) {
        XTestFakeKeyEvent(d, shift, False, CurrentTime);
    }
    XSync(d, False);
    pause(std::chrono::milliseconds(20));
}

} // namespace

void XTestDriver::key(std::string_view keysymName) {
    Display* d = state_->display;
    const KeySym symbol = XStringToKeysym(std::string(keysymName).c_str());
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(d, symbol);
    if (code == 0) {
        throw std::invalid_argument("no key for " + std::string(keysymName));
    }
    press(d, code, XkbKeycodeToKeysym(d, code, 0, 0) != symbol);
}

void XTestDriver::type(std::string_view utf8) {
    Display* d = state_->display;
    while (!utf8.empty()) {
        const KeySym symbol = keysymFor(nextCodePoint(utf8));
        KeyCode code = XKeysymToKeycode(d, symbol);
        if (code != 0 && (XkbKeycodeToKeysym(d, code, 0, 0) == symbol ||
                          XkbKeycodeToKeysym(d, code, 0, 1) == symbol)) {
            press(d, code, XkbKeycodeToKeysym(d, code, 0, 0) != symbol);
            continue;
        }
        if (state_->spareKeycode == 0) {
            throw std::runtime_error("the keymap has no spare key code");
        }
        // Clients re-read the keymap when told it changed; give them the
        // moment before and after the key that needs the new mapping.
        KeySym mapping[2] = {symbol, symbol};
        XChangeKeyboardMapping(d, state_->spareKeycode, 2, mapping, 1);
        XSync(d, False);
        pause(std::chrono::milliseconds(150));
        press(d, static_cast<KeyCode>(state_->spareKeycode), false);
        pause(std::chrono::milliseconds(150));
    }
}

} // namespace vistrel::test
