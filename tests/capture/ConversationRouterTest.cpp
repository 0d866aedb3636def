#include "capture/ConversationRouter.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace std::chrono_literals;

RawTurn turn(int index, std::string role, std::string text) {
    RawTurn t;
    t.index = index;
    t.role = std::move(role);
    t.text = std::move(text);
    return t;
}

// A window numbered by position, as position-indexed parsers produce it.
SegmenterSnapshot window(const std::string& key, std::vector<std::pair<std::string, std::string>> turns,
                         bool complete = true) {
    SegmenterSnapshot s;
    s.conversationKey = key;
    s.responseComplete = complete;
    int i = 0;
    for (auto& [role, text] : turns) s.turns.push_back(turn(++i, role, text));
    for (auto& t : s.turns) t.total = i;
    return s;
}

class ConversationRouterTest : public ::testing::Test {
protected:
    std::vector<TurnEvent> events;
    ConversationRouter router{[this](const TurnEvent& e) { events.push_back(e); }};
    TimePoint t0{};

    std::vector<std::string> prompts() const {
        std::vector<std::string> out;
        for (const auto& e : events) out.push_back(e.prompt);
        return out;
    }
};

TEST_F(ConversationRouterTest, StabilizerOnlyOnPositionIndexedSurfaces) {
    struct Case {
        const char* surface;
        bool stabilized;
        bool settledMountsAreHistory;
    };
    const Case cases[] = {
        {"chatgpt", true, false},      {"chatgpt_desktop", true, false}, {"claude_code_desktop", true, false},
        {"perplexity", true, true},    {"deepseek", true, true},         {"claude_ai", false, false},
        {"claude_desktop", false, false}, {"gemini", false, false},
    };
    for (const auto& c : cases) {
        std::string key = std::string(c.surface) + ":k";
        auto r = router.route(key, c.surface, window("k", {{"user", "Q"}, {"assistant", "A"}}), t0, false);
        EXPECT_TRUE(r.processed) << c.surface;
        EXPECT_EQ(r.stabilized.has_value(), c.stabilized) << c.surface;
        const auto* s = router.stabilizer(key);
        EXPECT_EQ(s != nullptr, c.stabilized) << c.surface;
        if (s) {
            EXPECT_EQ(s->settledMountsAreHistory(), c.settledMountsAreHistory) << c.surface;
        }
        EXPECT_EQ(router.assembler(key)->surface(), c.surface);
    }
}

TEST_F(ConversationRouterTest, ResetFlushesPendingPromptAndRestartsFromTheWindow) {
    router.route("c", "chatgpt", window("c", {{"user", "Q1"}, {"assistant", "A1"}}), t0 - 1s, false);
    router.route("c", "chatgpt", window("c", {{"user", "Q1"}, {"assistant", "A1"}, {"user", "Q2"}}), t0, false);
    ASSERT_EQ(router.assembler("c")->pendingIndexes(), std::vector<int>{3});
    // Known prompts out of order: the window contradicts the stabilizer.
    auto r = router.route("c", "chatgpt", window("c", {{"user", "Q2"}, {"assistant", "A2"}, {"user", "Q1"}}),
                          t0 + 5s, false);
    EXPECT_TRUE(r.stabilizerReset);
    EXPECT_TRUE(r.processed);
    EXPECT_TRUE(r.newAssembler);
    EXPECT_EQ(prompts(), std::vector<std::string>{"Q2"}) << "pending prompt sent by the flush";
    EXPECT_EQ(events.at(0).observedAt, t0);
    EXPECT_TRUE(router.assembler("c")->primed()) << "re-primed on the same window";
}

TEST_F(ConversationRouterTest, SkipProcessesNothing) {
    router.route("c", "chatgpt", window("c", {{"user", "Q1"}, {"assistant", "A1"}}), t0, false);
    auto before = router.assembler("c")->debugState();
    auto r = router.route("c", "chatgpt", window("c", {{"tool", "x"}}), t0 + 1s, false);
    EXPECT_TRUE(r.stabilizerSkip);
    EXPECT_FALSE(r.processed);
    EXPECT_EQ(router.assembler("c")->lastProcessedAt(), t0);
    EXPECT_EQ(router.assembler("c")->debugState(), before);
}

TEST_F(ConversationRouterTest, DraftGoesToTheAssemblerOnlyForANewChat) {
    auto r = router.route("a", "claude_ai", window("a", {{"user", "Hi"}}), t0, false, std::string("draft one"));
    EXPECT_FALSE(r.draftConsumed);
    EXPECT_TRUE(router.assembler("a")->recentDrafts().empty());
    r = router.route("b", "claude_ai", window("b", {{"user", "Hi"}}), t0, true, std::string("draft two"));
    EXPECT_TRUE(r.draftConsumed);
    EXPECT_EQ(router.assembler("b")->recentDrafts(), std::deque<std::string>{"draft two"});
}

TEST_F(ConversationRouterTest, TwentyFirstConversationEvictsTheLeastRecentlyUsedFlushingIt) {
    auto open = [&](const std::string& key) {
        router.route(key, "chatgpt", window(key, {{"user", "old"}, {"assistant", "answer"}}), t0, false);
    };
    open("k1");
    router.route("k1", "chatgpt", window("k1", {{"user", "old"}, {"assistant", "answer"}, {"user", "Q-k1"}}), t0,
                 false);
    for (int i = 2; i <= 20; ++i) open("k" + std::to_string(i));
    ASSERT_TRUE(events.empty());

    open("k21");
    EXPECT_EQ(prompts(), std::vector<std::string>{"Q-k1"}) << "flushed on eviction";
    EXPECT_EQ(router.lru().size(), 20u);
    EXPECT_EQ(router.assembler("k1"), nullptr);
    EXPECT_EQ(router.stabilizer("k1"), nullptr);

    open("k2");  // used again: k3 is now the least recent
    open("k22");
    EXPECT_NE(router.assembler("k2"), nullptr);
    EXPECT_EQ(router.assembler("k3"), nullptr);
    EXPECT_EQ(router.lru().back(), "k22");
}

TEST_F(ConversationRouterTest, IdleConversationsAreFlushedAtExactlyTheGrace) {
    router.route("a", "claude_ai", window("a", {{"user", "old"}, {"assistant", "x"}}), t0, false);
    router.route("a", "claude_ai", window("a", {{"user", "old"}, {"assistant", "x"}, {"user", "Qa"}}), t0 + 10s,
                 false);
    router.route("b", "chatgpt", window("b", {{"user", "old"}, {"assistant", "x"}, {"user", "Qb"}}), t0 + 20s, false);
    EXPECT_EQ(router.flushIdle(t0 + 109s, 100s), std::vector<std::string>{});
    EXPECT_EQ(router.flushIdle(t0 + 110s, 100s), std::vector<std::string>{"a"});
    EXPECT_EQ(prompts(), std::vector<std::string>{"Qa"});
    EXPECT_EQ(router.assembler("a"), nullptr);
    EXPECT_EQ(router.lru(), std::deque<std::string>{"b"});
}

TEST_F(ConversationRouterTest, FlushEachKeepsConversationsStopForgetsThem) {
    router.route("b", "claude_ai", window("b", {{"user", "old"}, {"assistant", "x"}}), t0, false);
    router.route("a", "claude_ai", window("a", {{"user", "old"}, {"assistant", "x"}}), t0, false);
    router.route("a", "claude_ai", window("a", {{"user", "old"}, {"assistant", "x"}, {"user", "Qa"}}), t0, false);
    router.route("b", "claude_ai", window("b", {{"user", "old"}, {"assistant", "x"}, {"user", "Qb"}}), t0, false);
    router.flushEach();
    EXPECT_EQ(prompts(), (std::vector<std::string>{"Qb", "Qa"})) << "order of first use, not recency";
    EXPECT_NE(router.assembler("a"), nullptr);

    events.clear();
    router.route("a", "claude_ai", window("a", {{"user", "old"}, {"assistant", "x"}, {"user", "Qa2"}}), t0, false);
    router.route("a", "claude_ai", window("a", {{"user", "old"}, {"assistant", "x"}, {"user", "Qa2"}, {"user", "Qa3"}}),
                 t0, false);
    router.stop();
    EXPECT_EQ(prompts(), std::vector<std::string>{"Qa3"});
    EXPECT_EQ(router.assembler("a"), nullptr);
    EXPECT_TRUE(router.lru().empty());
}

TEST_F(ConversationRouterTest, DesignSnapshotsNeverReachAnAssembler) {
    auto r = router.route("d", "claude_design", window("d", {{"user", "make a logo"}}), t0, true, std::string("x"));
    EXPECT_EQ(r.route, ConversationRouter::Result::Route::design);
    EXPECT_EQ(router.assembler("d"), nullptr);
    EXPECT_TRUE(router.lru().empty());
}

}  // namespace
}  // namespace velmar
