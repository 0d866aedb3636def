#include "capture/DesignPromptEmitter.hpp"

#include "capture/ConversationRouter.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace std::chrono_literals;

const TimePoint t0 = TimePoint{} + 1'000'000s;

struct Read {
    std::vector<std::pair<std::string, std::string>> turns;  // role, text
    bool fallback = false;
    bool fromNewChat = false;
};

SegmenterSnapshot snapshotOf(const Read& read) {
    SegmenterSnapshot s;
    s.conversationKey = "p1";
    s.surface = "claude_design";
    s.model = "Opus 4.1";
    s.usedParityFallback = read.fallback;
    int i = 0;
    for (const auto& [role, text] : read.turns) {
        RawTurn t;
        t.index = ++i;
        t.role = role;
        t.text = text;
        s.turns.push_back(t);
    }
    for (auto& t : s.turns) t.total = i;
    return s;
}

std::vector<std::string> promptsEmitted(const std::vector<Read>& reads) {
    std::vector<std::string> out;
    DesignPromptEmitter emitter([&out](const TurnEvent& e) { out.push_back(e.prompt); });
    TimePoint t = t0;
    for (const auto& r : reads) emitter.process(snapshotOf(r), t += 1s, r.fromNewChat);
    return out;
}

using Prompts = std::vector<std::string>;

TEST(DesignPromptEmitter, EmitsEachNewPromptOnce) {
    struct Case {
        const char* description;
        std::vector<Read> reads;
        Prompts expected;
    } cases[] = {
        {"open conversation: existing prompts are history, the next one is sent",
         {{{{"user", "A"}, {"user", "B"}}}, {{{"user", "A"}, {"user", "B"}, {"user", "C"}}}},
         {"C"}},
        {"opened from a new chat: the first prompts go out at once",
         {{{{"user", "A"}}, false, true}, {{{"user", "A"}, {"user", "B"}}}},
         {"A", "B"}},
        {"an empty read does not prime",
         {{{}}, {{{"user", "A"}}}, {{{"user", "A"}, {"user", "B"}}}},
         {"B"}},
        {"the same text sent twice goes out once, markers aside",
         {{{}, false, true},
          {{{"user", "logo\n[attached image: a.png]"}}, false, true},
          {{{"user", "logo\n[attached image: a.png]"}, {"user", "logo"}}}},
         {"logo\n[attached image: a.png]"}},
        {"a fallback read only primes",
         {{{{"user", "A"}, {"assistant", "reply"}}, true},
          {{{"user", "A"}, {"assistant", "reply"}, {"user", "B"}}, true},
          {{{"user", "A"}, {"user", "B"}, {"user", "C"}}}},
         {"B", "C"}},
    };
    for (const auto& c : cases) EXPECT_EQ(promptsEmitted(c.reads), c.expected) << c.description;
}

TEST(DesignPromptEmitter, WhatCountsAsAPrompt) {
    const std::string status48 = std::string(47, 'x') + "\u2026";
    const std::string status49 = std::string(48, 'x') + "\u2026";
    std::string accented40;
    for (int i = 0; i < 40; ++i) accented40 += "\u00e9";
    struct Case {
        const char* description;
        std::string text;
        bool fallback;
        bool prompt;
    } cases[] = {
        {"blank", " \n ", false, false},
        {"icon glyph", "\uE8B5 Export", false, false},
        {"status line of 48 characters", status48, false, false},
        {"49 characters is not a status line", status49, false, true},
        {"status line counted in characters, not bytes", accented40 + "\u2026", false, false},
        {"status first line of a short text", "  Reading\u2026\nok", false, false},
        {"tool line", "Editing index.html", false, false},
        {"prefix needs its space", "Editingly done", false, true},
        {"check mark line only matters in a fallback read", "Make it blue\n\u2713", false, true},
        {"check mark line in a fallback read", "Make it blue\n\u2713", true, false},
        {"progress line inside a fallback read", "Make it blue\nSearching fonts\u2026", true, false},
        {"noise prefix on a later line in a fallback read", "Done\nUpdated todos", true, false},
        {"long last line with an ellipsis is fine in a fallback read",
         "Make it blue\n" + std::string(60, 'y') + "\u2026", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DesignPromptEmitter::isPrompt(c.text, c.fallback), c.prompt) << c.description;
    }
}

TEST(DesignPromptEmitter, EventCarriesThePromptOnly) {
    std::vector<TurnEvent> events;
    DesignPromptEmitter emitter([&](const TurnEvent& e) { events.push_back(e); });
    auto snap = snapshotOf({{{"user", " Make a logo \n"}, {"assistant", "Done"}}});
    snap.inProject = true;
    emitter.process(snap, t0, true);
    ASSERT_EQ(events.size(), 1u);
    TurnEvent expected;
    expected.surface = "claude_design";
    expected.prompt = " Make a logo \n";
    expected.model = "Opus 4.1";
    expected.conversationKey = "p1";
    expected.turnIndex = 1;
    expected.turnTotal = 2;
    expected.observedAt = t0;
    expected.captureTier = 2;
    expected.verdict = "ok";
    EXPECT_EQ(events[0], expected);
    EXPECT_EQ(emitter.lastProcessedAt(), t0);
    EXPECT_EQ(emitter.debugState(), "primed=true seen=1");
    EXPECT_EQ(DesignPromptEmitter([](const TurnEvent&) {}).debugState(), "primed=false seen=0");
}

// The router keeps one emitter per design conversation, as a controller does.
class DesignRouting : public ::testing::Test {
protected:
    std::vector<TurnEvent> events;
    ConversationRouter router{[this](const TurnEvent& e) { events.push_back(e); }};

    void read(const std::string& key, const std::vector<std::string>& prompts, TimePoint at, bool fromNewChat = false) {
        Read r;
        for (const auto& p : prompts) r.turns.emplace_back("user", p);
        auto snap = snapshotOf(r);
        snap.conversationKey = key;
        router.route("claude_design:" + key, "claude_design", snap, at, fromNewChat);
    }
};

TEST_F(DesignRouting, EvictsTheLeastRecentlyProcessed) {
    for (int i = 0; i < 20; ++i) read("c" + std::to_string(i), {"first"}, t0 + std::chrono::seconds(i));
    read("c0", {"first", "second"}, t0 + 100s);  // c0 is now the most recent; c1 the oldest
    ASSERT_EQ(events.size(), 1u);
    read("c20", {"first"}, t0 + 101s);
    EXPECT_EQ(router.designEmitterCount(), 20u);
    EXPECT_EQ(router.designEmitter("claude_design:c1"), nullptr);
    EXPECT_NE(router.designEmitter("claude_design:c0"), nullptr);
    EXPECT_NE(router.designEmitter("claude_design:c20"), nullptr);

    // c1 comes back as a stranger: its prompts on screen are history again.
    read("c1", {"first", "second"}, t0 + 102s);
    EXPECT_EQ(events.size(), 1u);
    EXPECT_TRUE(router.lru().empty()) << "design conversations never get assemblers";
}

TEST_F(DesignRouting, IdleEmittersAreDroppedAfterTheGracePeriod) {
    read("old", {"a"}, t0);
    read("recent", {"a"}, t0 + 50s);
    router.flushIdle(t0 + 100s, 50s);
    EXPECT_EQ(router.designEmitter("claude_design:old"), nullptr);
    EXPECT_NE(router.designEmitter("claude_design:recent"), nullptr) << "idle for exactly the grace period is kept";
    router.stop();
    EXPECT_EQ(router.designEmitterCount(), 0u);
    EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace velmar
