#include "platform/linux/system/XTestInput.hpp"

#include "platform/linux/atspi/AtspiElement.hpp"
#include "text/Unicode.hpp"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <atspi/atspi.h>
#include <glib.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <iterator>
#include <thread>

namespace velmar::linux_backend {
namespace {

struct Extents {
    int x = 0, y = 0, width = 0, height = 0;
};

AtspiAccessible* accessibleOf(const AXElementRef& element) {
    auto* a = dynamic_cast<const AtspiElement*>(element.get());
    return a ? a->accessible() : nullptr;
}

std::optional<Extents> screenExtents(AtspiAccessible* a) {
    AtspiComponent* component = atspi_accessible_get_component_iface(a);
    if (!component) return std::nullopt;
    GError* error = nullptr;
    AtspiRect* rect = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, &error);
    g_object_unref(component);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    if (!rect) return std::nullopt;
    Extents out{rect->x, rect->y, rect->width, rect->height};
    g_free(rect);
    if (out.width <= 0 || out.height <= 0) return std::nullopt;
    return out;
}

std::optional<std::string> textProperty(Display* d, Window w, const char* name, Atom type) {
    Atom property = XInternAtom(d, name, True);
    if (property == None) return std::nullopt;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 4096, False, type, &actual, &format, &count, &after, &data) != Success)
        return std::nullopt;
    std::optional<std::string> out;
    if (data && actual != None && format == 8) out = std::string(reinterpret_cast<char*>(data), count);
    if (data) XFree(data);
    return out;
}

std::optional<long> windowPid(Display* d, Window w) {
    Atom property = XInternAtom(d, "_NET_WM_PID", True);
    if (property == None) return std::nullopt;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 1, False, XA_CARDINAL, &actual, &format, &count, &after, &data) !=
        Success)
        return std::nullopt;
    std::optional<long> out;
    if (data && count == 1 && format == 32) out = *reinterpret_cast<long*>(data);
    if (data) XFree(data);
    return out;
}

struct Candidate {
    Window window;
    std::optional<long> pid;
    std::string title;
    Extents extents;
};

// Top-level windows a person can see (mapped), with what identifies them.
// Without a window manager they are the root's children; with one, its frames'
// children, so one level below is looked at too.
void collect(Display* d, Window parent, int depth, std::vector<Candidate>& out) {
    Window root = 0, up = 0, *kids = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, parent, &root, &up, &kids, &count)) return;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attrs;
        if (!XGetWindowAttributes(d, kids[i], &attrs) || attrs.map_state != IsViewable) continue;
        auto title = textProperty(d, kids[i], "_NET_WM_NAME", XInternAtom(d, "UTF8_STRING", False));
        if (!title) title = textProperty(d, kids[i], "WM_NAME", XA_STRING);
        auto pid = windowPid(d, kids[i]);
        if (pid || title) {
            int x = 0, y = 0;
            Window child = 0;
            XTranslateCoordinates(d, kids[i], root, 0, 0, &x, &y, &child);
            out.push_back({kids[i], pid, title.value_or(""), {x, y, attrs.width, attrs.height}});
        }
        if (depth < 1) collect(d, kids[i], depth + 1, out);
    }
    if (kids) XFree(kids);
}

KeySym keysymFor(char32_t cp) {
    if (cp == '\n' || cp == '\r') return XK_Return;
    if (cp == '\t') return XK_Tab;
    if ((cp >= 0x20 && cp <= 0x7e) || (cp >= 0xa0 && cp <= 0xff)) return cp;
    return 0x01000000 | cp;
}

// A client message about window `w` with its first datum; the second is the time.
XEvent clientMessage(Display* display, Window w, const char* type, long first) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = XInternAtom(display, type, False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = first;
    event.xclient.data.l[1] = CurrentTime;
    return event;
}

}  // namespace

std::unique_ptr<XTestInput> XTestInput::open(std::chrono::milliseconds keyDelay) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        return nullptr;
    }
    atspi_init();
    return std::unique_ptr<XTestInput>(new XTestInput(display, keyDelay));
}

XTestInput::XTestInput(Display* display, std::chrono::milliseconds keyDelay) : display_(display), keyDelay_(keyDelay) {}

XTestInput::~XTestInput() { XCloseDisplay(display_); }

std::vector<std::string> XTestInput::newWindowCommand(std::vector<std::string> running, const std::string& executable,
                                                      std::string_view url, const PathTest& isDirectory,
                                                      const PathTest& isProgram) {
    // A rewritten command line may end in padding.
    std::erase(running, std::string());
    const bool rewritten = running.size() == 1 && running[0].find(' ') != std::string::npos;
    if (rewritten) {
        std::istringstream words(running[0]);
        running.clear();
        for (std::string w; words >> w;) running.push_back(w);
    }
    std::vector<std::string> out{
        !running.empty() && running[0].starts_with('/') && isProgram(running[0]) ? running[0] : executable};
    constexpr std::string_view profile = "--user-data-dir=";
    for (std::size_t i = 1; i < running.size(); ++i) {
        const auto& a = running[i];
        if (a == "--no-sandbox") {
            // A browser running without its sandbox (as root) refuses to start with one.
            out.push_back(a);
        } else if (a.starts_with(profile)) {
            // The profile names the instance to hand the address to. Chromium
            // takes a switch's value only after "=": "--user-data-dir PATH"
            // ran on the default profile, with PATH as a page to open.
            std::string value = a.substr(profile.size());
            if (rewritten) {
                std::string joined = value;
                for (std::size_t j = i + 1; j < running.size() && !running[j].starts_with('-'); ++j) {
                    joined += " " + running[j];
                    if (isDirectory(joined)) {
                        value = joined;
                        i = j;
                    }
                }
            }
            out.push_back(std::string(profile) + value);
        }
    }
    out.push_back("--new-window");
    out.emplace_back(url);
    return out;
}

bool XTestInput::openURLInNewWindow(const std::filesystem::path& executable, std::optional<int> runningPid,
                                    std::string_view url) {
    std::vector<std::string> running;
    if (runningPid) {
        std::ifstream in("/proc/" + std::to_string(*runningPid) + "/cmdline", std::ios::binary);
        std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (std::size_t start = 0; start < raw.size();) {
            auto end = raw.find('\0', start);
            if (end == std::string::npos) end = raw.size();
            running.push_back(raw.substr(start, end - start));
            start = end + 1;
        }
    }
    auto args = newWindowCommand(
        std::move(running), executable.string(), url,
        [](const std::string& p) {
            std::error_code ec;
            return std::filesystem::is_directory(p, ec);
        },
        [](const std::string& p) {
            std::error_code ec;
            return std::filesystem::is_regular_file(p, ec);
        });
    const std::string& program = args.front();
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    GError* error = nullptr;
    const gboolean ok = g_spawn_async(nullptr, argv.data(), nullptr,
                                      GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
                                      nullptr, nullptr, nullptr, &error);
    if (error) {
        std::cerr << "could not start " << program << ": " << error->message << "\n";
        g_error_free(error);
    }
    return ok != FALSE;
}

unsigned long XTestInput::xWindowFor(const AXElementRef& window) const {
    AtspiAccessible* a = accessibleOf(window);
    if (!a) return 0;
    GError* error = nullptr;
    gchar* rawName = atspi_accessible_get_name(a, &error);
    std::string name = rawName && !error ? rawName : "";
    g_free(rawName);
    if (error) g_error_free(error), error = nullptr;
    const long pid = atspi_accessible_get_process_id(a, &error);
    const bool pidKnown = !error;
    if (error) g_error_free(error);
    auto extents = screenExtents(a);

    std::vector<Candidate> all;
    collect(display_, DefaultRootWindow(display_), 0, all);
    std::vector<const Candidate*> ofProcess;
    for (const auto& c : all)
        if (!pidKnown || !c.pid || *c.pid == pid) ofProcess.push_back(&c);
    for (const auto* c : ofProcess)
        if (!name.empty() && c->title == name) return c->window;
    if (extents) {
        for (const auto* c : ofProcess)
            if (c->extents.x == extents->x && c->extents.y == extents->y && c->extents.width == extents->width)
                return c->window;
    }
    return ofProcess.size() == 1 ? ofProcess.front()->window : 0;
}

bool XTestInput::raiseWindow(const AXElementRef& window) {
    const Window w = xWindowFor(window);
    if (!w) return false;
    // Ask a window manager, if there is one, to activate it; raise and focus
    // it directly as well, which is all there is without one.
    XEvent event = clientMessage(display_, w, "_NET_ACTIVE_WINDOW", 2);  // 2: from a pager, a deliberate request
    XSendEvent(display_, DefaultRootWindow(display_), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XRaiseWindow(display_, w);
    XSetInputFocus(display_, w, RevertToPointerRoot, CurrentTime);
    XSync(display_, False);
    return true;
}

bool XTestInput::closeWindow(const AXElementRef& window) {
    const Window w = xWindowFor(window);
    if (!w) return false;
    XEvent event =
        clientMessage(display_, w, "WM_PROTOCOLS", static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False)));
    const Status sent = XSendEvent(display_, w, False, NoEventMask, &event);
    XSync(display_, False);
    return sent != 0;
}

bool XTestInput::clickCentre(const AXElementRef& element) {
    AtspiAccessible* a = accessibleOf(element);
    if (!a) return false;
    auto extents = screenExtents(a);
    if (!extents) return false;
    const int x = extents->x + extents->width / 2, y = extents->y + extents->height / 2;
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
    std::this_thread::sleep_for(keyDelay_);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XSync(display_, False);
    std::this_thread::sleep_for(keyDelay_);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
    return true;
}

bool XTestInput::typeKeysym(unsigned long keysym) {
    KeyCode code = XKeysymToKeycode(display_, keysym);
    bool shift = false;
    bool remapped = false;
    if (code) {
        shift = XkbKeycodeToKeysym(display_, code, 0, 0) != keysym && XkbKeycodeToKeysym(display_, code, 0, 1) == keysym;
    } else {
        // Borrow a key code without symbols for this one character.
        int low = 0, high = 0, perCode = 0;
        XDisplayKeycodes(display_, &low, &high);
        KeySym* map = XGetKeyboardMapping(display_, low, high - low + 1, &perCode);
        if (!map) return false;
        for (int kc = high; kc >= low && !code; --kc) {
            bool empty = true;
            for (int k = 0; k < perCode; ++k) empty = empty && map[(kc - low) * perCode + k] == NoSymbol;
            if (empty) code = static_cast<KeyCode>(kc);
        }
        XFree(map);
        if (!code) return false;
        KeySym both[2] = {keysym, keysym};
        XChangeKeyboardMapping(display_, code, 2, both, 1);
        XSync(display_, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        remapped = true;
    }
    const KeyCode shiftCode = XKeysymToKeycode(display_, XK_Shift_L);
    if (shift) XTestFakeKeyEvent(display_, shiftCode, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(display_, shiftCode, False, CurrentTime);
    XSync(display_, False);
    std::this_thread::sleep_for(keyDelay_);
    if (remapped) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        KeySym none[2] = {NoSymbol, NoSymbol};
        XChangeKeyboardMapping(display_, code, 2, none, 1);
        XSync(display_, False);
    }
    return true;
}

bool XTestInput::typeText(std::string_view text) {
    for (char32_t cp : text::toUtf32(text::repairUtf8(text)))
        if (!typeKeysym(keysymFor(cp))) return false;
    return true;
}

bool XTestInput::pressKey(std::string_view key) {
    const KeySym keysym = XStringToKeysym(std::string(key).c_str());
    if (keysym == NoSymbol) return false;
    return typeKeysym(keysym);
}

}  // namespace velmar::linux_backend
