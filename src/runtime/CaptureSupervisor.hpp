#pragma once
// Decides where capture runs: one controller per running allow-listed
// application while the agent is trusted for accessibility and the core has
// not paused capture. Follows applications starting and quitting, polls the
// trust, tries again (less and less often) to observe an application that
// is not on the accessibility bus yet, and asks the user to restart a browser
// that stays off it. The status menu's capture lines are written here.

#include "capture/AttachedController.hpp"
#include "capture/PasteboardCapture.hpp"
#include "platform/MainLoop.hpp"
#include "platform/Workspace.hpp"
#include "runtime/CaptureDirective.hpp"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace velmar {

struct BrowserProfile;
struct Platform;
class CaptureDebug;
class CaptureSpec;
class CaptureDiag;
class Notifications;
class StatusMenu;

class CaptureSupervisor : public std::enable_shared_from_this<CaptureSupervisor> {
public:
    static constexpr Duration trustPollInterval{5'000};
    static constexpr Duration attachAfterLaunch{1'500};
    // An application that cannot be observed yet (a browser not on the
    // accessibility bus so soon after its start) is tried again, less and
    // less often, while it runs.
    static constexpr Duration attachRetryFirst{2'000};
    static constexpr Duration attachRetryMost{60'000};
    // A browser still unobservable after waiting this long between tries is
    // told to be restarted.
    static constexpr Duration attachRestartHint{8'000};
    static constexpr Duration controllerSettle{700};
    static constexpr Duration controllerSweep{60'000};
    static constexpr double defaultGraceSeconds = 14'400;
    static constexpr const char* flushGraceKey = "VelmarFlushGraceSeconds";

    struct Ports {
        Platform& platform;
        CaptureDiag& diag;
        StatusMenu& menu;
        const CaptureDebug& debug;
        Notifications* notifications = nullptr;  // without them, restart requests are only logged
    };
    struct Hooks {
        TurnAssembler::EventHandler onTurn;  // every controller's turn
        TurnAssembler::ResumeLookup resumeLookup;
        std::function<void()> onEdge;  // trust or pause changed: the core hears at once
        std::string appName;           // in the restart notice
    };

    static std::shared_ptr<CaptureSupervisor> create(Ports ports, Hooks hooks);
    ~CaptureSupervisor();
    CaptureSupervisor(const CaptureSupervisor&) = delete;
    CaptureSupervisor& operator=(const CaptureSupervisor&) = delete;

    // Follows the workspace, attaches where trusted and polls the trust.
    void start();
    // For good: every controller stopped (their last turns flushed), nothing attaches again.
    void stop();
    void applyDirective(const CaptureDirective& directive);
    void trustObserved(bool nowTrusted);

    std::size_t controllerCount() const { return controllers_.size(); }
    bool hasController(int pid) const { return controllers_.count(pid) != 0; }
    bool paused() const { return paused_; }
    double flushGraceSeconds() const;

private:
    CaptureSupervisor(Ports ports, Hooks hooks);

    bool trusted() const;
    void appLaunched(const RunningApplication& app);
    void appTerminated(const RunningApplication& app);
    void attachIfAllowlisted(const RunningApplication& app);
    std::unique_ptr<AttachedController> controllerFor(const RunningApplication& app, const CaptureSpec& spec);
    void attachFailed(const RunningApplication& app, const CaptureSpec& spec);
    // Attaches after `delay` if the application still runs then.
    void attachLater(const RunningApplication& app, Duration delay);
    void tellToRestart(const BrowserProfile& browser);
    void attachRunning();
    void refreshCapturingLine();
    void stopControllers();

    Ports ports_;
    Hooks hooks_;
    // Pasted bodies seen by every controller's Claude readers.
    PasteboardCapture pastes_;
    std::map<int, std::unique_ptr<AttachedController>> controllers_;
    ScopedTimer trustTimer_;
    WorkspaceSubscription workspaceSubscription_;
    std::vector<TimerHandle> pendingAttaches_;
    std::map<int, Duration> attachRetryDelay_;  // by pid: the last wait before another try
    std::set<std::string> toldToRestart_;        // browser slugs, told once per run
    bool wasTrusted_ = false;
    bool paused_ = false;
    bool stopped_ = false;
};

}  // namespace velmar
