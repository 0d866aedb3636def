#pragma once
// What the X server can tell about the user: the process behind the active
// window (the window manager's _NET_ACTIVE_WINDOW and the window's
// _NET_WM_PID) and the time since the last input (the MIT-SCREEN-SAVER
// extension). Connections of its own, opened on first use; without a display
// every answer is absent. Property reads go through XCB, whose errors are
// values: a window that closes under us never reaches a process-wide error
// handler.

#include <optional>
#include <string>

typedef struct _XDisplay Display;
typedef struct xcb_connection_t xcb_connection_t;

namespace velmar::linux_backend {

class X11Display {
public:
    // `display` is the DISPLAY value; absent or empty: no X server.
    explicit X11Display(std::optional<std::string> display);
    ~X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    std::optional<int> activeWindowProcess();
    std::optional<double> idleSeconds();

private:
    bool connectXcb();

    std::optional<std::string> display_;
    xcb_connection_t* xcb_ = nullptr;
    bool xcbFailed_ = false;
    unsigned root_ = 0;
    unsigned activeWindowAtom_ = 0;
    unsigned pidAtom_ = 0;
    Display* xlib_ = nullptr;
    bool xlibFailed_ = false;
    bool screenSaverExtension_ = false;
};

}  // namespace velmar::linux_backend
