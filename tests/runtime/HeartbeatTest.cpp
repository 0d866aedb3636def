#include "runtime/Heartbeat.hpp"

#include "runtime/AppDelegateSupport.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace velmar {
namespace {

using testing::AgentHarness;

class HeartbeatTest : public ::testing::Test, protected AgentHarness {};

TEST_F(HeartbeatTest, RoutineBeatsCarryStatisticsEverySixthBeatAndEdgeBeatsAtOnce) {
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
}

TEST_F(HeartbeatTest, StatusResultsAcknowledgeOrReleaseTheBatch) {
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

}  // namespace
}  // namespace velmar
