#pragma once
// The owner of everything in the running agent: configuration, status menu,
// core bridge, capture supervision, heartbeats, engagement monitor, updater
// and onboarding. It runs the launch and the orderly shutdown and turns the
// core's messages into visible state; capture supervision, heartbeats and
// onboarding are its parts (CaptureSupervisor, Heartbeat, Onboarding).
//
// Everything runs on the main loop. Timers and deferred work hold the delegate
// weakly, so it is always owned through a shared pointer.

#include "capture/CaptureDebug.hpp"
#include "capture/LastExchangeStore.hpp"
#include "capture/TurnEvent.hpp"
#include "runtime/AgentConfig.hpp"
#include "runtime/CaptureSupervisor.hpp"
#include "runtime/CoreContract.hpp"
#include "runtime/Heartbeat.hpp"
#include "runtime/Onboarding.hpp"
#include "ui/SessionKeychainStore.hpp"
#include "ui/StatusMenu.hpp"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

struct Platform;
class Alerts;
class CaptureDiag;
class DesktopLauncher;
class EngagementMonitor;
class HelperPanel;
class NodeCoreProcess;
class Notifications;
class SecretStore;
class StatusItem;
class UpdateFramework;
class Updater;
class Windowing;

class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
public:
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
    void sendHeartbeat(bool edge) { heartbeat_->beat(edge); }

    // Read by tests and the status line.
    const StatusMenu& menu() const { return menu_; }
    StatusMenu& menu() { return menu_; }
    NodeCoreProcess* core() const { return core_.get(); }
    const CaptureSupervisor& capture() const { return *capture_; }
    const Onboarding& onboarding() const { return *onboarding_; }
    bool terminationStarted() const { return terminationStarted_; }
    const std::string& deviceId() const { return deviceId_; }

private:
    AppDelegate(Ports ports, AgentConfig config, Options options);

    void send(const nlohmann::json& message);
    void wireMenuCallbacks();
    bool startCore();
    void rememberHandedOver(const TurnEvent& event);
    void finishTermination();
    void toggleLaunchAtLogin();
    void warn(const std::string& text);
    std::string shortTime() const;

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

    Ports ports_;
    const AgentConfig config_;
    const Options options_;
    StatusMenu menu_;
    SessionKeychainStore keychain_;
    std::string deviceId_;
    // The controllers' trace, on when VELMAR_CAPTURE_DEBUG is "1".
    const CaptureDebug captureDebug_;

    std::shared_ptr<NodeCoreProcess> core_;
    // Per conversation, the last exchange handed to the core's journal; saved
    // after the journal's sync (posted after it), read when a controller
    // primes a conversation after a restart.
    std::unique_ptr<LastExchangeStore> lastExchanges_;
    bool lastExchangesSavePosted_ = false;
    std::shared_ptr<CaptureSupervisor> capture_;
    std::shared_ptr<Heartbeat> heartbeat_;
    std::shared_ptr<Onboarding> onboarding_;
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<EngagementMonitor> engagement_;
    bool terminationStarted_ = false;
    bool exited_ = false;
    std::function<void()> pendingTerminationReply_;
};

}  // namespace velmar
