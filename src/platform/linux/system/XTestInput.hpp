#pragma once
// Synthetic input on an X11 display through the XTest extension, and window
// control through AT-SPI and the window-manager protocols:
// - a window is matched to its X window by process and title (the name its
//   accessible frame carries), raised and given the input focus;
// - closing asks the window to close (WM_DELETE_WINDOW), as a window manager's
//   close button does;
// - clicks land at the centre of the element's on-screen extents;
// - text is typed key by key; a character the keyboard map lacks is put on a
//   spare key code for the moment it is typed;
// - an address opens in a new window of the running browser by starting the
//   browser's program again with it and the running instance's profile (and
//   sandbox switch), which hands it over to that instance.

#include "platform/Input.hpp"

#include <chrono>
#include <functional>
#include <memory>

typedef struct _XDisplay Display;

namespace velmar::linux_backend {

class XTestInput final : public Input {
public:
    // Null when there is no display or the server lacks the XTest extension.
    static std::unique_ptr<XTestInput> open(std::chrono::milliseconds keyDelay = std::chrono::milliseconds(8));
    ~XTestInput() override;
    XTestInput(const XTestInput&) = delete;
    XTestInput& operator=(const XTestInput&) = delete;

    bool openURLInNewWindow(const std::filesystem::path& executable, std::optional<int> runningPid,
                            std::string_view url) override;
    bool raiseWindow(const AXElementRef& window) override;
    bool closeWindow(const AXElementRef& window) override;
    bool clickCentre(const AXElementRef& element) override;
    bool typeText(std::string_view text) override;
    bool pressKey(std::string_view key) override;

    // Tells whether a path names a directory (or, for the program, a file).
    using PathTest = std::function<bool(const std::string&)>;
    // The command (program first) that opens `url` in a new window of a
    // browser whose running instance was started with `runningCommandLine`
    // (as /proc shows it, program first; empty when unknown): the running
    // program when `isProgram` accepts its absolute path, else `executable`,
    // with the instance's profile directory and sandbox switch, so the
    // instance takes the address over. Chromium rewrites its command line as
    // one string of words; a profile path with spaces, split there, is put
    // back together from the pieces that name a directory.
    static std::vector<std::string> newWindowCommand(std::vector<std::string> runningCommandLine,
                                                     const std::string& executable, std::string_view url,
                                                     const PathTest& isDirectory, const PathTest& isProgram);

private:
    XTestInput(Display* display, std::chrono::milliseconds keyDelay);
    unsigned long xWindowFor(const AXElementRef& window) const;
    bool typeKeysym(unsigned long keysym);

    Display* display_;
    std::chrono::milliseconds keyDelay_;
};

}  // namespace velmar::linux_backend
