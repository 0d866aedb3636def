#include "ui/AXHelperGeometry.hpp"

#include <algorithm>

namespace velmar {

namespace AXHelperGeometry {

std::optional<Rect> settingsWindow(const std::vector<WindowInfo>& windows, std::int32_t settingsPid) {
    std::optional<Rect> best;
    double bestArea = 0;
    for (const auto& w : windows) {
        if (w.pid != settingsPid || w.layer != 0 || !(w.alpha > 0)) continue;
        if (w.bounds.width < 300 || w.bounds.height < 200) continue;
        double area = w.bounds.width * w.bounds.height;
        if (!best || area > bestArea) {
            best = w.bounds;
            bestArea = area;
        }
    }
    return best;
}

Rect flipped(const Rect& r, double firstScreenHeight) {
    return {r.x, firstScreenHeight - r.y - r.height, r.width, r.height};
}

std::optional<Rect> visibleFrameFor(const Rect& window, const std::vector<ScreenInfo>& screens) {
    std::optional<Rect> best;
    double bestArea = 0;
    for (const auto& s : screens) {
        double w = std::min(window.maxX(), s.frame.maxX()) - std::max(window.minX(), s.frame.minX());
        double h = std::min(window.maxY(), s.frame.maxY()) - std::max(window.minY(), s.frame.minY());
        if (w <= 0 || h <= 0) continue;
        if (w * h > bestArea) {
            best = s.visibleFrame;
            bestArea = w * h;
        }
    }
    return best;
}

}  // namespace AXHelperGeometry

namespace AXHelperVisibility {

bool isFrontmostAllowed(const std::string& appId) {
    return appId == "com.apple.systempreferences" || appId == "com.apple.SecurityAgent";
}

Decision decide(const Inputs& in, Size panel, std::optional<Rect> visibleFrame) {
    if (!in.armed || in.closedByUser || (in.trusted && !in.holdForDev) || !in.frontmostAllowed ||
        !in.settingsWindow)
        return Hide{};
    const Rect& window = *in.settingsWindow;
    Rect frame{window.midX() + 107.5 - panel.width / 2, window.minY() + 16, panel.width, panel.height};
    Rect bounds = visibleFrame.value_or(window);
    if (frame.maxX() > bounds.maxX()) frame.x = bounds.maxX() - frame.width;
    if (frame.minX() < bounds.minX()) frame.x = bounds.minX();
    if (frame.maxY() > bounds.maxY()) frame.y = bounds.maxY() - frame.height;
    if (frame.minY() < bounds.minY()) frame.y = bounds.minY();
    return Show{frame};
}

}  // namespace AXHelperVisibility

}  // namespace velmar
