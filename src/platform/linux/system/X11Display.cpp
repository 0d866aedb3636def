#include "platform/linux/system/X11Display.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace velmar::linux_backend {
namespace {

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    auto cookie = xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!reply) return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// One 32-bit value of a property, when it is set and of that type.
std::optional<uint32_t> cardinalProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    auto cookie = xcb_get_property(c, 0, window, property, type, 0, 1);
    xcb_generic_error_t* error = nullptr;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, &error);
    std::free(error);
    if (!reply) return std::nullopt;
    std::optional<uint32_t> value;
    if (reply->type == type && reply->format == 32 && xcb_get_property_value_length(reply) >= 4) {
        std::memcpy(&value.emplace(), xcb_get_property_value(reply), 4);
    }
    std::free(reply);
    return value;
}

}  // namespace

X11Display::X11Display(std::optional<std::string> display) {
    if (display && !display->empty()) display_ = std::move(display);
}

X11Display::~X11Display() {
    if (xcb_) xcb_disconnect(xcb_);
    if (xlib_) XCloseDisplay(xlib_);
}

bool X11Display::connectXcb() {
    if (xcb_) {
        if (!xcb_connection_has_error(xcb_)) return true;
        // The server went away; a later one under the same name may come back.
        xcb_disconnect(xcb_);
        xcb_ = nullptr;
    }
    if (!display_ || xcbFailed_) return false;
    int screen = 0;
    xcb_connection_t* c = xcb_connect(display_->c_str(), &screen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        xcbFailed_ = true;  // no server there: do not knock again every poll
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        xcbFailed_ = true;
        return false;
    }
    xcb_ = c;
    root_ = it.data->root;
    activeWindowAtom_ = internAtom(c, "_NET_ACTIVE_WINDOW");
    pidAtom_ = internAtom(c, "_NET_WM_PID");
    return true;
}

std::optional<int> X11Display::activeWindowProcess() {
    if (!connectXcb() || activeWindowAtom_ == XCB_ATOM_NONE || pidAtom_ == XCB_ATOM_NONE) return std::nullopt;
    // Without a window manager that keeps _NET_ACTIVE_WINDOW there is no answer.
    auto window = cardinalProperty(xcb_, root_, activeWindowAtom_, XCB_ATOM_WINDOW);
    if (!window || *window == XCB_WINDOW_NONE) return std::nullopt;
    auto pid = cardinalProperty(xcb_, *window, pidAtom_, XCB_ATOM_CARDINAL);
    if (!pid || *pid == 0 || *pid > 0x7fffffff) return std::nullopt;
    return static_cast<int>(*pid);
}

std::optional<double> X11Display::idleSeconds() {
    if (!display_ || xlibFailed_) return std::nullopt;
    if (!xlib_) {
        xlib_ = XOpenDisplay(display_->c_str());
        if (!xlib_) {
            xlibFailed_ = true;
            return std::nullopt;
        }
        int event = 0, error = 0;
        screenSaverExtension_ = XScreenSaverQueryExtension(xlib_, &event, &error);
    }
    if (!screenSaverExtension_) return std::nullopt;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (!info) return std::nullopt;
    std::optional<double> seconds;
    if (XScreenSaverQueryInfo(xlib_, DefaultRootWindow(xlib_), info)) seconds = static_cast<double>(info->idle) / 1000.0;
    XFree(info);
    return seconds;
}

}  // namespace velmar::linux_backend
