#include "capture/ConversationRouter.hpp"

#include "capture/CaptureDiag.hpp"
#include "capture/Turns.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace velmar {
namespace {

using namespace std::chrono_literals;

class ConversationRouterTest : public ::testing::Test {
protected:
    std::vector<std::string> sent;  // prompts, in emission order
    std::vector<TimePoint> sentAt;
    ConversationRouter router{[this](const TurnEvent& e) {
        sent.push_back(e.prompt);
        sentAt.push_back(e.observedAt);
    }};
    const TimePoint t0{};

    // A window numbered by position, as position-indexed parsers produce it.
    ConversationRouter::Result read(const std::string& key, const std::string& turns, TimePoint at = {},
                                    const std::string& surface = "chatgpt", bool fromNewChat = false) {
        return router.route(key, surface, testing::snap(turns, true, key), at, fromNewChat, std::string("draft"));
    }
};

TEST_F(ConversationRouterTest, ResetFlushesPendingPromptAndRestartsFromTheWindowSkipProcessesNothing) {
    read("c", "Q1 R1", t0 - 1s);
    read("c", "Q1 R1 Q2", t0);
    auto r = read("c", "Q2 R2 Q1", t0 + 5s);  // known prompts out of order
    EXPECT_TRUE(r.stabilizerReset && r.newAssembler);
    EXPECT_EQ(sent, std::vector<std::string>{"Q2"}) << "pending prompt sent by the flush";
    EXPECT_EQ(sentAt, std::vector<TimePoint>{t0});
    EXPECT_TRUE(router.assembler("c")->primed()) << "re-primed on the same window";

    const auto before = router.assembler("c")->debugState();
    EXPECT_TRUE(read("c", "tool", t0 + 9s).stabilizerSkip);
    EXPECT_EQ(router.assembler("c")->lastProcessedAt(), t0 + 5s);
    EXPECT_EQ(router.assembler("c")->debugState(), before);
}

TEST_F(ConversationRouterTest, AnsweredPromptScrollingIntoViewIsHistoryOnPerplexityAndDeepSeek) {
    for (const char* surface : {"perplexity", "deepseek", "chatgpt"}) {
        sent.clear();
        read(surface, "Q5 R5 Q6 R6", t0, surface);
        read(surface, "Q6 R6 Q7 R7", t0 + 1s, surface);
        EXPECT_EQ(sent, std::string(surface) == "chatgpt" ? std::vector<std::string>{"Q7"} : std::vector<std::string>{})
            << surface;
    }
}

// Scrolled above the first window read, the stabilizer starts over and the
// pairs below come back as new: one already sent is held back, and counted.
TEST_F(ConversationRouterTest, APairSentBeforeAStabilizerResetIsNeverSentAgain) {
    CaptureDiag diag{t0};
    ConversationRouter counted([this](const TurnEvent& e) { sent.push_back(e.prompt); }, &diag);
    const char* reads[] = {"Q5 R5 Q6 R6", "Q6 R6 Q7 R7", "Q1 R1 Q2 R2", "Q2 R2 Q3 R3",
                           "Q3 R3 Q4 R4", "Q4 R4 Q5 R5", "Q5 R5 Q6 R6", "Q6 R6 Q7 R7 Q8"};
    for (const char* turns : reads) counted.route("c", "chatgpt", testing::snap(turns, true, "c"), t0, false);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "Q7"), 1) << "sent: " << ::testing::PrintToString(sent);
    EXPECT_GT(diag.count("chatgpt", CaptureDiag::Counter::duplicateSuppressed), 0);
}

TEST_F(ConversationRouterTest, DraftGoesToTheAssemblerOnlyForANewChat) {
    EXPECT_FALSE(read("open", "Q1", t0, "claude_ai", false).draftConsumed);
    EXPECT_TRUE(router.assembler("open")->recentDrafts().empty());
    EXPECT_TRUE(read("new", "Q1", t0, "claude_ai", true).draftConsumed);
    EXPECT_EQ(router.assembler("new")->recentDrafts(), std::deque<std::string>{"draft"});
}

TEST_F(ConversationRouterTest, TwentyFirstConversationEvictsTheLeastRecentlyUsedFlushingIt) {
    read("k1", "Q0 R0");
    read("k1", "Q0 R0 Qk1");
    for (int i = 2; i <= 20; ++i) read("k" + std::to_string(i), "Q0 R0");
    ASSERT_TRUE(sent.empty());
    read("k21", "Q0 R0");
    EXPECT_EQ(sent, std::vector<std::string>{"Qk1"}) << "flushed on eviction";
    EXPECT_EQ(router.stabilizer("k1"), nullptr);

    read("k2", "Q0 R0");  // used again: k3 is now the least recent
    read("k22", "Q0 R0");
    EXPECT_NE(router.assembler("k2"), nullptr);
    EXPECT_EQ(router.assembler("k3"), nullptr);
    EXPECT_EQ(router.lru().size(), 20u);
}

TEST_F(ConversationRouterTest, IdleFlushAtExactlyTheGraceFlushEachKeepsStopForgets) {
    read("b", "Q0 R0", t0, "claude_ai");
    read("a", "Q0 R0", t0 + 10s, "claude_ai");
    read("a", "Q0 R0 Qa", t0 + 10s, "claude_ai");
    read("b", "Q0 R0 Qb", t0 + 20s, "claude_ai");
    router.flushEach();
    EXPECT_EQ(sent, (std::vector<std::string>{"Qb", "Qa"})) << "order of first use, not recency";

    for (const char* turns : {"Q0 R0 Qa", "Q0 R0 Qa Qa2"}) read("a", turns, t0 + 30s, "claude_ai");
    for (const char* turns : {"Q0 R0 Qb", "Q0 R0 Qb Qb2"}) read("b", turns, t0 + 40s, "claude_ai");
    EXPECT_EQ(router.flushIdle(t0 + 129s, 100s), std::vector<std::string>{});
    EXPECT_EQ(router.flushIdle(t0 + 130s, 100s), std::vector<std::string>{"a"});
    EXPECT_EQ(router.lru(), std::deque<std::string>{"b"});
    router.stop();
    EXPECT_EQ(sent, (std::vector<std::string>{"Qb", "Qa", "Qa2", "Qb2"}));
    EXPECT_EQ(router.assembler("b"), nullptr);
}

// Design conversations have their own emitters, never an assembler.
TEST_F(ConversationRouterTest, DesignEmittersEvictTheLeastRecentlyProcessedAndExpireWhenIdle) {
    auto design = [&](const std::string& key, const std::string& turns, TimePoint at) {
        auto r = router.route(key, "claude_design", testing::snap(turns, false, key), at, false);
        EXPECT_EQ(r.route, ConversationRouter::Result::Route::design);
    };
    for (int i = 0; i < 20; ++i) design("c" + std::to_string(i), "Q1", t0 + std::chrono::seconds(i));
    design("c0", "Q1 Q2", t0 + 100s);  // c0 is now the most recent; c1 the oldest
    design("c20", "Q1", t0 + 101s);
    EXPECT_EQ(router.designEmitterCount(), 20u);
    EXPECT_EQ(router.designEmitter("c1"), nullptr);
    design("c1", "Q1 Q2", t0 + 102s);
    EXPECT_EQ(sent, std::vector<std::string>{"Q2"}) << "an evicted conversation comes back as a stranger";
    EXPECT_TRUE(router.lru().empty());

    router.flushIdle(t0 + 152s, 50s);
    EXPECT_EQ(router.designEmitter("c20"), nullptr);
    EXPECT_NE(router.designEmitter("c1"), nullptr) << "idle for exactly the grace period is kept";
}

}  // namespace
}  // namespace velmar
