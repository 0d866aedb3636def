#pragma once
// The onboarding window: a native frame around a local web page (sign-in,
// then the accessibility step). The page talks to the agent through "velmar"
// script messages carrying an "action"; the agent answers by calling the
// page's `velmarSetStep` and `velmarSetAXGranted`. What each action means is
// the application delegate's business.

#include "platform/Windowing.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class InstallLayout;
class LogSink;
class DesktopLauncher;
class MainLoop;
class ProcessEnvironment;

enum class OnboardingStep { signIn, permission };
enum class OnboardingAction { signIn, grantAccess, finish };

std::string_view rawValue(OnboardingStep step);
std::string_view rawValue(OnboardingAction action);
// Exact raw values only ("signIn", "grantAccess", "finish").
std::optional<OnboardingAction> onboardingActionFrom(std::string_view raw);

class SignInWindowController final : public WebViewWindowListener {
public:
    struct Ports {
        Windowing& windowing;
        MainLoop& loop;
        LogSink& log;
        DesktopLauncher& launcher;
    };

    static constexpr const char* pageFile = "signin.html";
    static constexpr const char* scriptHandler = "velmar";

    // VELMAR_SIGNIN_DIR when it names an existing folder, else the installed
    // "signin" resources, else absent.
    static std::optional<std::filesystem::path> resolveContentDirectory(const ProcessEnvironment& environment,
                                                                        const InstallLayout& install);
    // The action a script message asks for; absent for anything malformed.
    static std::optional<OnboardingAction> actionFromMessage(const std::string& handler, const nlohmann::json& body);
    // Whether the page may navigate there; a link to the web is handed to the
    // browser instead (`openInBrowser`).
    struct NavigationDecision {
        bool allow = false;
        bool openInBrowser = false;
        bool operator==(const NavigationDecision&) const = default;
    };
    static NavigationDecision navigationPolicy(const NavigationRequest& request);

    // Builds the window and starts loading the page.
    SignInWindowController(Ports ports, std::filesystem::path contentDirectory);
    ~SignInWindowController() override;
    SignInWindowController(const SignInWindowController&) = delete;
    SignInWindowController& operator=(const SignInWindowController&) = delete;

    std::function<void(OnboardingAction)> onAction;
    std::function<void()> onWindowClosed;
    // The page's e-mail form: a "signIn" message that also carries a non-blank
    // "email" and a non-empty "password" goes here instead of `onAction` when
    // set.
    std::function<void(const std::string& email, const std::string& password)> onSignInEmail;
    // The step the page was last told to show; kept for the delegate.
    OnboardingStep currentStep = OnboardingStep::signIn;

    void present();
    // Runs a script in the page, or queues it until the page has loaded.
    void eval(const std::string& script);
    void setAXGranted(bool granted);
    // Sets `currentStep` and tells the page.
    void setStep(OnboardingStep step);
    void hide();
    bool isVisible() const;
    bool pageLoaded() const { return pageLoaded_; }
    WebViewWindow& window() { return *window_; }

    // WebViewWindowListener
    void pageDidFinishLoading() override;
    void didReceiveScriptMessage(const std::string& handler, const nlohmann::json& body) override;
    bool decideNavigation(const NavigationRequest& request) override;
    void windowWillClose() override;

private:
    void evaluateNow(const std::string& script);

    Ports ports_;
    std::unique_ptr<WebViewWindow> window_;
    bool pageLoaded_ = false;
    std::vector<std::string> pendingJS_;
    // Deferred work checks this before touching the controller.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace velmar
