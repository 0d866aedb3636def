#pragma once
// Which windows of one browser show an AI surface right now, and which
// conversation each shows. Reads only: the one write is "AXEnhancedUserInterface"
// on the application element at creation, for browsers that need it to expose
// their pages. Every failed read skips the step; the gate never reports errors.
// Every walk is bounded (windows, depth, web areas, panel nodes).
//
// Walking a window down to its page costs a request per node on the way and
// the gate runs on every settle, so, given a clock, it remembers each
// window's page and next time only checks that the page still stands
// (address, role, and that it is still the tab on screen: for Firefox not
// hidden, for the others still in the tree). The
// memory is a cache: it is forgotten when the browser's structure changes
// (the controller says so), and by itself every `structureCheckPeriod` so a
// missed change never hides a tab for long.
//
// A walk is read ahead (`readAhead`) without waiting for the browser, down
// to the windows' pages and not into them, so the walk itself reads from
// memory and the loop goes on while the browser answers.

#include "ax/AXElement.hpp"
#include "ax/AXMirror.hpp"
#include "capture/GatedTab.hpp"
#include "platform/MainLoop.hpp"
#include "surfaces/BrowserProfile.hpp"

#include <functional>
#include <memory>
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
    // Everything remembered is walked again after this long.
    static constexpr Duration structureCheckPeriod{30'000};
    // A window without a page (perhaps one still loading) is walked again
    // after this long.
    static constexpr Duration pagelessRecheck{2'000};

    // `debug` may be null (no trace); `clock` may be null (nothing is
    // remembered: every pass walks). Both must outlive the gate.
    BrowserGate(int pid, BrowserProfile profile, const Accessibility& accessibility, const CaptureDebug* debug = nullptr,
                const Clock* clock = nullptr);

    int pid() const { return pid_; }
    const BrowserProfile& profile() const { return profile_; }
    const AXElement& app() const { return app_; }

    // Focused window first, then the others in window order; at most
    // `maxWindows` titled windows are looked at (untitled frames between
    // them are looked at without counting).
    std::vector<GatedTab> allGatedTabs(std::size_t maxWindows) const;
    // Reads ahead what the next `allGatedTabs` walks: the windows whose page
    // is not remembered, or is due to be looked for again. As
    // `AXMirror::prefetch`: false while reading remains (with a batch in
    // flight, `waitingForAnswers`, and `onAnswered` runs once it is answered).
    bool readAhead(const std::function<bool()>& due, const std::function<void()>& onAnswered) const;
    bool waitingForAnswers() const;
    // What was read ahead is let go (the walk reads what it needs itself).
    void giveUpReadAhead() const;
    // The surface of the focused window's page (no panels, no capture rules).
    std::optional<std::string> focusedAISurface() const;
    // True when the browser shows titled windows and not one page in any of
    // them: a browser started before the accessibility switch was turned on
    // exposes its own controls but none of its pages until it restarts.
    bool showsWindowsWithoutPages() const;

    // The browser's own structure changed: every window is walked on the next
    // pass. Forgetting changes only what the next pass costs, so a const gate
    // may forget.
    void forgetStructure() const;
    // One window changed (or closed): only it is walked on the next pass.
    void forgetWindow(const AXElement& window) const;

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
    struct Page {
        AXElement webArea;
        std::string url;
    };
    // What a walk of one window found, and when.
    struct Remembered {
        AXElement window;
        std::optional<AXElement> webArea;  // absent: the walk found no page
        TimePoint walkedAt;
    };

    // Starts a pass: drops the memory when it is due. Absent without a clock.
    std::optional<TimePoint> passTime() const;
    // The window's page and its address: remembered when that still holds, else walked for.
    std::optional<Page> pageOf(const AXElement& window, std::optional<TimePoint> now) const;
    const Remembered* rememberedFor(const AXElement& window) const;
    // Whether `pageOf` walks the window without checking a remembered page.
    bool walks(const AXElement& window, std::optional<TimePoint> now) const;
    // The browser's windows, as the read ahead found them if it ran this pass.
    std::vector<AXElement> windows() const;
    void remember(const AXElement& window, std::optional<AXElement> page, std::optional<TimePoint> now) const;
    // The remembered web area's address while it is still the window's page; absent otherwise.
    std::optional<std::string> stillShown(const AXElement& webArea) const;

    const int pid_;
    const BrowserProfile profile_;
    const Accessibility& accessibility_;
    const AXElement app_;
    const CaptureDebug* debug_;
    const Clock* clock_;
    mutable std::vector<Remembered> remembered_;
    // When the memory was last emptied; absent until the first pass after it.
    mutable std::optional<TimePoint> rememberingSince_;
    // This pass's read ahead: the windows, and what is read of those walked.
    mutable std::optional<std::vector<AXElement>> aheadWindows_;
    mutable std::vector<AXElementRef> aheadRoots_;
    mutable std::unique_ptr<AXMirror> ahead_;
};

}  // namespace velmar
