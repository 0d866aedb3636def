#include "runtime/AppDelegate.hpp"

#include "runtime/AppDelegateSupport.hpp"
#include "runtime/Beacon.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using nlohmann::json;

namespace velmar {
namespace {

using namespace velmar::testing;

class AppDelegateTest : public ::testing::Test, protected AgentHarness {};

// With its core script the agent installs its menu, starts the core and
// attaches the allowlisted apps; without, it warns and quits.
TEST_F(AppDelegateTest, LaunchStartsTheCoreOrWithoutItsScriptWarnsAndQuits) {
    run(claudeApp());
    run(chromeApp());
    run(editorApp());
    launch();
    EXPECT_TRUE(item.shown().has_value()) << "the status item is installed";
    EXPECT_EQ(launcher.launchCount(), 1u);
    EXPECT_FALSE(agent->capture().hasController(testing::editorPid));
    EXPECT_EQ(agent->menu().capturingApps.size(), 2u);
    EXPECT_FALSE(agent->onboarding().signInWindow()) << "the sign-in window waits for the core's first auth_state";

    AgentHarness bare;
    bare.sp.install.removeResource("core", "mjs");
    bare.run(claudeApp());
    bare.launch();
    ASSERT_EQ(bare.alerts.shownAlerts.size(), 1u);
    EXPECT_EQ(bare.alerts.shownAlerts[0].informativeText, AppDelegate::missingCoreText);
    EXPECT_EQ(bare.exits, 1);
    EXPECT_EQ(bare.launcher.launchCount(), 0u);
    EXPECT_EQ(bare.agent->capture().controllerCount(), 0u);
}

TEST_F(AppDelegateTest, EveryTurnIsCountedByVerdictAndTierThenSentToTheCore) {
    launch();
    fromCore({{"type", "ready"}});
    // The last is the same exchange again: one turn id, sent once.
    for (auto [index, verdict, tier] : {std::tuple{1, "ok", 2}, {2, "degraded", 1}, {3, "degraded", 7}, {3, "degraded", 7}}) {
        auto turn = testing::numberedTurn(index);
        turn.verdict = verdict;
        turn.captureTier = tier;
        if (index == 3) turn.conversationKey = "c";
        agent->handleTurn(turn);
    }
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

TEST_F(AppDelegateTest, EveryCoreMessageTypeHasItsEffect) {
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
             EXPECT_EQ(lastSentTypes(2), (std::vector<std::string>{"session", "beacon"}));
             EXPECT_EQ(sentOfType("session").back()["session"], json());
             EXPECT_EQ(sentOfType("beacon").back()["event"], "agent_first_launch");
         }},
        {"session_updated stores the session", {{"type", "session_updated"}, {"session", {{"token", "t1"}}}},
         [&] { EXPECT_EQ(SessionKeychainStore(secrets, sp.log).loadSession(), json({{"token", "t1"}})); }},
        {"ready hands the stored session to the core", {{"type", "ready"}},
         [&] { EXPECT_EQ(sentOfType("session").back()["session"], json({{"token", "t1"}})); }},
        {"session_cleared deletes it", {{"type", "session_cleared"}},
         [&] { EXPECT_FALSE(SessionKeychainStore(secrets, sp.log).loadSession()); }},
        {"open_url opens a URL", {{"type", "open_url"}, {"url", "https://example.test/x"}},
         [&] { EXPECT_EQ(desktop.openedURLs, std::vector<std::string>{"https://example.test/x"}); }},
        {"open_url opens nothing that is not a web address", {{"type", "open_url"}, {"url", "javascript alert(1)"}},
         [&] { EXPECT_EQ(desktop.openedURLs.size(), 1u); }},
        {"signin_result failure alerts with the message",
         {{"type", "signin_result"}, {"ok", false}, {"message", "wrong password"}},
         [&] { EXPECT_EQ(alerts.shownAlerts.back().informativeText, "Sign-in failed: wrong password"); }},
        {"signin_result: anything but a Boolean true fails, without a message",
         {{"type", "signin_result"}, {"ok", "true"}, {"message", json::array()}},
         [&] { EXPECT_EQ(alerts.shownAlerts.back().informativeText, "Sign-in failed: unknown error"); }},
        {"beacon_result: anything but a Boolean true confirms nothing",
         {{"type", "beacon_result"}, {"ok", 1}, {"event", "agent_welcome_shown"}},
         [&] { EXPECT_FALSE(sp.settings.contains(Beacon::sentKey(Beacon::welcomeShown))); }},
        {"update_check without an updater", {{"type", "update_check"}}, [&] { EXPECT_EQ(updates.backgroundChecks, 0); }},
        {"event_result writes the last-event line",
         {{"type", "event_result"}, {"status", "stored"}, {"function_label", "claude"}},
         [&] {
             ASSERT_TRUE(menu.lastEventLine);
             EXPECT_EQ(menu.lastEventLine->rfind("Last turn: stored · claude · ", 0), 0u) << *menu.lastEventLine;
         }},
        {"log writes one line", {{"type", "log"}, {"level", "warn"}, {"message", "disk slow"}},
         [&] { EXPECT_EQ(sp.log.lines().back(), "[core:warn] disk slow"); }},
        {"auth_state signed in", {{"type", "auth_state"}, {"signed_in", true}, {"email", "a@b.test"}},
         [&] {
             EXPECT_EQ(agent->onboarding().lastSignedIn(), true);
             EXPECT_EQ(menu.signedInEmail, "a@b.test");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        fromCore(c.message);
        c.check();
    }
}

// Quitting flushes the active time, stops capture and asks the core to shut
// down, once; the agent ends when the core exits (a core that ignores it is
// the bridge's to end within 7 s); nothing restarts after.
TEST_F(AppDelegateTest, TerminationFlushesStopsAndEndsWhenTheCoreExits) {
    run(claudeApp());
    launch();
    fromCore({{"type", "ready"}});
    agent->menu().quit();
    sp.loop.runUntilIdle();
    EXPECT_EQ(agent->capture().controllerCount(), 0u);
    EXPECT_EQ(lastSentTypes(2), (std::vector<std::string>{"flush_active_time", "shutdown"}));
    EXPECT_EQ(sentOfType("flush_active_time").back()["force"], true);
    int replies = 0;
    EXPECT_EQ(agent->applicationShouldTerminate([&] { ++replies; }), AppDelegate::TerminateReply::later);
    EXPECT_EQ(countSent("shutdown"), 1u) << "a second request changes nothing";
    EXPECT_EQ(replies + exits, 0);

    core().exit(0);
    sp.loop.runUntilIdle();
    EXPECT_EQ(replies + exits, 1);
    sp.loop.advance(3600s);
    EXPECT_EQ(launcher.launchCount(), 1u) << "no restart after shutdown";
}

// Statistics ride every sixth routine beat and every edge beat, until the core acknowledges them.
TEST_F(AppDelegateTest, HeartbeatsCarryStatisticsUntilTheCoreAcknowledgesThem) {
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

    fromCore({{"type", "status_result"}, {"ok", false}, {"stats_seq", beats[12]["stats_seq"]}});
    agent->sendHeartbeat(true);
    sp.loop.runUntilIdle();
    auto beat = sentOfType("agent_status").back();
    EXPECT_EQ(beat["capture_stats"], beats[12]["capture_stats"]) << "a refused batch is sent again";

    fromCore({{"type", "status_result"}, {"ok", true}, {"stats_seq", beat["stats_seq"]}});
    agent->sendHeartbeat(true);
    sp.loop.runUntilIdle();
    EXPECT_FALSE(sentOfType("agent_status").back().contains("stats_seq")) << "acknowledged counts are gone";
}

}  // namespace
}  // namespace velmar
