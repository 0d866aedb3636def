#pragma once
// The owner of everything in the running agent: configuration, status menu,
// core bridge, one capture controller per captured application, engagement
// monitor, updater and sign-in window. It decides when capture runs (trusted
// for accessibility and not paused by the core), follows applications
// starting and quitting, keeps the core informed with heartbeats, turns the
// core's messages into visible state, drives sign-in and onboarding, and runs
// the orderly shutdown.
//
// Everything runs on the main loop. Timers and deferred work hold the delegate
// weakly, so it is always owned through a shared pointer.

#include "capture/AttachedController.hpp"
#include "capture/CaptureDebug.hpp"
#include "capture/LastExchangeStore.hpp"
#include "platform/MainLoop.hpp"
#include "platform/Workspace.hpp"
#include "runtime/AgentConfig.hpp"
#include "runtime/CaptureDirective.hpp"
#include "runtime/CoreContract.hpp"
#include "runtime/ProviderVersions.hpp"
#include "ui/SessionKeychainStore.hpp"
#include "ui/SignInWindowController.hpp"
#include "ui/StatusMenu.hpp"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmar {

struct Platform;
class Alerts;
class CaptureDiag;
class DesktopLauncher;
class EngagementMonitor;
class NodeCoreProcess;
class Notifications;
struct BrowserProfile;
class SecretStore;
class StatusItem;
class UpdateFramework;
class Updater;
class Windowing;
class AXHelperOverlay;
class HelperPanel;
class Notifications;
struct BrowserProfile;

class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
public:
    static constexpr Duration trustPollInterval{5'000};
    static constexpr Duration fastTrustPollInterval{1'000};
    static constexpr Duration heartbeatInterval{300'000};
    static constexpr Duration heartbeatTolerance{30'000};
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
    static constexpr int beatsPerStats = 6;

    static constexpr const char* flushGraceKey = "VelmarFlushGraceSeconds";
    static constexpr const char* onboardingCompletedKey = "onboardingCompleted";
    static constexpr const char* launchAtLoginDefaultedKey = "velmar.launchAtLogin.defaulted";
    static constexpr const char* urlScheme = "fernhollow";
    static constexpr const char* alertTitle = "Fernhollow";
    static constexpr const char* missingCoreText =
        "Node core bundle not found. The package is missing share/velmar/core.mjs; for development builds set "
        "VELMAR_CORE_JS (or start it with scripts/run.sh).";

    // The ports beyond the platform aggregate: the desktop's interface, and
    // the diagnostics the turns are counted in.
    struct Ports {
        Platform& platform;
        StatusItem& statusItem;
        Alerts& alerts;
        Windowing& windowing;
        DesktopLauncher& desktop;
        SecretStore& secrets;
        UpdateFramework& updates;
        CaptureDiag& diag;
        // The accessibility helper's panel; without one the helper is never armed.
        HelperPanel* helperPanel = nullptr;
        // The desktop's notifications; without them the agent says nothing
        // outside its own menu and windows.
        Notifications* notifications = nullptr;
    };
    struct Options {
        // Where the bridge keeps its pending-turns file; the default state
        // directory when absent.
        std::optional<std::filesystem::path> stateDirectory;
    };

    enum class TerminateReply { now, later };

    static std::shared_ptr<AppDelegate> create(Ports ports, AgentConfig config, Options options = {});
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Called when the process is to end (the loop quits): after an orderly
    // shutdown completed, or at once when there was nothing to wait for.
    std::function<void()> onExit;

    void applicationDidFinishLaunching();
    // `reply` is called once when a terminate-later answer is settled.
    TerminateReply applicationShouldTerminate(std::function<void()> reply);
    // Asks the application to end, as the menu's Quit does.
    void terminate();
    bool applicationShouldHandleReopen();
    void openURLs(const std::vector<std::string>& urls);
    void handleCoreMessage(const nlohmann::json& message);
    // Every controller's turn: counted in the diagnostics, then sent to the core.
    void handleTurn(const TurnEvent& event);

    // Read by tests and the status line.
    const StatusMenu& menu() const { return menu_; }
    StatusMenu& menu() { return menu_; }
    NodeCoreProcess* core() const { return core_.get(); }
    std::size_t controllerCount() const { return controllers_.size(); }
    bool hasController(int pid) const { return controllers_.count(pid) != 0; }
    bool capturePaused() const { return capturePaused_; }
    bool terminationStarted() const { return terminationStarted_; }
    std::optional<bool> lastAuthSignedIn() const { return lastAuthSignedIn_; }
    const std::optional<std::string>& lastAuthEmail() const { return lastAuthEmail_; }
    SignInWindowController* signInWindow() const { return signInWindow_.get(); }
    bool fastPollRunning() const { return axFastPollTimer_.active(); }
    // Absent until the accessibility settings are first opened.
    AXHelperOverlay* axHelper() const { return axHelper_.get(); }
    const std::string& deviceId() const { return deviceId_; }
    double flushGraceSeconds() const;

    // The dashboard address for a user: the base, "/people/" and the e-mail
    // with everything but letters, digits and ".-_" percent-encoded.
    static std::string dashboardURL(const std::string& base, const std::optional<std::string>& email);

    void sendHeartbeat(bool edge);

private:
    AppDelegate(Ports ports, AgentConfig config, Options options);

    void send(const nlohmann::json& message);
    void wireMenuCallbacks();
    bool startCore();
    void appLaunched(const RunningApplication& app);
    void appTerminated(const RunningApplication& app);
    void attachIfAllowlisted(const RunningApplication& app);
    void retryAttachLater(const RunningApplication& app);
    void tellToRestart(const BrowserProfile& browser);
    // Attaches after `delay` if the application still runs then.
    void attachLater(const RunningApplication& app, Duration delay);
    void attachRunningAllowlistedApps();
    void refreshCapturingLine();
    void pollTrust();
    void trustObserved(bool trusted);
    void applyDirective(const CaptureDirective& directive);
    void stopAllControllers();
    void finishTermination();

    void handle(const core_contract::Ready&);
    void handle(const core_contract::AuthState& state);
    void handle(const core_contract::SessionUpdated& message);
    void handle(const core_contract::SessionCleared&);
    void handle(const core_contract::OpenUrl& message);
    void handle(const core_contract::SigninResult& message);
    void handle(const core_contract::BeaconResult& message);
    void handle(const core_contract::EventResult& message);
    void handle(const core_contract::Log& message);
    void handle(const core_contract::CaptureDirectiveMessage& message);
    void handle(const core_contract::UpdateCheck&);
    void handle(const core_contract::StatusResult& message);

    // Sign-in and onboarding.
    void handleSignedInForOnboarding(bool isLaunchAuthState);
    bool presentSignInWindow();
    void sendWelcomeBeaconIfNeeded();
    void sendBeaconIfDue(std::string_view event);
    void onSignInAction(OnboardingAction action);
    void onSignInWindowClosed();
    void enterPermissionStep(bool pullFocus);
    void startFastTrustPoll();
    void stopFastTrustPoll();
    void fastPollTick();
    void finishOnboarding();
    void bringForward(bool fallbackToMenu);
    void enableLaunchAtLoginOnFirstSignIn();
    void toggleLaunchAtLogin();
    void openAccessibilitySettings();
    void disarmAXHelper();
    void warn(const std::string& text);
    bool onboardingDone() const;
    bool trusted() const;
    std::string shortTime() const;

    Ports ports_;
    const AgentConfig config_;
    const Options options_;
    StatusMenu menu_;
    SessionKeychainStore keychain_;
    ProviderVersions providerVersions_;
    std::string deviceId_;
    // The controllers' trace, on when VELMAR_CAPTURE_DEBUG is "1".
    const CaptureDebug captureDebug_;

    std::shared_ptr<NodeCoreProcess> core_;
    // Per conversation, the last exchange handed to the core's journal; saved
    // after the journal's sync (posted after it), read when a controller
    // primes a conversation after a restart.
    std::unique_ptr<LastExchangeStore> lastExchanges_;
    bool lastExchangesSavePosted_ = false;
    std::map<int, std::unique_ptr<AttachedController>> controllers_;
    ScopedTimer trustTimer_;
    ScopedTimer heartbeatTimer_;
    int routineBeatsSinceStats_ = 0;
    bool wasTrusted_ = false;
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<EngagementMonitor> engagement_;
    std::unique_ptr<SignInWindowController> signInWindow_;
    std::optional<bool> lastAuthSignedIn_;
    std::optional<std::string> lastAuthEmail_;
    bool launchAuthStateSeen_ = false;
    ScopedTimer axFastPollTimer_;
    std::shared_ptr<AXHelperOverlay> axHelper_;
    bool terminationStarted_ = false;
    bool capturePaused_ = false;
    bool exited_ = false;
    std::function<void()> pendingTerminationReply_;
    WorkspaceSubscription workspaceSubscription_;
    std::vector<TimerHandle> pendingAttaches_;
    std::map<int, Duration> attachRetryDelay_;  // by pid: the last wait before another try
    std::set<std::string> toldToRestart_;        // browser slugs, told once per run
};

}  // namespace velmar
