#include "ui/SignInWindowController.hpp"

#include "platform/sim/SimDesktopLauncher.hpp"
#include "platform/sim/SimEnvironment.hpp"
#include "platform/sim/SimInstallLayout.hpp"
#include "platform/sim/SimLogSink.hpp"
#include "platform/sim/SimMainLoop.hpp"
#include "platform/sim/SimWindowing.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

using nlohmann::json;

namespace velmar {
namespace {

struct WindowRig {
    sim::SimWindowing windowing;
    sim::SimMainLoop loop;
    sim::SimLogSink log;
    sim::SimDesktopLauncher launcher;
    std::unique_ptr<SignInWindowController> controller = std::make_unique<SignInWindowController>(
        SignInWindowController::Ports{windowing, loop, log, launcher}, "/opt/velmar/share/velmar/signin");
    sim::SimWebViewWindow& window = *windowing.lastWindow;
    std::vector<OnboardingAction> actions;

    WindowRig() {
        controller->onAction = [this](OnboardingAction a) { actions.push_back(a); };
    }
};

TEST(SignInWindowController, LoadsThePageAndScriptsWaitForItInOrderAndRunOnce) {
    WindowRig rig;
    EXPECT_EQ(rig.window.loadedFile, "/opt/velmar/share/velmar/signin/signin.html");
    EXPECT_EQ(rig.window.readAccessDirectory, "/opt/velmar/share/velmar/signin") << "the page reads its folder only";
    rig.controller->setStep(OnboardingStep::permission);
    rig.controller->setAXGranted(true);
    EXPECT_TRUE(rig.window.evaluated.empty());

    rig.window.finishLoading();
    EXPECT_EQ(rig.window.evaluated, (std::vector<std::string>{"velmarSetStep('permission')", "velmarSetAXGranted(true)"}));

    rig.window.finishLoading();  // a reload flushes nothing twice
    rig.controller->setAXGranted(false);
    rig.controller->setStep(OnboardingStep::signIn);
    EXPECT_EQ(rig.window.evaluated, (std::vector<std::string>{"velmarSetStep('permission')", "velmarSetAXGranted(true)",
                                                              "velmarSetAXGranted(false)", "velmarSetStep('signin')"}));

    // A script that fails is logged, not retried.
    rig.window.scriptErrors["velmarSetStep('signin')"] = "ReferenceError: velmarSetStep is not defined";
    rig.controller->eval("velmarSetStep('signin')");
    EXPECT_EQ(rig.log.lines(),
              std::vector<std::string>{"[agent] onboarding js failed: ReferenceError: velmarSetStep is not defined"});
    EXPECT_EQ(rig.window.evaluated.size(), 5u);
}

TEST(SignInWindowController, OnlyWellFormedVelmarMessagesAreActionsOrCredentials) {
    struct Case {
        const char* description;
        std::string handler;
        json body;
        std::optional<OnboardingAction> expected;
    } cases[] = {
        {"sign in", "velmar", {{"action", "signIn"}}, OnboardingAction::signIn},
        {"grant access with extra members", "velmar", {{"action", "grantAccess"}, {"step", 2}},
         OnboardingAction::grantAccess},
        {"another letter case", "velmar", {{"action", "GrantAccess"}}, std::nullopt},
        {"numeric action", "velmar", {{"action", 1}}, std::nullopt},
        {"no action", "velmar", {{"step", "signin"}}, std::nullopt},
        {"a bare string body", "velmar", "signIn", std::nullopt},
        {"another handler", "other", {{"action", "signIn"}}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SignInWindowController::actionFromMessage(c.handler, c.body), c.expected) << c.description;

    // The e-mail form signs in with credentials when wired.
    WindowRig rig;
    std::vector<std::string> sent;
    rig.controller->onSignInEmail = [&](const std::string& e, const std::string& p) {
        sent.push_back(e + "|" + p);
    };
    rig.window.postMessage("velmar", {{"action", "signIn"}, {"email", " ana@example.com "}, {"password", "pw"}});
    rig.window.postMessage("velmar", {{"action", "signIn"}, {"email", "  "}, {"password", "pw"}});
    rig.window.postMessage("velmar", {{"action", "signIn"}, {"email", "ana@example.com"}, {"password", 7}});
    EXPECT_EQ(sent, std::vector<std::string>{"ana@example.com|pw"});
    EXPECT_EQ(rig.actions, (std::vector<OnboardingAction>{OnboardingAction::signIn, OnboardingAction::signIn}))
        << "incomplete forms fall back to the browser sign-in";
}

TEST(SignInWindowController, LinksNeverReplaceThePage) {
    struct Case {
        const char* description;
        NavigationRequest request;
        bool allowed;
        std::vector<std::string> opened;
    } cases[] = {
        {"initial load of the page", {"file:///opt/signin/signin.html", false}, true, {}},
        {"file URL in upper case", {"FILE:///opt/signin/signin.html", false}, true, {}},
        {"link to another local file", {"file:///etc/passwd", true}, false, {}},
        {"script navigation to the web", {"https://velmar.example/x", false}, false, {"https://velmar.example/x"}},
        {"no URL", {std::nullopt, false}, false, {}},
        {"empty URL", {"", true}, false, {}},
    };
    for (const auto& c : cases) {
        WindowRig rig;
        EXPECT_EQ(rig.window.navigate(c.request), c.allowed) << c.description;
        EXPECT_EQ(rig.launcher.openedURLs, c.opened) << c.description;
    }
}

TEST(SignInWindowController, PresentingAndClosingSwitchTheActivationPolicy) {
    WindowRig rig;
    rig.controller->present();
    EXPECT_EQ(rig.windowing.policies, std::vector<ActivationPolicy>{ActivationPolicy::regular});
    EXPECT_FALSE(rig.window.visible) << "brought forward on a later turn of the loop";
    rig.loop.runUntilIdle();
    EXPECT_TRUE(rig.window.visible);
    EXPECT_EQ(rig.windowing.activations, 1);

    rig.controller->present();
    EXPECT_EQ(rig.windowing.policies.size(), 1u) << "an already visible window keeps the policy";
    EXPECT_EQ(rig.window.frontRequests, 2);

    int closed = 0;
    rig.controller->onWindowClosed = [&] { ++closed; };
    rig.window.close();
    EXPECT_EQ(rig.windowing.policies.back(), ActivationPolicy::accessory);
    EXPECT_EQ(closed, 1);

    WindowRig gone;
    gone.controller->present();
    gone.controller.reset();
    gone.loop.runUntilIdle();
    EXPECT_EQ(gone.windowing.activations, 0) << "a present pending when the controller goes is dropped";
}

TEST(SignInWindowController, ContentDirectoryComesFromTheEnvironmentThenTheInstallation) {
    testing::TempDir folder;
    const std::filesystem::path dir = folder.path();
    testing::writeFile(dir / "file.txt", "x");
    struct Case {
        const char* description;
        std::optional<std::string> variable;
        std::optional<std::filesystem::path> installed;
        std::optional<std::filesystem::path> expected;
    } cases[] = {
        {"variable names an existing folder", dir.string(), "/usr/share/velmar/signin", dir},
        {"variable names a missing path", "/nonexistent/signin", "/usr/share/velmar/signin",
         "/usr/share/velmar/signin"},
        {"variable names a file", (dir / "file.txt").string(), std::nullopt, std::nullopt},
        {"variable empty", "", "/usr/share/velmar/signin", "/usr/share/velmar/signin"},
        {"nothing anywhere", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        sim::SimEnvironment env;
        sim::SimInstallLayout install;
        if (c.variable) env.set("VELMAR_SIGNIN_DIR", *c.variable);
        install.setInstallLocation("/usr");
        if (c.installed) install.addResourceDirectory("signin");
        EXPECT_EQ(SignInWindowController::resolveContentDirectory(env, install), c.expected) << c.description;
    }
}

}  // namespace
}  // namespace velmar
