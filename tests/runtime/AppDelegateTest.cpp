#include "runtime/AppDelegate.hpp"

#include "runtime/AppDelegateSupport.hpp"
#include "capture/BrowserCaptureController.hpp"
#include "runtime/Beacon.hpp"

#include "capture/ChatPages.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using nlohmann::json;

namespace velmar {
namespace {

using testing::AgentHarness;
using testing::chromeApp;
using testing::claudeApp;
using testing::editorApp;

class AppDelegateTest : public ::testing::Test, protected AgentHarness {};

// --- launch and controllers ----------------------------------------------

TEST_F(AppDelegateTest, LaunchInstallsTheMenuStartsTheCoreAndAttachesAllowlistedAppsOnly) {
    run(claudeApp());
    run(chromeApp());
    run(editorApp());
    launch();

    EXPECT_TRUE(item.shown().has_value()) << "the status item is installed";
    EXPECT_EQ(launcher.launchCount(), 1u);
    EXPECT_EQ(agent->controllerCount(), 2u);
    EXPECT_TRUE(agent->hasController(testing::claudePid));
    EXPECT_TRUE(agent->hasController(testing::chromePid));
    EXPECT_FALSE(agent->hasController(testing::editorPid));
    EXPECT_TRUE(agent->menu().axTrusted);
    EXPECT_EQ(agent->menu().capturingApps.size(), 2u);
    EXPECT_FALSE(agent->signInWindow()) << "the sign-in window waits for the core's first auth_state";
    EXPECT_EQ(countSent("agent_status"), 0u) << "no heartbeat before 300 s";

    sp.loop.advance(300s);
    EXPECT_EQ(countSent("agent_status"), 1u);
}

// VELMAR_CAPTURE_DEBUG reaches the browser controllers the agent attaches:
// their settles are traced only when it is "1".
TEST_F(AppDelegateTest, TheCaptureTraceSwitchReachesTheAttachedBrowserControllers) {
    for (const char* value : {"1", "0"}) {
        AgentHarness h;
        h.sp.environment.set("VELMAR_CAPTURE_DEBUG", value);
        auto app = sim::SimElement::make("AXApplication");
        auto window = app->append("AXWindow");
        window->set("AXMinimized", false);
        window->append(testing::chatgptPage("https://chatgpt.com/c/s1", {"q1", "a1"}, true).buildSim());
        app->set("AXWindows", std::vector<AXElementRef>{window});
        app->set("AXFocusedWindow", AXElementRef(window));
        h.sp.accessibility.addApplication(testing::chromePid, app);
        h.sp.workspace.launch(chromeApp());
        h.launch();
        ASSERT_TRUE(h.agent->hasController(testing::chromePid));
        h.sp.accessibility.post(testing::chromePid, "AXValueChanged", window);
        h.sp.loop.advance(3s);

        int traced = 0;
        for (const auto& line : h.sp.log.lines()) traced += line.starts_with("[capture-debug] surface=chatgpt") ? 1 : 0;
        if (std::string(value) == "1") {
            EXPECT_GE(traced, 1) << "no trace of the settle";
        } else {
            EXPECT_EQ(traced, 0);
        }
    }
}

TEST_F(AppDelegateTest, WithoutACoreScriptAWarningIsShownAndTheAgentQuits) {
    sp.install.removeResource("core", "mjs");
    run(claudeApp());
    launch();

    ASSERT_EQ(alerts.shownAlerts.size(), 1u);
    EXPECT_EQ(alerts.shownAlerts[0].message, "Fernhollow");
    EXPECT_EQ(alerts.shownAlerts[0].informativeText, AppDelegate::missingCoreText);
    EXPECT_EQ(alerts.shownAlerts[0].style, Alert::Style::warning);
    EXPECT_GE(windowing.activations, 1);
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(launcher.launchCount(), 0u);
    EXPECT_EQ(agent->controllerCount(), 0u);
}

TEST_F(AppDelegateTest, ApplicationsAreAttachedAfterLaunchAndReleasedWhenTheyQuit) {
    launch();
    run(claudeApp());
    sp.loop.advance(1400ms);
    EXPECT_FALSE(agent->hasController(testing::claudePid)) << "attach waits 1.5 s after launch";
    sp.loop.advance(100ms);
    EXPECT_TRUE(agent->hasController(testing::claudePid));
    EXPECT_EQ(agent->menu().capturingApps, std::vector<std::string>{"Claude"});

    sp.workspace.terminate(testing::claudePid);
    sp.loop.runUntilIdle();
    EXPECT_EQ(agent->controllerCount(), 0u);
    EXPECT_TRUE(agent->menu().capturingApps.empty());

    // An application that quits within the delay leaves nothing behind.
    run(chromeApp());
    sp.loop.advance(500ms);
    sp.workspace.terminate(testing::chromePid);
    sp.loop.advance(2s);
    EXPECT_EQ(agent->controllerCount(), 0u);
}

// An application that cannot be observed yet (a browser not on the bus so
// soon after its start) is reported once and tried again, less and less
// often, until it can be; tries end with the application.
TEST_F(AppDelegateTest, AnApplicationThatCannotBeObservedYetIsTriedAgainUntilItCanBe) {
    run(claudeApp());
    sp.accessibility.failObservers(testing::claudePid);
    launch();
    EXPECT_EQ(agent->controllerCount(), 0u);
    const char* degraded = "[agent] could not observe com.anthropic.claudefordesktop over the accessibility bus";
    EXPECT_EQ(sp.log.countContaining(degraded), 1u);
    EXPECT_EQ(agent->menu().lastEventLine, "⚠︎ AX attach failed for Claude");

    sp.loop.advance(AppDelegate::attachRetryFirst + 2 * AppDelegate::attachRetryFirst + 4 * AppDelegate::attachRetryFirst);
    EXPECT_EQ(agent->controllerCount(), 0u);
    EXPECT_EQ(sp.log.countContaining(degraded), 1u) << "said once, not per try";

    sp.accessibility.failObservers(testing::claudePid, false);
    sp.loop.advance(AppDelegate::attachRetryMost);
    EXPECT_TRUE(agent->hasController(testing::claudePid));
    EXPECT_EQ(sp.log.countContaining("attached to com.anthropic.claudefordesktop on a later try"), 1u);

    // A process that ends while unobservable is no longer tried.
    run(chromeApp());
    sp.accessibility.failObservers(testing::chromePid);
    sp.loop.advance(AppDelegate::attachAfterLaunch + 10ms);
    sp.workspace.terminate(testing::chromePid);
    sp.accessibility.failObservers(testing::chromePid, false);
    sp.loop.advance(2 * AppDelegate::attachRetryMost);
    EXPECT_FALSE(agent->hasController(testing::chromePid));
}

// A browser started before the accessibility switch shows its windows but
// none of its pages: the user is told once, through the desktop's
// notifications, to restart it; a browser showing pages is not mentioned.
TEST_F(AppDelegateTest, ABrowserShowingNoPagesIsToldOnceToRestart) {
    const auto window = [](bool withPage) {
        auto w = sim::SimElement::make("AXWindow");
        w->setString("AXTitle", "New Tab - Google Chrome");
        auto toolbar = sim::SimElement::make("AXToolbar");
        w->append(toolbar);
        if (withPage) {
            auto page = sim::SimElement::make("AXWebArea");
            page->set("AXURL", AXURLValue{"https://example.org/"});
            w->append(page);
        }
        return w;
    };
    const auto browser = [&](int pid, bool withPage) {
        auto app = sim::SimElement::make("AXApplication");
        app->set("AXWindows", std::vector<AXElementRef>{window(withPage)});
        sp.accessibility.addApplication(pid, app);
        sp.workspace.launch({pid, "com.google.Chrome", "Google Chrome", {}});
    };
    launch();
    browser(testing::chromePid, true);
    sp.loop.advance(AppDelegate::attachAfterLaunch + BrowserCaptureController::pagesCheckDelay + 1s);
    ASSERT_TRUE(agent->hasController(testing::chromePid));
    EXPECT_TRUE(notifications.shown.empty()) << "pages are shown";

    browser(testing::chromePid + 1, false);
    browser(testing::chromePid + 2, false);  // a second process of the same browser
    sp.loop.advance(AppDelegate::attachAfterLaunch + BrowserCaptureController::pagesCheckDelay + 1s);
    ASSERT_EQ(notifications.shown.size(), 1u);
    EXPECT_EQ(notifications.shown[0].summary, "Restart Google Chrome to capture its AI chats");
}

// A browser started before the switch may not come on the bus at all: after
// a few tries (a browser just launched gets there sooner) it is told once too.
TEST_F(AppDelegateTest, ABrowserOffTheBusIsToldToRestartAfterAFewTries) {
    launch();
    run(chromeApp());
    sp.accessibility.failObservers(testing::chromePid);
    sp.loop.advance(AppDelegate::attachAfterLaunch + AppDelegate::attachRetryFirst + 10ms);
    EXPECT_TRUE(notifications.shown.empty()) << "too soon";
    sp.loop.advance(AppDelegate::attachRetryMost * 3);
    ASSERT_EQ(notifications.shown.size(), 1u);
    EXPECT_EQ(notifications.shown[0].summary, "Restart Google Chrome to capture its AI chats");
}

TEST_F(AppDelegateTest, FlushGraceComesFromSettingsWithNonPositiveMeaningFourHours) {
    struct Case {
        const char* description;
        std::optional<double> stored;
        double expected;
    } cases[] = {
        {"missing", std::nullopt, 14400},
        {"zero", 0.0, 14400},
        {"negative", -1.0, 14400},
        {"set", 90.0, 90},
    };
    launch();
    for (const auto& c : cases) {
        if (c.stored)
            sp.settings.setNumber(AppDelegate::flushGraceKey, *c.stored);
        else
            sp.settings.remove(AppDelegate::flushGraceKey);
        EXPECT_EQ(agent->flushGraceSeconds(), c.expected) << c.description;
    }
}

TEST_F(AppDelegateTest, EveryTurnIsCountedByVerdictAndTierThenSentToTheCore) {
    launch();
    fromCore({{"type", "ready"}});
    auto turn = testing::numberedTurn(1);
    agent->handleTurn(turn);
    turn = testing::numberedTurn(2);
    turn.verdict = "degraded";
    turn.captureTier = 1;
    agent->handleTurn(turn);
    turn = testing::numberedTurn(3);
    turn.verdict = "degraded";
    turn.captureTier = 7;
    turn.conversationKey = "c";
    agent->handleTurn(turn);
    agent->handleTurn(turn);  // the same exchange again: one turn id, sent once
    sp.loop.runUntilIdle();
    EXPECT_EQ(LastExchangeStore(stateDir).find("claude", "c"),
              (LastExchangeStore::Exchange{3, TurnAssembler::resumeSignature("reply 3")}))
        << "remembered on disk as the conversation's last exchange handed over";

    EXPECT_EQ(diag.count("claude", CaptureDiag::Counter::verdictOk), 1);
    EXPECT_EQ(diag.count("claude", CaptureDiag::Counter::verdictDegraded), 3);
    EXPECT_EQ(diag.count("claude", CaptureDiag::Counter::emittedTier2), 1);
    EXPECT_EQ(diag.count("claude", CaptureDiag::Counter::emittedTier1), 1);
    EXPECT_EQ(diag.count("claude", CaptureDiag::Counter::emittedTier0), 2);
    EXPECT_EQ(countSent("turn"), 3u);
}

// --- trust --------------------------------------------------------------------

TEST_F(AppDelegateTest, TrustGainedAttachesAndTrustLostLeavesControllersWithAnEdgeBeatEachWay) {
    sp.accessibility.setTrusted(false);
    run(claudeApp());
    launch();
    EXPECT_EQ(agent->controllerCount(), 0u);

    sp.accessibility.setTrusted(true);
    sp.loop.advance(5s);
    EXPECT_EQ(agent->controllerCount(), 1u);
    auto beats = sentOfType("agent_status");
    ASSERT_EQ(beats.size(), 1u);
    EXPECT_EQ(beats[0]["edge"], true);
    EXPECT_EQ(beats[0]["ax_granted"], true);
    EXPECT_EQ(beats[0]["capture_attached"], 1);

    sp.loop.advance(5s);
    EXPECT_EQ(countSent("agent_status"), 1u) << "no change, no beat";

    sp.accessibility.setTrusted(false);
    sp.loop.advance(5s);
    EXPECT_EQ(agent->controllerCount(), 1u) << "losing the permission does not stop controllers";
    EXPECT_FALSE(agent->menu().axTrusted);
    beats = sentOfType("agent_status");
    ASSERT_EQ(beats.size(), 2u);
    EXPECT_EQ(beats[1]["ax_granted"], false);
    EXPECT_EQ(beats[1]["edge"], true);
}

// --- heartbeats ---------------------------------------------------------------

TEST_F(AppDelegateTest, RoutineBeatsCarryStatisticsEverySixthBeatAndEdgeBeatsAtOnce) {
    sp.workspace.install("com.google.Chrome", "/opt/google/chrome", "131.0.1");
    launch();
    for (int beat = 1; beat <= 12; ++beat) {
        diag.bump("claude", CaptureDiag::Counter::parsedOk);
        sp.loop.advance(300s);
    }
    auto beats = sentOfType("agent_status");
    ASSERT_EQ(beats.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        const bool withStats = (i + 1) % 6 == 0;
        EXPECT_EQ(beats[i].contains("stats_seq"), withStats) << "beat " << i + 1;
        EXPECT_FALSE(beats[i].contains("edge")) << "beat " << i + 1;
        EXPECT_EQ(beats[i]["device_id"], agent->deviceId());
        if (withStats) {
            EXPECT_EQ(beats[i]["capture_stats"][0]["surface"], "claude");
            EXPECT_EQ(beats[i]["provider_versions"]["chrome"], "131.0.1");
        }
    }

    // An edge beat takes statistics at once and restarts the count.
    diag.bump("claude", CaptureDiag::Counter::parsedOk);
    fromCore({{"type", "auth_state"}, {"signed_in", true}, {"email", "a@b.test"}});
    beats = sentOfType("agent_status");
    ASSERT_EQ(beats.size(), 13u);
    EXPECT_EQ(beats[12]["edge"], true);
    EXPECT_TRUE(beats[12].contains("stats_seq"));

    // Once the core has taken the batch and nothing more is counted, no
    // beat carries statistics.
    fromCore({{"type", "status_result"}, {"ok", true}, {"stats_seq", beats[12]["stats_seq"]}});
    for (int beat = 1; beat <= 7; ++beat) sp.loop.advance(300s);
    beats = sentOfType("agent_status");
    for (std::size_t i = 13; i < beats.size(); ++i) EXPECT_FALSE(beats[i].contains("stats_seq"));
}

TEST_F(AppDelegateTest, StatusResultsAcknowledgeOrReleaseTheBatch) {
    launch();
    diag.bump("claude", CaptureDiag::Counter::parsedOk, 3);
    agent->sendHeartbeat(true);
    sp.loop.runUntilIdle();
    const auto seq = sentOfType("agent_status").back()["stats_seq"].get<std::int64_t>();

    fromCore({{"type", "status_result"}, {"ok", false}, {"stats_seq", seq}});
    agent->sendHeartbeat(true);
    sp.loop.runUntilIdle();
    auto beat = sentOfType("agent_status").back();
    EXPECT_EQ(beat["capture_stats"][0]["parsed_ok"], 3) << "a refused batch is sent again";

    fromCore({{"type", "status_result"}, {"ok", true}, {"stats_seq", beat["stats_seq"]}});
    agent->sendHeartbeat(true);
    sp.loop.runUntilIdle();
    EXPECT_FALSE(sentOfType("agent_status").back().contains("stats_seq")) << "acknowledged counts are gone";
}

// --- core messages --------------------------------------------------------------

TEST_F(AppDelegateTest, EveryCoreMessageTypeHasItsEffect) {
    updates.feed = "https://updates.example.test/feed.xml";
    run(claudeApp());
    launch();
    const auto& menu = agent->menu();
    struct Case {
        const char* description;
        json message;
        std::function<void()> check;
    } cases[] = {
        {"ready answers with the stored session, then the first-launch beacon", {{"type", "ready"}},
         [&] {
             auto types = sentTypes();
             ASSERT_GE(types.size(), 2u);
             EXPECT_EQ(types[types.size() - 2], "session");
             EXPECT_EQ(sentOfType("session").back()["session"], json());
             EXPECT_EQ(sentOfType("beacon").back()["event"], "agent_first_launch");
         }},
        {"session_updated stores the session", {{"type", "session_updated"}, {"session", {{"token", "t1"}}}},
         [&] {
             SessionKeychainStore store(secrets, sp.log);
             EXPECT_EQ(store.loadSession(), json({{"token", "t1"}}));
         }},
        {"ready hands the stored session to the core", {{"type", "ready"}},
         [&] { EXPECT_EQ(sentOfType("session").back()["session"], json({{"token", "t1"}})); }},
        {"session_cleared deletes it", {{"type", "session_cleared"}},
         [&] { EXPECT_FALSE(SessionKeychainStore(secrets, sp.log).loadSession()); }},
        {"open_url opens a URL", {{"type", "open_url"}, {"url", "https://example.test/x"}},
         [&] { EXPECT_EQ(desktop.openedURLs.back(), "https://example.test/x"); }},
        {"open_url ignores what is no URL", {{"type", "open_url"}, {"url", "not a url"}},
         [&] { EXPECT_EQ(desktop.openedURLs.size(), 1u); }},
        {"signin_result ok shows nothing", {{"type", "signin_result"}, {"ok", true}},
         [&] { EXPECT_TRUE(alerts.shownAlerts.empty()); }},
        {"signin_result failure alerts with the message",
         {{"type", "signin_result"}, {"ok", false}, {"message", "wrong password"}},
         [&] {
             EXPECT_EQ(alerts.shownAlerts.back().informativeText, "Sign-in failed: wrong password");
             EXPECT_EQ(alerts.shownAlerts.back().message, "Fernhollow");
         }},
        {"signin_result failure without a message", {{"type", "signin_result"}, {"ok", false}, {"message", 4}},
         [&] { EXPECT_EQ(alerts.shownAlerts.back().informativeText, "Sign-in failed: unknown error"); }},
        {"beacon_result marks a once-per-install beacon sent",
         {{"type", "beacon_result"}, {"ok", true}, {"event", "agent_first_launch"}},
         [&] { EXPECT_EQ(sp.settings.boolean("velmar.beacon.agent_first_launch.sent"), true); }},
        {"event_result writes the last-event line",
         {{"type", "event_result"}, {"status", "stored"}, {"function_label", "claude"}},
         [&] {
             ASSERT_TRUE(menu.lastEventLine);
             EXPECT_EQ(menu.lastEventLine->rfind("Last turn: stored · claude · ", 0), 0u) << *menu.lastEventLine;
         }},
        {"event_result without a status", {{"type", "event_result"}},
         [&] { EXPECT_EQ(menu.lastEventLine->rfind("Last turn: ? · ", 0), 0u) << *menu.lastEventLine; }},
        {"log writes one line", {{"type", "log"}, {"level", "warn"}, {"message", "disk slow"}},
         [&] { EXPECT_EQ(sp.log.lines().back(), "[core:warn] disk slow"); }},
        {"log without a level is info", {{"type", "log"}, {"message", "hi"}},
         [&] { EXPECT_EQ(sp.log.lines().back(), "[core:info] hi"); }},
        {"capture_directive pause stops capture",
         {{"type", "capture_directive"}, {"capture", "pause"}, {"scope", "device"}},
         [&] {
             EXPECT_TRUE(agent->capturePaused());
             EXPECT_EQ(agent->controllerCount(), 0u);
             EXPECT_EQ(menu.capturePause, StatusMenu::CapturePause{"device"});
         }},
        {"capture_directive run resumes", {{"type", "capture_directive"}, {"capture", "run"}},
         [&] {
             EXPECT_FALSE(agent->capturePaused());
             EXPECT_EQ(agent->controllerCount(), 1u);
         }},
        {"update_check starts a background check", {{"type", "update_check"}},
         [&] { EXPECT_EQ(updates.backgroundChecks, 1); }},
        {"auth_state signed in", {{"type", "auth_state"}, {"signed_in", true}, {"email", "a@b.test"}},
         [&] {
             EXPECT_EQ(agent->lastAuthSignedIn(), true);
             EXPECT_EQ(menu.signedInEmail, "a@b.test");
             EXPECT_TRUE(menu.authKnown);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        fromCore(c.message);
        c.check();
    }
}

TEST_F(AppDelegateTest, WrongTypesAndUnknownMessagesChangeNothing) {
    run(claudeApp());
    launch();
    fromCore({{"type", "capture_directive"}, {"capture", "pause"}});
    ASSERT_TRUE(agent->capturePaused());
    const auto sentBefore = core().receivedLines().size();
    const auto logBefore = sp.log.lines().size();
    const auto menuBefore = agent->menu().lastEventLine;

    const json wrong[] = {
        json::array(), json("ready"), json(nullptr), json(7),
        {{"type", 3}},
        {{"type", "no_such_type"}},
        {{"type", "READY"}},
        {{"type", "session_updated"}, {"session", "token"}},
        {{"type", "session_updated"}, {"session", json::array()}},
        {{"type", "open_url"}, {"url", 5}},
        {{"type", "open_url"}, {"url", json::object()}},
        {{"type", "open_url"}, {"url", "javascript alert(1)"}},
        {{"type", "signin_result"}, {"ok", "true"}, {"message", json::array()}},
        {{"type", "beacon_result"}, {"ok", 1}, {"event", "agent_welcome_shown"}},
        {{"type", "beacon_result"}, {"ok", true}, {"event", 9}},
        {{"type", "capture_directive"}, {"capture", "stop"}},
        {{"type", "capture_directive"}, {"capture", true}},
        {{"type", "capture_directive"}},
        {{"type", "status_result"}, {"ok", true}, {"stats_seq", "1"}},
        {{"type", "status_result"}, {"ok", true}, {"stats_seq", 1.5}},
        {{"type", "status_result"}, {"ok", true}},
        {{"type", "update_check"}},
    };
    for (const auto& m : wrong) fromCore(m);
    fromCoreRaw("{not json\n[1,2]\n\"x\"\n\n");

    EXPECT_TRUE(agent->capturePaused());
    EXPECT_EQ(agent->controllerCount(), 0u);
    EXPECT_EQ(core().receivedLines().size(), sentBefore) << "nothing is answered";
    EXPECT_EQ(agent->menu().lastEventLine, menuBefore);
    // Only a Boolean true is success: anything else is a failure without a message.
    ASSERT_EQ(alerts.shownAlerts.size(), 1u);
    EXPECT_EQ(alerts.shownAlerts[0].informativeText, "Sign-in failed: unknown error");
    EXPECT_TRUE(desktop.openedURLs.empty());
    EXPECT_FALSE(sp.settings.contains(Beacon::sentKey(Beacon::welcomeShown)));
    EXPECT_EQ(updates.backgroundChecks, 0) << "no updater configured";
    EXPECT_FALSE(agent->lastAuthSignedIn());
    for (std::size_t i = logBefore; i < sp.log.lines().size(); ++i)
        EXPECT_EQ(sp.log.lines()[i].rfind("[core:", 0), std::string::npos) << sp.log.lines()[i];

    // Wrong types inside auth_state read as signed out, never as a crash.
    fromCore({{"type", "auth_state"}, {"signed_in", "yes"}, {"email", 12}});
    EXPECT_EQ(agent->lastAuthSignedIn(), false);
    EXPECT_EQ(agent->menu().signedInEmail, std::nullopt);
}

TEST_F(AppDelegateTest, ACoreLogLineCannotForgeAgentLinesOrDriveTheTerminal) {
    launch();
    fromCore({{"type", "log"},
              {"level", "info]\n[agent"},
              {"message", "ok\n[agent] signed out\r\x1b[2Jgone\x07"}});
    ASSERT_FALSE(sp.log.lines().empty());
    const auto& line = sp.log.lines().back();
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    EXPECT_EQ(line.find('\x1b'), std::string::npos);
    EXPECT_EQ(line.find('\x07'), std::string::npos);
    EXPECT_EQ(line.rfind("[core:", 0), 0u);
    EXPECT_EQ(sp.log.countContaining("\n[agent]"), 0u);
}

TEST_F(AppDelegateTest, AFloodOfLogLinesIsWrittenLineForLineAndChangesNothingElse) {
    run(claudeApp());
    launch();
    const auto sentBefore = core().receivedLines().size();
    const auto logBefore = sp.log.lines().size();
    std::string flood;
    for (int i = 0; i < 100'000; ++i) flood += R"({"type":"log","level":"debug","message":"line )" + std::to_string(i) + "\"}\n";
    fromCoreRaw(std::move(flood));
    EXPECT_EQ(sp.log.lines().size() - logBefore, 100'000u);
    EXPECT_EQ(sp.log.lines().back(), "[core:debug] line 99999");
    EXPECT_EQ(core().receivedLines().size(), sentBefore);
    EXPECT_EQ(agent->controllerCount(), 1u);
}

// --- capture directive -------------------------------------------------------------

TEST_F(AppDelegateTest, PauseDetachesResumeReattachesWhatStillRunsAndScopeChangesOnlyTheLine) {
    run(claudeApp());
    run(chromeApp());
    launch();
    ASSERT_EQ(agent->controllerCount(), 2u);

    fromCore({{"type", "capture_directive"}, {"capture", "pause"}});
    EXPECT_EQ(agent->controllerCount(), 0u);
    EXPECT_TRUE(agent->menu().capturingApps.empty());
    EXPECT_EQ(countSent("agent_status"), 1u) << "an edge beat on the change";
    EXPECT_EQ(sentOfType("agent_status").back()["capture_attached"], 0);

    fromCore({{"type", "capture_directive"}, {"capture", "pause"}, {"scope", "device"}});
    EXPECT_EQ(countSent("agent_status"), 1u) << "a new scope is no change of state";
    EXPECT_EQ(agent->menu().capturePause, StatusMenu::CapturePause{"device"});

    // Launched while paused: not attached, not even after the launch delay.
    run(editorApp());
    sp.workspace.terminate(testing::chromePid);
    sp.accessibility.addApplication(404, sim::SimElement::make("AXApplication"));
    sp.workspace.launch({404, "com.openai.codex", "ChatGPT", {}});
    sp.loop.advance(2s);
    EXPECT_EQ(agent->controllerCount(), 0u);

    fromCore({{"type", "capture_directive"}, {"capture", "run"}});
    EXPECT_TRUE(agent->hasController(testing::claudePid));
    EXPECT_TRUE(agent->hasController(404));
    EXPECT_FALSE(agent->hasController(testing::chromePid)) << "quit while paused";
    EXPECT_EQ(countSent("agent_status"), 2u);
}

TEST_F(AppDelegateTest, ResumingWithoutTrustAttachesNothingButStillBeats) {
    run(claudeApp());
    launch();
    fromCore({{"type", "capture_directive"}, {"capture", "pause"}});
    sp.accessibility.setTrusted(false);
    fromCore({{"type", "capture_directive"}, {"capture", "run"}});
    EXPECT_EQ(agent->controllerCount(), 0u);
    EXPECT_EQ(sentOfType("agent_status").back()["edge"], true);
}

// --- termination ---------------------------------------------------------------------

TEST_F(AppDelegateTest, TerminationFlushesStopsAndEndsWhenTheCoreExits) {
    run(claudeApp());
    launch();
    fromCore({{"type", "ready"}});
    int replies = 0;
    EXPECT_EQ(agent->applicationShouldTerminate([&] { ++replies; }), AppDelegate::TerminateReply::later);
    sp.loop.runUntilIdle();
    EXPECT_EQ(agent->controllerCount(), 0u);
    auto types = sentTypes();
    ASSERT_GE(types.size(), 2u);
    EXPECT_EQ(types[types.size() - 2], "flush_active_time");
    EXPECT_EQ(sentOfType("flush_active_time").back()["force"], true);
    EXPECT_EQ(types.back(), "shutdown");

    EXPECT_EQ(agent->applicationShouldTerminate([&] { ++replies; }), AppDelegate::TerminateReply::later)
        << "a second request changes nothing";
    EXPECT_EQ(countSent("shutdown"), 1u);

    core().exit(0);
    sp.loop.runUntilIdle();
    EXPECT_EQ(replies, 1);

    // No timer survives: nothing more reaches a core.
    sp.loop.advance(3600s);
    EXPECT_EQ(launcher.launchCount(), 1u) << "no restart after shutdown";
}

TEST_F(AppDelegateTest, ACoreThatIgnoresShutdownStillLetsTheAgentEndWithinSevenSeconds) {
    launch();
    fromCore({{"type", "ready"}});
    const auto start = sp.loop.now();
    agent->terminate();
    while (exits == 0 && sp.loop.now() - start < 60s) sp.loop.advance(100ms);
    EXPECT_EQ(exits, 1);
    EXPECT_LE(sp.loop.now() - start, 7s);
}

TEST_F(AppDelegateTest, QuitFromTheMenuRunsTheOrderlyEnd) {
    launch();
    agent->menu().quit();
    sp.loop.runUntilIdle();
    EXPECT_TRUE(agent->terminationStarted());
    EXPECT_EQ(countSent("shutdown"), 1u);
}

}  // namespace
}  // namespace velmar
