#pragma once
// The agent's icon in the desktop's status area (a tray icon on Linux) and its
// menu. The logic hands over a finished menu model and the dot state; the
// backend only draws them and reports what the user did.

#include <functional>
#include <string>
#include <vector>

namespace velmar {

// A red dot on the glyph while the user is known to be signed out.
enum class StatusDot { none, red };

struct StatusImage {
    StatusDot dot = StatusDot::none;
    std::string toolTip;
    bool operator==(const StatusImage&) const = default;
};

struct MenuItem {
    enum class Kind { action, info, separator };
    Kind kind = Kind::info;
    std::string title;
    bool checked = false;
    std::string keyEquivalent;       // "q" for quit; empty for none
    std::function<void()> activate;  // set for actions only

    static MenuItem info(std::string title) { return {Kind::info, std::move(title), false, {}, {}}; }
    static MenuItem separator() { return {Kind::separator, {}, false, {}, {}}; }
    static MenuItem action(std::string title, std::function<void()> fn, bool checked = false,
                           std::string key = {}) {
        return {Kind::action, std::move(title), checked, std::move(key), std::move(fn)};
    }
};

using MenuModel = std::vector<MenuItem>;

class StatusItemListener {
public:
    virtual ~StatusItemListener() = default;
    virtual void menuWillOpen() = 0;
    virtual void menuDidClose() = 0;
};

class StatusItem {
public:
    virtual ~StatusItem() = default;
    // Shows the glyph (with or without the dot) and its tool tip.
    virtual void setImage(const StatusImage& image) = 0;
    // Replaces the whole menu. Backends whose menu is exported ahead of time
    // (a tray icon) show the latest model the next time it opens.
    virtual void setMenu(MenuModel menu) = 0;
    // Pops the menu open as if the icon had been clicked, where possible.
    virtual void openMenu() = 0;
    // Not owned; cleared with nullptr before the listener goes away.
    virtual void setListener(StatusItemListener* listener) = 0;
};

}  // namespace velmar
