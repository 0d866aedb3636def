#pragma once
// Where the accessibility helper panel goes: which settings window it sits
// next to, which screen that window is on, and the panel's clamped frame.
// Pure functions over plain records, so every rule is testable as a table.

#include "platform/PanelGeometry.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velmar {

namespace AXHelperGeometry {

// One on-screen window, top-left origin global coordinates.
struct WindowInfo {
    std::int32_t pid = 0;
    int layer = 0;
    double alpha = 1;
    Rect bounds;
};

// The settings window of `settingsPid` the helper attaches to: normal layer,
// visible, at least 300 by 200, the largest (first on a tie).
std::optional<Rect> settingsWindow(const std::vector<WindowInfo>& windows, std::int32_t settingsPid);
// From top-left to bottom-left coordinates, given the first screen's height.
Rect flipped(const Rect& topLeft, double firstScreenHeight);
// The visible frame of the screen the window overlaps most; absent when it
// overlaps none.
std::optional<Rect> visibleFrameFor(const Rect& window, const std::vector<ScreenInfo>& screens);

}  // namespace AXHelperGeometry

namespace AXHelperVisibility {

struct Inputs {
    bool armed = false;
    bool trusted = false;
    bool holdForDev = false;
    bool closedByUser = false;
    bool frontmostAllowed = false;
    std::optional<Rect> settingsWindow;  // bottom-left coordinates
};

struct Show {
    Rect frame;
    bool operator==(const Show&) const = default;
};
struct Hide {
    bool operator==(const Hide&) const = default;
};
using Decision = std::variant<Show, Hide>;

// The frontmost applications next to which the helper may show.
bool isFrontmostAllowed(const std::string& appId);
Decision decide(const Inputs& inputs, Size panelSize, std::optional<Rect> visibleFrame);

}  // namespace AXHelperVisibility

}  // namespace velmar
