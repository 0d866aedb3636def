#include "runtime/Onboarding.hpp"

#include "platform/Accessibility.hpp"
#include "platform/DesktopLauncher.hpp"
#include "platform/InstallLayout.hpp"
#include "platform/LogSink.hpp"
#include "platform/LoginService.hpp"
#include "platform/Platform.hpp"
#include "platform/Settings.hpp"
#include "platform/StatusItem.hpp"
#include "runtime/Beacon.hpp"
#include "runtime/LoginItem.hpp"
#include "ui/AXHelperOverlay.hpp"

namespace velmar {

namespace cc = core_contract;

std::shared_ptr<Onboarding> Onboarding::create(Ports ports, Hooks hooks, std::string dashboardBase,
                                               std::string deviceId) {
    return std::shared_ptr<Onboarding>(
        new Onboarding(ports, std::move(hooks), std::move(dashboardBase), std::move(deviceId)));
}

Onboarding::Onboarding(Ports ports, Hooks hooks, std::string dashboardBase, std::string deviceId)
    : ports_(ports), hooks_(std::move(hooks)), dashboardBase_(std::move(dashboardBase)), deviceId_(std::move(deviceId)) {}

bool Onboarding::trusted() const { return ports_.platform.accessibility.isProcessTrusted(); }

bool Onboarding::done() const { return ports_.platform.settings.boolean(completedKey).value_or(false); }

void Onboarding::authState(const cc::AuthState& state) {
    const bool firstSinceLaunch = !launchAuthStateSeen_;
    launchAuthStateSeen_ = true;
    lastSignedIn_ = state.signedIn;
    lastEmail_ = state.signedIn ? state.email : std::nullopt;
    if (state.signedIn) {
        enableLaunchAtLoginOnFirstSignIn();
        signedIn(firstSinceLaunch);
        return;
    }
    stop();
    if (signInWindow_) signInWindow_->setStep(OnboardingStep::signIn);
    presentSignInWindow();
    sendWelcomeBeaconIfNeeded();
}

void Onboarding::signedIn(bool isLaunchAuthState) {
    const bool isDone = done();
    const bool isTrusted = trusted();
    const bool visible = signInWindow_ && signInWindow_->isVisible();
    if (isLaunchAuthState && !visible && !isDone && !isTrusted) {
        // A half-finished onboarding starts over from sign-in.
        hooks_.send(cc::signout());
        return;
    }
    if (visible) {
        if (signInWindow_->currentStep != OnboardingStep::signIn) return;
        if (isTrusted) {
            ports_.platform.settings.setBoolean(completedKey, true);
            signInWindow_->hide();
            ports_.windowing.setActivationPolicy(ActivationPolicy::accessory);
        } else {
            enterPermissionStep();
        }
        return;
    }
    if (!isDone && !isTrusted)
        enterPermissionStep();
    else if (!isDone)
        ports_.platform.settings.setBoolean(completedKey, true);
}

bool Onboarding::presentSignInWindow() {
    if (!signInWindow_) {
        auto& p = ports_.platform;
        auto directory = SignInWindowController::resolveContentDirectory(p.environment, p.install);
        if (!directory) {
            p.log.writeLine("[agent] signin resources not found — set VELMAR_SIGNIN_DIR (or start it with scripts/run.sh)");
            return false;
        }
        signInWindow_ = std::make_unique<SignInWindowController>(
            SignInWindowController::Ports{ports_.windowing, p.loop, p.log, ports_.desktop}, *directory);
        signInWindow_->onAction = [weak = weak_from_this()](OnboardingAction action) {
            if (auto self = weak.lock()) self->onAction(action);
        };
        signInWindow_->onWindowClosed = weakly(shared_from_this(), [](Onboarding& o) { o.stop(); });
        signInWindow_->onSignInEmail = [weak = weak_from_this()](const std::string& email, const std::string& pw) {
            if (auto self = weak.lock()) self->hooks_.send(cc::signinPassword(email, pw));
        };
    }
    signInWindow_->present();
    return true;
}

void Onboarding::sendBeaconIfDue(std::string_view event) {
    if (!hooks_.coreRunning() || !Beacon::shouldSend(event, ports_.platform.settings)) return;
    hooks_.send(Beacon::message(event, deviceId_));
}

void Onboarding::sendWelcomeBeaconIfNeeded() {
    if (signInWindow_) sendBeaconIfDue(Beacon::welcomeShown);
}

void Onboarding::onAction(OnboardingAction action) {
    switch (action) {
        case OnboardingAction::signIn:
            sendBeaconIfDue(Beacon::signInClick);
            hooks_.send(cc::signinDesktop());
            break;
        case OnboardingAction::grantAccess:
            openAccessibilitySettings();
            break;
        case OnboardingAction::finish:
            if (!trusted()) return;
            sendBeaconIfDue(Beacon::dashboardOpenClick);
            finish();
            break;
    }
}

void Onboarding::stop() {
    fastPollTimer_.cancel();
    disarmHelper();
}

void Onboarding::openAccessibilitySettings() {
    ports_.desktop.openAccessibilitySettings();
    if (!ports_.helperPanel) return;
    if (!helper_) {
        auto& p = ports_.platform;
        helper_ = AXHelperOverlay::create({p.loop, p.accessibility, p.workspace, *ports_.helperPanel});
    }
    helper_->arm();
}

void Onboarding::disarmHelper() {
    if (helper_) helper_->disarm();
}

void Onboarding::enterPermissionStep() {
    presentSignInWindow();
    if (signInWindow_) {
        signInWindow_->setStep(OnboardingStep::permission);
        signInWindow_->setAXGranted(trusted());
        ports_.windowing.activate();
        signInWindow_->window().bringToFront();
    }
    startFastTrustPoll();
}

void Onboarding::startFastTrustPoll() {
    if (fastPollTimer_.active()) return;
    fastPollTimer_ = ports_.platform.loop.repeating(fastTrustPollInterval, Duration{0},
                                                    weakly(shared_from_this(), [](Onboarding& o) { o.fastPollTick(); }));
}

void Onboarding::fastPollTick() {
    const bool isTrusted = trusted();
    if (signInWindow_) signInWindow_->setAXGranted(isTrusted);
    if (!isTrusted) return;
    stop();
    hooks_.trustObserved(true);
    if (signInWindow_ && signInWindow_->isVisible() && signInWindow_->currentStep == OnboardingStep::permission) {
        ports_.windowing.activate();
        signInWindow_->window().bringToFront();
    }
}

std::string Onboarding::dashboardURL(const std::string& base, const std::optional<std::string>& email) {
    if (!email) return base;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : *email) {
        // ASCII alone: the C library's letter test follows the locale, and
        // a Latin-1 one would pass bytes of a UTF-8 address through raw.
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (plain || c == '.' || c == '-' || c == '_') {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded.push_back('%');
            encoded.push_back(hex[c >> 4]);
            encoded.push_back(hex[c & 0x0f]);
        }
    }
    return base + "/people/" + encoded;
}

void Onboarding::finish() {
    ports_.platform.settings.setBoolean(completedKey, true);
    stop();
    if (signInWindow_) {
        signInWindow_->hide();
        ports_.windowing.setActivationPolicy(ActivationPolicy::accessory);
    }
    ports_.desktop.openURL(dashboardURL(dashboardBase_, lastEmail_));
}

void Onboarding::bringForward(bool fallbackToMenu) {
    if (!lastSignedIn_) {
        if (fallbackToMenu) ports_.statusItem.openMenu();
        return;
    }
    if (!*lastSignedIn_) {
        presentSignInWindow();
        sendWelcomeBeaconIfNeeded();
        return;
    }
    if (!done() && !trusted()) {
        enterPermissionStep();
        return;
    }
    if (fallbackToMenu) ports_.statusItem.openMenu();
}

void Onboarding::enableLaunchAtLoginOnFirstSignIn() {
    auto& p = ports_.platform;
    if (!p.install.appId() || p.settings.boolean(launchAtLoginDefaultedKey).value_or(false)) return;
    p.settings.setBoolean(launchAtLoginDefaultedKey, true);
    if (p.login.status() != LoginService::Status::enabled) LoginItem::setEnabled(p.login, true);
}

}  // namespace velmar
