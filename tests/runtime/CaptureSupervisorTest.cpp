#include "runtime/CaptureSupervisor.hpp"

#include "runtime/AppDelegateSupport.hpp"
#include "capture/BrowserCaptureController.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace velmar {
namespace {

using namespace velmar::testing;

class CaptureSupervisorTest : public ::testing::Test, protected AgentHarness {};

TEST_F(CaptureSupervisorTest, ApplicationsAreAttachedAfterLaunchAndReleasedWhenTheyQuit) {
    launch();
    run(claudeApp());
    sp.loop.advance(1400ms);
    EXPECT_FALSE(agent->capture().hasController(testing::claudePid)) << "attach waits 1.5 s after launch";
    sp.loop.advance(100ms);
    EXPECT_TRUE(agent->capture().hasController(testing::claudePid));
    EXPECT_EQ(agent->menu().capturingApps, std::vector<std::string>{"Claude"});

    sp.workspace.terminate(testing::claudePid);
    sp.loop.runUntilIdle();
    EXPECT_EQ(agent->capture().controllerCount(), 0u);
    EXPECT_TRUE(agent->menu().capturingApps.empty());

    // An application that quits within the delay leaves nothing behind.
    run(chromeApp());
    sp.loop.advance(500ms);
    sp.workspace.terminate(testing::chromePid);
    sp.loop.advance(2s);
    EXPECT_EQ(agent->capture().controllerCount(), 0u);
}

// Reported once, tried again less and less often until it can be; tries end with the application.
TEST_F(CaptureSupervisorTest, AnApplicationThatCannotBeObservedYetIsTriedAgainUntilItCanBe) {
    run(claudeApp());
    sp.accessibility.failObservers(testing::claudePid);
    launch();
    EXPECT_EQ(agent->capture().controllerCount(), 0u);
    const char* degraded = "[agent] could not observe com.anthropic.claudefordesktop over the accessibility bus";
    EXPECT_EQ(sp.log.countContaining(degraded), 1u);
    EXPECT_EQ(agent->menu().lastEventLine, "⚠︎ Accessibility attach failed for Claude");

    sp.loop.advance(CaptureSupervisor::attachRetryFirst + 2 * CaptureSupervisor::attachRetryFirst + 4 * CaptureSupervisor::attachRetryFirst);
    EXPECT_EQ(agent->capture().controllerCount(), 0u);
    EXPECT_EQ(sp.log.countContaining(degraded), 1u) << "said once, not per try";

    sp.accessibility.failObservers(testing::claudePid, false);
    sp.loop.advance(CaptureSupervisor::attachRetryMost);
    EXPECT_TRUE(agent->capture().hasController(testing::claudePid));
    EXPECT_EQ(sp.log.countContaining("attached to com.anthropic.claudefordesktop on a later try"), 1u);

    // A browser that stays off the bus is told once to restart; once it
    // ends it is no longer tried.
    run(chromeApp());
    sp.accessibility.failObservers(testing::chromePid);
    sp.loop.advance(CaptureSupervisor::attachAfterLaunch + CaptureSupervisor::attachRetryFirst + 10ms);
    EXPECT_TRUE(notifications.shown.empty()) << "too soon";
    sp.loop.advance(CaptureSupervisor::attachRetryMost * 3);
    EXPECT_EQ(notifications.shown.size(), 1u);
    sp.workspace.terminate(testing::chromePid);
    sp.accessibility.failObservers(testing::chromePid, false);
    sp.loop.advance(2 * CaptureSupervisor::attachRetryMost);
    EXPECT_FALSE(agent->capture().hasController(testing::chromePid));
}

// A browser started before the accessibility switch shows no pages (or, above, is not on the bus).
TEST_F(CaptureSupervisorTest, ABrowserShowingNoPagesIsToldOnceToRestart) {
    const auto browser = [&](int pid, bool withPage) {
        auto app = sim::SimElement::make("AXApplication");
        auto window = app->append("AXWindow");
        window->setString("AXTitle", "New Tab - Google Chrome");
        window->append("AXToolbar");
        if (withPage) window->append("AXWebArea")->set("AXURL", AXURLValue{"https://example.org/"});
        app->set("AXWindows", std::vector<AXElementRef>{window});
        sp.accessibility.addApplication(pid, app);
        sp.workspace.launch({pid, "com.google.Chrome", "Google Chrome", {}});
    };
    const Duration checked = CaptureSupervisor::attachAfterLaunch + BrowserCaptureController::pagesCheckDelay + 1s;
    launch();
    browser(testing::chromePid, true);
    sp.loop.advance(checked);
    ASSERT_TRUE(agent->capture().hasController(testing::chromePid));
    EXPECT_TRUE(notifications.shown.empty()) << "pages are shown";

    browser(testing::chromePid + 1, false);
    browser(testing::chromePid + 2, false);  // a second process of the same browser
    sp.loop.advance(checked);
    ASSERT_EQ(notifications.shown.size(), 1u);
    EXPECT_EQ(notifications.shown[0].summary, "Restart Google Chrome to capture its AI chats");
}

TEST_F(CaptureSupervisorTest, FlushGraceComesFromSettingsWithNonPositiveMeaningFourHours) {
    launch();
    EXPECT_EQ(agent->capture().flushGraceSeconds(), 14400) << "missing";
    for (const auto& [stored, expected] : std::vector<std::pair<double, double>>{{0, 14400}, {-1, 14400}, {90, 90}}) {
        sp.settings.setNumber(CaptureSupervisor::flushGraceKey, stored);
        EXPECT_EQ(agent->capture().flushGraceSeconds(), expected) << stored;
    }
}

// Each change of capture state sends an edge beat: pause and resume, the permission gained or lost.
TEST_F(CaptureSupervisorTest, PauseResumeAndThePermissionAttachOrDetachWithAnEdgeBeatEach) {
    run(claudeApp());
    run(chromeApp());
    launch();
    ASSERT_EQ(agent->capture().controllerCount(), 2u);

    fromCore({{"type", "capture_directive"}, {"capture", "pause"}});
    EXPECT_EQ(agent->capture().controllerCount(), 0u);
    EXPECT_TRUE(agent->menu().capturingApps.empty());
    EXPECT_EQ(countSent("agent_status"), 1u) << "an edge beat on the change";
    EXPECT_EQ(sentOfType("agent_status").back()["capture_attached"], 0);

    fromCore({{"type", "capture_directive"}, {"capture", "pause"}, {"scope", "device"}});
    EXPECT_EQ(countSent("agent_status"), 1u) << "a new scope is no change of state";
    EXPECT_EQ(agent->menu().capturePause, StatusMenu::CapturePause{"device"});

    // Launched while paused: not attached, not even after the launch delay.
    run(editorApp());
    sp.workspace.terminate(testing::chromePid);
    run({404, "com.openai.codex", "ChatGPT", {}});
    sp.loop.advance(2s);
    EXPECT_EQ(agent->capture().controllerCount(), 0u);

    fromCore({{"type", "capture_directive"}, {"capture", "run"}});
    EXPECT_TRUE(agent->capture().hasController(testing::claudePid));
    EXPECT_TRUE(agent->capture().hasController(404));
    EXPECT_FALSE(agent->capture().hasController(testing::chromePid)) << "quit while paused";
    EXPECT_EQ(countSent("agent_status"), 2u);

    // Resuming without the permission attaches nothing but still beats.
    fromCore({{"type", "capture_directive"}, {"capture", "pause"}});
    sp.accessibility.setTrusted(false);
    fromCore({{"type", "capture_directive"}, {"capture", "run"}});
    EXPECT_EQ(agent->capture().controllerCount(), 0u);
    EXPECT_EQ(countSent("agent_status"), 4u);
    EXPECT_EQ(sentOfType("agent_status").back()["edge"], true);

    sp.loop.advance(5s);  // the poll notes the lost permission
    const auto seen = countSent("agent_status");
    sp.accessibility.setTrusted(true);
    sp.loop.advance(5s);
    EXPECT_EQ(agent->capture().controllerCount(), 2u) << "the permission gained: attached at the next check";
    auto beats = sentOfType("agent_status");
    ASSERT_EQ(beats.size(), seen + 1);
    EXPECT_EQ(beats.back()["edge"], true);
    EXPECT_EQ(beats.back()["ax_granted"], true);
    EXPECT_EQ(beats.back()["capture_attached"], 2);
    sp.loop.advance(5s);
    EXPECT_EQ(countSent("agent_status"), seen + 1) << "no change, no beat";

    sp.accessibility.setTrusted(false);
    sp.loop.advance(5s);
    EXPECT_EQ(agent->capture().controllerCount(), 2u) << "losing the permission does not stop controllers";
    EXPECT_FALSE(agent->menu().axTrusted);
    beats = sentOfType("agent_status");
    ASSERT_EQ(beats.size(), seen + 2);
    EXPECT_EQ(beats.back()["ax_granted"], false);
    EXPECT_EQ(beats.back()["edge"], true);
}

}  // namespace
}  // namespace velmar
