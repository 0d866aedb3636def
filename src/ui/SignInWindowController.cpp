#include "ui/SignInWindowController.hpp"

#include "platform/DesktopLauncher.hpp"
#include "platform/InstallLayout.hpp"
#include "platform/LogSink.hpp"
#include "platform/MainLoop.hpp"
#include "platform/ProcessEnvironment.hpp"
#include "text/Unicode.hpp"

#include <system_error>

namespace velmar {

std::string_view rawValue(OnboardingStep step) {
    return step == OnboardingStep::signIn ? "signin" : "permission";
}

std::string_view rawValue(OnboardingAction action) {
    switch (action) {
    case OnboardingAction::signIn: return "signIn";
    case OnboardingAction::grantAccess: return "grantAccess";
    case OnboardingAction::finish: return "finish";
    }
    return {};
}

std::optional<OnboardingAction> onboardingActionFrom(std::string_view raw) {
    for (auto a : {OnboardingAction::signIn, OnboardingAction::grantAccess, OnboardingAction::finish})
        if (rawValue(a) == raw) return a;
    return std::nullopt;
}

std::optional<std::filesystem::path> SignInWindowController::resolveContentDirectory(
    const ProcessEnvironment& environment, const InstallLayout& install) {
    if (auto dir = environment.get("VELMAR_SIGNIN_DIR"); dir && !dir->empty()) {
        std::error_code ec;
        if (std::filesystem::is_directory(*dir, ec)) return std::filesystem::path(*dir);
    }
    return install.resourceDirectory("signin");
}

std::optional<OnboardingAction> SignInWindowController::actionFromMessage(const std::string& handler,
                                                                         const nlohmann::json& body) {
    if (handler != scriptHandler || !body.is_object()) return std::nullopt;
    auto action = body.find("action");
    if (action == body.end() || !action->is_string()) return std::nullopt;
    return onboardingActionFrom(action->get_ref<const std::string&>());
}

namespace {
bool isFileURL(std::string_view url) {
    // Schemes are case-insensitive: "FILE:" is a file URL too.
    constexpr std::string_view scheme = "file:";
    if (url.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != scheme[i]) return false;
    }
    return true;
}
}  // namespace

SignInWindowController::NavigationDecision SignInWindowController::navigationPolicy(const NavigationRequest& request) {
    if (!request.url || request.url->empty()) return {false, false};
    bool file = isFileURL(*request.url);
    if (file && !request.linkActivated) return {true, false};
    // Links never replace the page; the web goes to the user's browser.
    return {false, !file};
}

SignInWindowController::SignInWindowController(Ports ports, std::filesystem::path contentDirectory)
    : ports_(ports) {
    WebViewWindowSpec spec;
    spec.title = "Fernhollow";
    spec.width = 1040;
    spec.height = 720;
    const double skyTop[4] = {0.6627450980392157, 0.7647058823529411, 0.9254901960784314, 1.0};
    std::copy(std::begin(skyTop), std::end(skyTop), spec.background);
    spec.scriptHandler = scriptHandler;
    window_ = ports_.windowing.createWebViewWindow(spec);
    window_->setListener(this);
    window_->loadFile(contentDirectory / pageFile, contentDirectory);
}

SignInWindowController::~SignInWindowController() {
    // The window may outlive us inside the toolkit for a moment; it must not
    // call back into a dead controller.
    if (window_) window_->setListener(nullptr);
}

void SignInWindowController::present() {
    if (!window_) return;
    if (window_->isVisible()) {
        window_->bringToFront();
        return;
    }
    ports_.windowing.setActivationPolicy(ActivationPolicy::regular);
    ports_.loop.post([this, weak = std::weak_ptr<int>(alive_)] {
        if (weak.expired()) return;
        ports_.windowing.activate();
        window_->bringToFront();
    });
}

void SignInWindowController::eval(const std::string& script) {
    if (!pageLoaded_) {
        pendingJS_.push_back(script);
        return;
    }
    evaluateNow(script);
}

void SignInWindowController::evaluateNow(const std::string& script) {
    LogSink* log = &ports_.log;
    window_->evaluateScript(script, [log, weak = std::weak_ptr<int>(alive_)](std::optional<std::string> error) {
        if (error && !weak.expired()) log->writeLine("[agent] onboarding js failed: " + *error);
    });
}

void SignInWindowController::setAXGranted(bool granted) {
    eval(std::string("velmarSetAXGranted(") + (granted ? "true" : "false") + ")");
}

void SignInWindowController::setStep(OnboardingStep step) {
    currentStep = step;
    eval("velmarSetStep('" + std::string(rawValue(step)) + "')");
}

void SignInWindowController::hide() {
    if (window_) window_->hide();
}

bool SignInWindowController::isVisible() const { return window_ && window_->isVisible(); }

void SignInWindowController::pageDidFinishLoading() {
    if (pageLoaded_) return;  // the page loads once; later loads flush nothing twice
    pageLoaded_ = true;
    auto queued = std::exchange(pendingJS_, {});
    for (const auto& script : queued) evaluateNow(script);
}

void SignInWindowController::didReceiveScriptMessage(const std::string& handler, const nlohmann::json& body) {
    auto action = actionFromMessage(handler, body);
    if (!action) return;
    if (*action == OnboardingAction::signIn && onSignInEmail) {
        auto email = body.find("email");
        auto password = body.find("password");
        if (email != body.end() && email->is_string() && password != body.end() && password->is_string()) {
            std::string address = text::trim(email->get_ref<const std::string&>());
            const auto& secret = password->get_ref<const std::string&>();
            if (!address.empty() && !secret.empty()) {
                onSignInEmail(address, secret);
                return;
            }
        }
    }
    if (onAction) onAction(*action);
}

bool SignInWindowController::decideNavigation(const NavigationRequest& request) {
    auto decision = navigationPolicy(request);
    if (decision.openInBrowser) ports_.launcher.openURL(*request.url);
    return decision.allow;
}

void SignInWindowController::windowWillClose() {
    ports_.windowing.setActivationPolicy(ActivationPolicy::accessory);
    if (onWindowClosed) onWindowClosed();
}

}  // namespace velmar
