#pragma once
// Which windows of one browser show an AI surface right now, and which
// conversation each shows. Reads only: the one write is "AXEnhancedUserInterface"
// on the application element at creation, for browsers that need it to expose
// their pages. Every failed read skips the step; the gate never reports errors.
// Every walk is bounded (windows, depth, web areas, panel nodes).

#include "ax/AXElement.hpp"
#include "capture/GatedTab.hpp"
#include "surfaces/BrowserProfile.hpp"

#include <optional>
#include <string>
#include <vector>

namespace velmar {

class Accessibility;
class CaptureDebug;

class BrowserGate {
public:
    static constexpr int maxWebAreaDepth = 40;
    static constexpr std::size_t maxCollectedWebAreas = 4;
    static constexpr int panelNodeCap = 4000;
    static constexpr int feedSearchDepth = 12;

    // `debug` may be null (no trace); it must outlive the gate.
    BrowserGate(int pid, BrowserProfile profile, const Accessibility& accessibility, const CaptureDebug* debug = nullptr);

    int pid() const { return pid_; }
    const BrowserProfile& profile() const { return profile_; }
    const AXElement& app() const { return app_; }

    // Focused window first, then the others in window order; at most
    // `maxWindows` titled windows are looked at (untitled frames between
    // them are looked at without counting).
    std::vector<GatedTab> allGatedTabs(std::size_t maxWindows) const;
    // The surface of the focused window's page (no panels, no capture rules).
    std::optional<std::string> focusedAISurface() const;
    // True when the browser shows titled windows and not one page in any of
    // them: a browser started before the accessibility switch was turned on
    // exposes its own controls but none of its pages until it restarts.
    bool showsWindowsWithoutPages() const;

    std::optional<AXElement> resolveWebArea(const AXElement& window) const;
    // `shownOnly`: a hidden web area (a background tab's page) is passed over
    // with everything inside it.
    static std::optional<AXElement> firstWebArea(const AXElement& element, int depth, bool shownOnly = false);
    // Whether the element says it is not on screen ("AXHidden" true).
    static bool isHidden(const AXElement& element);
    static void collectURLWebAreas(const AXElement& element, int depth, std::vector<AXElement>& out);
    // The "AXURL" address of an element; absent when missing, empty or not an address.
    static std::optional<std::string> url(const AXElement& element);
    static std::optional<GatedTab> panelTab(const AXElement& webArea, const std::string& url, bool isFocused);

private:
    const int pid_;
    const BrowserProfile profile_;
    const AXElement app_;
    const CaptureDebug* debug_;
};

}  // namespace velmar
