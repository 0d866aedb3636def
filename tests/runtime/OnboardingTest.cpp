// Onboarding driven through the core's messages and the sign-in page's actions.
#include "runtime/AppDelegate.hpp"

#include "runtime/AppDelegateSupport.hpp"
#include "ui/AXHelperOverlay.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using nlohmann::json;

namespace velmar {
namespace {

json signedIn(std::optional<std::string> email = "ann@example.test") {
    json m = {{"type", "auth_state"}, {"signed_in", true}};
    if (email) m["email"] = *email;
    return m;
}
const json signedOut = {{"type", "auth_state"}, {"signed_in", false}};

struct Onboarder : testing::AgentHarness {
    sim::SimWebViewWindow* window() { return windowing.lastWindow; }
    void page(const std::string& action) {
        ASSERT_TRUE(window());
        window()->postMessage("velmar", {{"action", action}});
        sp.loop.runUntilIdle();
    }
    bool evaluated(const std::string& script) {
        if (!window()) return false;
        window()->finishLoading();
        sp.loop.runUntilIdle();
        const auto& e = window()->evaluated;
        return std::find(e.begin(), e.end(), script) != e.end();
    }
    bool done() { return sp.settings.boolean(Onboarding::completedKey).value_or(false); }
    // Signed in without the permission: the window shows the permission step.
    void toPermissionStep() {
        sp.accessibility.setTrusted(false);
        launch();
        fromCore(signedOut);
        fromCore(signedIn());
    }
    long beacons(const std::string& event) {
        auto b = sentOfType("beacon");
        return std::count_if(b.begin(), b.end(), [&](auto& m) { return m["event"] == event; });
    }
};

class OnboardingTest : public ::testing::Test, protected Onboarder {};

TEST_F(OnboardingTest, TheDecisionOnEachAuthState) {
    enum class Window { none, signInStep, permissionStep };
    struct Case {
        const char* description;
        bool onboarded, trusted;
        Window before;  // the window's state when the signed-in auth_state arrives
        bool firstSinceLaunch;
        // expected
        bool signout, permissionStep, doneAfter;
    } cases[] = {
        {"launch, half-finished onboarding: sign-in starts over", false, false, Window::none, true, true, false, false},
        {"launch, permission already granted: onboarding completes", false, true, Window::none, true, false, false, true},
        {"launch, onboarded without permission: nothing", true, false, Window::none, true, false, false, true},
        {"later, not onboarded, no permission: permission step", false, false, Window::none, false, false, true, false},
        {"signed in from the window, trusted: done and hidden", false, true, Window::signInStep, false, false, false, true},
        {"signed in from the window, untrusted: permission step", false, false, Window::signInStep, false, false, true,
         false},
        {"already on the permission step: nothing", false, false, Window::permissionStep, false, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        testing::AgentHarness h;
        h.sp.settings.setBoolean(Onboarding::completedKey, c.onboarded);
        h.sp.accessibility.setTrusted(c.trusted);
        h.launch();
        if (!c.firstSinceLaunch || c.before != Window::none) {
            h.fromCore(signedOut);  // the window comes up on its sign-in step
            if (c.before == Window::none) h.windowing.lastWindow->close();
            if (c.before == Window::permissionStep) h.fromCore(signedIn());
        }
        const auto signoutsBefore = h.countSent("signout");
        h.fromCore(signedIn());

        EXPECT_EQ(h.countSent("signout") - signoutsBefore, c.signout ? 1u : 0u);
        auto* w = h.agent->onboarding().signInWindow();
        EXPECT_EQ(w && w->currentStep == OnboardingStep::permission, c.permissionStep);
        EXPECT_EQ(h.sp.settings.boolean(Onboarding::completedKey).value_or(false), c.doneAfter);
        EXPECT_EQ(w && w->isVisible(), c.permissionStep);
        EXPECT_EQ(h.agent->onboarding().fastPollRunning(), c.permissionStep);
        if (c.before == Window::signInStep && c.trusted) {
            EXPECT_EQ(h.windowing.policies.back(), ActivationPolicy::accessory);
        }
    }
}

TEST_F(OnboardingTest, ThePermissionStepPollsEverySecondUntilGrantedThenCaptureStarts) {
    run(testing::claudeApp());
    toPermissionStep();
    EXPECT_TRUE(evaluated("velmarSetStep('permission')"));
    EXPECT_TRUE(evaluated("velmarSetAXGranted(false)"));

    page("finish");
    EXPECT_FALSE(done()) << "finishing needs the permission";
    page("grantAccess");
    EXPECT_EQ(desktop.accessibilitySettingsOpened, 1);

    sp.loop.advance(3s);
    EXPECT_EQ(agent->capture().controllerCount(), 0u);
    sp.accessibility.setTrusted(true);
    sp.loop.advance(1s);
    EXPECT_FALSE(agent->onboarding().fastPollRunning());
    EXPECT_EQ(agent->capture().controllerCount(), 1u);
    EXPECT_TRUE(evaluated("velmarSetAXGranted(true)"));

    // The user finishes: dashboard with the e-mail percent-encoded.
    page("finish");
    EXPECT_TRUE(done());
    EXPECT_FALSE(window()->isVisible());
    ASSERT_EQ(desktop.openedURLs.size(), 1u);
    EXPECT_EQ(desktop.openedURLs.back(), "https://app.example.test/people/ann%40example.test");
    EXPECT_EQ(beacons("agent_dashboard_open_click"), 1);
    // Only letters, digits and dot, dash and underscore are kept as they are.
    EXPECT_EQ(Onboarding::dashboardURL("https://d.test", std::nullopt), "https://d.test");
    EXPECT_EQ(Onboarding::dashboardURL("https://d.test", "A-z_0.9+a b/~é"),
              "https://d.test/people/A-z_0.9%2Ba%20b%2F%7E%C3%A9");
}

TEST_F(OnboardingTest, GrantAccessArmsTheHelperAndEveryWayOutOfThePermissionStepDisarmsIt) {
    struct Case {
        const char* description;
        std::function<void(Onboarder&)> leave;
    } cases[] = {
        {"the sign-in window is closed", [](Onboarder& o) { o.window()->close(); }},
        {"the user signs out", [](Onboarder& o) { o.fromCore(signedOut); }},
        {"the fast poll sees the grant (the helper is held: only the delegate may put it away)",
         [](Onboarder& o) {
             o.agent->onboarding().helper()->holdForDev = true;
             o.sp.accessibility.setTrusted(true);
             o.sp.loop.advance(1s);
         }},
        {"onboarding is finished, with a helper armed again from the menu",
         [](Onboarder& o) {
             o.sp.accessibility.setTrusted(true);
             o.agent->menu().openAccessibilitySettings();
             o.page("finish");
         }},
        {"the agent quits", [](Onboarder& o) { o.agent->terminate(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        Onboarder o;
        o.sp.workspace.launch({55, "com.apple.systempreferences", "System Settings", {}});
        o.sp.workspace.activate(55);
        o.helperPanel.window = Rect{300, 200, 700, 500};
        o.toPermissionStep();
        EXPECT_FALSE(o.agent->onboarding().helper()) << "created only when first needed";
        o.page("grantAccess");
        ASSERT_TRUE(o.agent->onboarding().helper());
        EXPECT_TRUE(o.agent->onboarding().helper()->armed());
        EXPECT_TRUE(o.helperPanel.shown) << "beside the settings window at once";

        c.leave(o);
        o.sp.loop.runUntilIdle();
        EXPECT_FALSE(o.agent->onboarding().helper()->armed());
        EXPECT_FALSE(o.helperPanel.shown);
        EXPECT_FALSE(o.agent->onboarding().fastPollRunning());
    }
}

// Sign-in clicks send their beacon every time, a once-per-install one repeats
// only until confirmed; the menu's actions reach the core.
TEST_F(OnboardingTest, BeaconsAndPageAndMenuActionsReachTheCore) {
    launch();
    fromCore({{"type", "ready"}});
    fromCore({{"type", "beacon_result"}, {"ok", false}, {"event", "agent_first_launch"}});
    fromCore({{"type", "ready"}});
    EXPECT_EQ(beacons("agent_first_launch"), 2) << "unconfirmed: sent again";
    fromCore({{"type", "beacon_result"}, {"ok", true}, {"event", "agent_first_launch"}});
    fromCore({{"type", "ready"}});
    EXPECT_EQ(beacons("agent_first_launch"), 2) << "confirmed: never again on this installation";

    fromCore(signedOut);
    page("signIn");
    page("signIn");
    EXPECT_EQ(beacons("agent_sign_in_click"), 2);
    EXPECT_EQ(countSent("signin_desktop"), 2u);
    agent->menu().signIn();
    agent->menu().signOut();
    agent->menu().openAccessibilitySettings();
    sp.loop.runUntilIdle();
    EXPECT_EQ(countSent("signin_desktop"), 3u);
    EXPECT_EQ(countSent("signout"), 1u);
    EXPECT_EQ(desktop.accessibilitySettingsOpened, 1);

    // Launch at login is switched on once; the user's choice is kept.
    fromCore(signedIn());
    EXPECT_EQ(sp.login.status(), LoginService::Status::enabled);

    agent->menu().toggleLaunchAtLogin();
    EXPECT_NE(sp.login.status(), LoginService::Status::enabled);
    fromCore(signedIn());
    EXPECT_NE(sp.login.status(), LoginService::Status::enabled) << "a later sign-in respects the user";

    sp.login.failWith(PlatformError{"no autostart folder"});
    agent->menu().toggleLaunchAtLogin();
    ASSERT_EQ(alerts.shownAlerts.size(), 1u);
    EXPECT_EQ(alerts.shownAlerts[0].informativeText, "Couldn't enable launch at login: no autostart folder");
}

TEST_F(OnboardingTest, LinksAndReopenBringTheRightThingForward) {
    launch();
    agent->openURLs({"https://example.test"});
    EXPECT_EQ(item.openRequests, 0) << "not our scheme";
    agent->openURLs({"FernHollow://open"});
    EXPECT_EQ(item.openRequests, 1) << "state unknown: the menu, whatever the scheme's case";
    EXPECT_FALSE(agent->applicationShouldHandleReopen());
    EXPECT_FALSE(agent->onboarding().signInWindow()) << "reopen with unknown state does nothing";

    fromCore(signedOut);
    ASSERT_TRUE(window());
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(sentOfType("beacon").back()["event"], "agent_welcome_shown");
    window()->close();
    agent->openURLs({"fernhollow://x"});
    sp.loop.runUntilIdle();
    EXPECT_TRUE(window()->isVisible()) << "signed out: the sign-in window";

    sp.accessibility.setTrusted(false);
    fromCore(signedIn());
    window()->close();
    EXPECT_FALSE(agent->applicationShouldHandleReopen());
    sp.loop.runUntilIdle();
    EXPECT_EQ(agent->onboarding().signInWindow()->currentStep, OnboardingStep::permission);
    EXPECT_TRUE(window()->isVisible());

    sp.settings.setBoolean(Onboarding::completedKey, true);
    const auto opens = item.openRequests;
    agent->applicationShouldHandleReopen();
    EXPECT_EQ(item.openRequests, opens) << "reopen never opens the menu";
    agent->openURLs({"fernhollow://x"});
    EXPECT_EQ(item.openRequests, opens + 1);

    fromCore(signedIn(std::nullopt));
    EXPECT_EQ(agent->menu().signedInEmail, "(unknown)");
    fromCore(signedOut);
    EXPECT_EQ(agent->menu().signedInEmail, std::nullopt);

    testing::AgentHarness bare;  // without the sign-in page's resources
    bare.sp.install = sim::SimInstallLayout();
    bare.sp.install.setResource("core", "mjs", "// core");
    bare.launch();
    bare.fromCore(signedOut);
    EXPECT_FALSE(bare.agent->onboarding().signInWindow());
    EXPECT_EQ(bare.countSent("beacon"), 0u) << "no welcome without a window";
}

}  // namespace
}  // namespace velmar
