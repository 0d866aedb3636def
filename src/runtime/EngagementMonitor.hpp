#pragma once
// Reports how the user spends time on AI surfaces, independently of capture:
// an "engagement" message whenever the focused surface or the screen's
// visibility changes, and an "activity" message every poll while the user is
// working in a focused AI surface with the screen visible.

#include "capture/BrowserGate.hpp"
#include "platform/MainLoop.hpp"
#include "platform/Workspace.hpp"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace velmar {

class Accessibility;

class EngagementMonitor {
public:
    using Send = std::function<void(const nlohmann::json&)>;

    static constexpr Duration pollInterval{5'000};
    // Input more recent than this counts as active use.
    static constexpr double activeInputSeconds = 6.0;

    EngagementMonitor(Workspace& workspace, Accessibility& accessibility, MainLoop& loop, Send send);

    // Subscribes to the workspace, reports the current state, starts the poll.
    void start();
    void poll();
    // Termination: asks the core to settle the active time it holds.
    void flushActiveTime();

    struct Focus {
        std::string surface;
        std::optional<std::string> browser;
        bool operator==(const Focus&) const = default;
    };
    std::optional<Focus> focusedSurface();
    bool visible() const { return !screenLocked_ && !screensAsleep_ && sessionActive_; }
    std::size_t gateCount() const { return browserGates_.size(); }

private:
    void handle(const WorkspaceNotification& note);
    void emitEdgeIfChanged();
    void sendEngagement(const Focus& focus, bool focused, bool visible);
    BrowserGate& gate(int pid, const BrowserProfile& profile);
    // "2026-01-01T00:00:05Z": UTC, whole seconds.
    std::string stamp() const;

    Workspace& workspace_;
    Accessibility& accessibility_;
    MainLoop& loop_;
    const Send send_;
    WorkspaceSubscription subscription_;
    ScopedTimer pollTimer_;
    std::optional<Focus> last_;
    bool lastVisible_ = true;
    bool screenLocked_ = false;
    bool screensAsleep_ = false;
    bool sessionActive_ = true;
    std::map<int, BrowserGate> browserGates_;
};

}  // namespace velmar
