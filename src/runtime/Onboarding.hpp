#pragma once
// Sign-in and onboarding: the sign-in window and its steps (sign in, then
// grant accessibility), the fast trust poll while the permission step shows,
// the accessibility settings with their helper overlay, the onboarding
// beacons, launch at login on the first sign-in, and bringing the agent
// forward when it is started again or opened by its link.

#include "platform/MainLoop.hpp"
#include "runtime/CoreContract.hpp"
#include "ui/SignInWindowController.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

struct Platform;
class AXHelperOverlay;
class DesktopLauncher;
class HelperPanel;
class StatusItem;
class Windowing;

class Onboarding : public std::enable_shared_from_this<Onboarding> {
public:
    static constexpr Duration fastTrustPollInterval{1'000};
    static constexpr const char* completedKey = "onboardingCompleted";
    static constexpr const char* launchAtLoginDefaultedKey = "velmar.launchAtLogin.defaulted";

    struct Ports {
        Platform& platform;
        Windowing& windowing;
        DesktopLauncher& desktop;
        StatusItem& statusItem;
        HelperPanel* helperPanel = nullptr;  // without one the helper is never armed
    };
    struct Hooks {
        std::function<void(const nlohmann::json&)> send;  // to the core, when one runs
        std::function<bool()> coreRunning;
        std::function<void(bool)> trustObserved;  // the fast poll saw the trust granted
    };

    static std::shared_ptr<Onboarding> create(Ports ports, Hooks hooks, std::string dashboardBase,
                                              std::string deviceId);
    Onboarding(const Onboarding&) = delete;
    Onboarding& operator=(const Onboarding&) = delete;

    // Every "auth_state" from the core.
    void authState(const core_contract::AuthState& state);
    // Started again, or opened by the agent's link (`fallbackToMenu`).
    void bringForward(bool fallbackToMenu);
    void openAccessibilitySettings();
    void sendBeaconIfDue(std::string_view event);
    // At the end: no poll, no overlay.
    void stop();
    void disarmHelper();

    std::optional<bool> lastSignedIn() const { return lastSignedIn_; }
    const std::optional<std::string>& lastEmail() const { return lastEmail_; }
    SignInWindowController* signInWindow() const { return signInWindow_.get(); }
    bool fastPollRunning() const { return fastPollTimer_.active(); }
    AXHelperOverlay* helper() const { return helper_.get(); }

    // The dashboard address for a user: the base, "/people/" and the e-mail
    // with everything but letters, digits and ".-_" percent-encoded.
    static std::string dashboardURL(const std::string& base, const std::optional<std::string>& email);

private:
    Onboarding(Ports ports, Hooks hooks, std::string dashboardBase, std::string deviceId);

    void signedIn(bool isLaunchAuthState);
    bool presentSignInWindow();
    void sendWelcomeBeaconIfNeeded();
    void onAction(OnboardingAction action);
    void enterPermissionStep();
    void startFastTrustPoll();
    void fastPollTick();
    void finish();
    void enableLaunchAtLoginOnFirstSignIn();
    bool done() const;
    bool trusted() const;

    Ports ports_;
    Hooks hooks_;
    const std::string dashboardBase_;
    const std::string deviceId_;
    std::unique_ptr<SignInWindowController> signInWindow_;
    std::optional<bool> lastSignedIn_;
    std::optional<std::string> lastEmail_;
    bool launchAuthStateSeen_ = false;
    ScopedTimer fastPollTimer_;
    std::shared_ptr<AXHelperOverlay> helper_;
};

}  // namespace velmar
