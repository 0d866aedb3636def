#pragma once
// Synthetic input and window control, for the developer harness that drives
// real chat windows: opening an address in a new browser window, raising,
// focusing and closing windows, clicking elements and typing. The agent itself
// never uses it. Every call answers whether it was carried out; none throws.

#include "platform/AccessibilityElement.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

class Input {
public:
    virtual ~Input() = default;

    // Opens `url` in a new window of the browser installed at `executable`:
    // handed to the running instance `runningPid` (same profile) when there is
    // one, else the browser is started with it.
    virtual bool openURLInNewWindow(const std::filesystem::path& executable, std::optional<int> runningPid,
                                    std::string_view url) = 0;
    // Brings the window (an element of role "AXWindow") to the front and gives
    // it the keyboard focus.
    virtual bool raiseWindow(const AXElementRef& window) = 0;
    // Closes the window: its own close action, else the window manager's
    // close request. Answers whether the request was delivered.
    virtual bool closeWindow(const AXElementRef& window) = 0;
    // Clicks the primary button at the centre of the element's frame on screen.
    virtual bool clickCentre(const AXElementRef& element) = 0;
    // Types the text key by key into whatever has the keyboard focus.
    virtual bool typeText(std::string_view text) = 0;
    // Presses and releases one named key ("Return", "Escape", "BackSpace").
    virtual bool pressKey(std::string_view key) = 0;
};

}  // namespace velmar
