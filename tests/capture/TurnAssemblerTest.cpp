#include "capture/TurnAssembler.hpp"

#include "text/Unicode.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace std::chrono_literals;

RawTurn U(int index, std::string text, bool collapsed = false) {
    RawTurn t;
    t.index = index;
    t.role = "user";
    t.text = std::move(text);
    t.collapsed = collapsed;
    return t;
}

RawTurn A(int index, std::string text) {
    RawTurn t;
    t.index = index;
    t.role = "assistant";
    t.text = std::move(text);
    return t;
}

SegmenterSnapshot snap(std::vector<RawTurn> turns, bool complete = true, std::string key = "conv") {
    int total = 0;
    for (const auto& t : turns) total = std::max(total, t.index);
    for (auto& t : turns) t.total = total;
    SegmenterSnapshot s;
    s.conversationKey = std::move(key);
    s.turns = std::move(turns);
    s.responseComplete = complete;
    return s;
}

// "8/8 Q7 -> R8 ok t2"
std::string describe(const TurnEvent& e) {
    return std::to_string(e.turnIndex) + "/" + std::to_string(e.turnTotal) + " " + e.prompt + " -> " + e.response +
           " " + e.verdict + " t" + std::to_string(e.captureTier);
}

struct Step {
    SegmenterSnapshot snapshot;
    bool fromNewChat = false;
    std::vector<std::string> expected;  // events this step emits
};

struct Scenario {
    const char* description;
    std::vector<Step> steps;
    std::optional<bool> freshSendAcceptsSettledPair = std::nullopt;
};

const std::vector<RawTurn> kSixTurns{U(1, "Q1"), A(2, "R2"), U(3, "Q3"), A(4, "R4"), U(5, "Q5"), A(6, "R6")};

std::vector<RawTurn> plus(std::vector<RawTurn> turns, std::initializer_list<RawTurn> more) {
    turns.insert(turns.end(), more);
    return turns;
}

TEST(TurnAssemblerTest, Scenarios) {
    const Scenario scenarios[] = {
        {"history is withheld, a new pair is sent once",
         {{snap(kSixTurns), false, {}},
          {snap(plus(kSixTurns, {U(7, "Q7"), A(8, "R8")})), false, {"8/8 Q7 -> R8 ok t2"}},
          {snap(plus(kSixTurns, {U(7, "Q7"), A(8, "R8")})), false, {}}}},
        {"a streaming last reply waits; it is sent once complete",
         {{snap(kSixTurns), false, {}},
          {snap(plus(kSixTurns, {U(7, "Q7"), A(8, "R8 part")}), false), false, {}},
          {snap(plus(kSixTurns, {U(7, "Q7"), A(8, "R8 full")})), false, {"8/8 Q7 -> R8 full ok t2"}}}},
        {"a reply followed by a later turn is settled while another streams",
         {{snap({U(1, "Q1"), A(2, "R2")}), false, {}},
          {snap({U(3, "Q3"), A(4, "R4"), U(5, "Q5"), A(6, "R6 part")}, false), false, {"4/6 Q3 -> R4 ok t2"}}}},
        {"a regenerated reply with new text is sent again",
         {{snap({U(1, "Q1"), A(2, "R2")}), false, {}},
          {snap({U(1, "Q1"), A(2, "R2"), U(3, "Q3"), A(4, "R4")}), false, {"4/4 Q3 -> R4 ok t2"}},
          {snap({U(3, "Q3"), A(4, "R4 again, part")}, false), false, {}},
          {snap({U(3, "Q3"), A(4, "R4 again")}), false, {"4/4 Q3 -> R4 again ok t2"}},
          {snap({U(3, "Q3"), A(4, "R4 again")}), false, {}}}},
        {"a regenerated reply with identical text is not sent again",
         {{snap({U(1, "Q1"), A(2, "R2")}), false, {}},
          {snap({U(1, "Q1"), A(2, "R2"), U(3, "Q3"), A(4, "R4")}), false, {"4/4 Q3 -> R4 ok t2"}},
          {snap({U(3, "Q3"), A(4, "R")}, false), false, {}},
          {snap({U(3, "Q3"), A(4, "R4")}), false, {}}}},
        {"a sent reply read differently later, without regenerating, is not sent again",
         {{snap({U(1, "Q1"), A(2, "R2")}), false, {}},
          {snap({U(1, "Q1"), A(2, "R2"), U(3, "Q3"), A(4, "R4")}), false, {"4/4 Q3 -> R4 ok t2"}},
          {snap({U(3, "Q3"), A(4, "R4 with a late footnote")}), false, {}}}},
        {"a sent reply that vanished while something streams counts as regenerating",
         {{snap({U(1, "Q1"), A(2, "R2")}), false, {}},
          {snap({U(1, "Q1"), A(2, "R2"), U(3, "Q3"), A(4, "R4")}), false, {"4/4 Q3 -> R4 ok t2"}},
          {snap({U(3, "Q3")}, false), false, {}},
          {snap({U(3, "Q3"), A(4, "R4 v2")}), false, {"4/4 Q3 -> R4 v2 ok t2"}}}},
        {"an unanswered prompt is sent alone once a later prompt shows",
         {{snap({U(1, "Q1"), A(2, "R2")}), false, {}},
          {snap({U(1, "Q1"), A(2, "R2"), U(3, "Q3")}), false, {}},
          {snap({U(1, "Q1"), A(2, "R2"), U(3, "Q3"), U(4, "Q4")}), false, {"3/4 Q3 ->  degraded t2"}}}},
        {"new chat: a lone prompt is live, its reply completes the pair",
         {{snap({U(1, "Q1")}), true, {}}, {snap({U(1, "Q1"), A(2, "R2")}), false, {"2/2 Q1 -> R2 ok t2"}}}},
        {"new chat: a settled first pair counts when the surface accepts it",
         {{snap({U(1, "Q1"), A(2, "R2")}), true, {}}, {snap({U(1, "Q1"), A(2, "R2")}), false, {"2/2 Q1 -> R2 ok t2"}}},
         true},
        {"new chat: a settled first pair is history when the surface does not accept it",
         {{snap({U(1, "Q1"), A(2, "R2")}), true, {}}, {snap({U(1, "Q1"), A(2, "R2")}), false, {}}},
         false},
        {"not a new chat: a lone prompt is history",
         {{snap({U(1, "Q1")}), false, {}}, {snap({U(1, "Q1"), A(2, "R2")}), false, {"2/2 Q1 -> R2 ok t2"}}}},
        {"an empty first snapshot does not prime",
         {{snap({}), false, {}}, {snap({U(1, "Q1"), A(2, "R2")}), false, {}}}},
        {"another conversation key re-primes",
         {{snap({U(1, "Q1"), A(2, "R2")}), false, {}},
          {snap({U(1, "X1"), A(2, "Y2"), U(3, "X3"), A(4, "Y4")}, true, "other"), false, {}},
          {snap({U(3, "X3"), A(4, "Y4"), U(5, "X5"), A(6, "Y6")}, true, "other"), false, {"6/6 X5 -> Y6 ok t2"}}}},
        {"a reply without a visible prompt is degraded, tier 1",
         {{snap({U(1, "Q1"), A(2, "R2")}), false, {}}, {snap({A(3, "R3")}), false, {"3/3  -> R3 degraded t1"}}}},
        {"a reply before any prompt is paired with no prompt",
         {{snap({U(5, "Q5"), A(6, "R6")}), false, {}},
          {snap({A(7, "R7"), U(8, "Q8"), A(9, "R9")}), false, {"7/9  -> R7 degraded t1", "9/9 Q8 -> R9 ok t2"}}}},
    };
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.description);
        std::vector<TurnEvent> events;
        TurnAssembler assembler("chatgpt", [&](const TurnEvent& e) { events.push_back(e); },
                                scenario.freshSendAcceptsSettledPair);
        TimePoint t{};
        int stepNumber = 0;
        for (const auto& step : scenario.steps) {
            SCOPED_TRACE("step " + std::to_string(++stepNumber));
            events.clear();
            assembler.process(step.snapshot, t += 1s, step.fromNewChat);
            std::vector<std::string> got;
            for (const auto& e : events) got.push_back(describe(e));
            EXPECT_EQ(got, step.expected) << assembler.debugState();
        }
    }
}

TEST(TurnAssemblerTest, WatermarkAndPendingSince) {
    std::vector<TurnEvent> events;
    TurnAssembler a("chatgpt", [&](const TurnEvent& e) { events.push_back(e); });
    const TimePoint t0{};
    a.process(snap(kSixTurns), t0, false);
    EXPECT_EQ(a.historyWatermark(), 6);
    a.process(snap(plus(kSixTurns, {U(7, "Q7 typo")})), t0 + 1s, false);
    a.process(snap(plus(kSixTurns, {U(7, "Q7"), A(8, "R")}), false), t0 + 2s, false);
    EXPECT_EQ(a.pendingSince(7), t0 + 1s) << "first sighting is kept";
    EXPECT_EQ(a.lastProcessedAt(), t0 + 2s);
    a.process(snap(plus(kSixTurns, {U(7, "Q7"), A(8, "R8")})), t0 + 3s, false);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].observedAt, t0 + 3s);
    EXPECT_EQ(a.pendingIndexes(), std::vector<int>{});
    EXPECT_EQ(a.historyWatermark(), 6) << "steady state never moves the watermark";
}

TEST(TurnAssemblerTest, FlushSendsPendingPromptsInOrderAndUnprimes) {
    std::vector<TurnEvent> events;
    TurnAssembler a("deepseek", [&](const TurnEvent& e) { events.push_back(e); });
    const TimePoint t0{};
    auto first = snap({U(1, "Q1"), A(2, "R2")});
    first.model = "deep-1";
    a.process(first, t0, false);
    // Prompts scroll out of view unanswered: each is pending from its first sighting.
    a.process(snap({U(5, "Q5")}), t0 + 5s, false);
    a.process(snap({U(3, "Q3")}), t0 + 3s, false);
    a.flushAbandoned();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(describe(events[0]), "3/3 Q3 ->  degraded t2");
    EXPECT_EQ(events[0].observedAt, t0 + 3s);
    EXPECT_EQ(describe(events[1]), "5/5 Q5 ->  degraded t2");
    EXPECT_EQ(events[1].observedAt, t0 + 5s);
    for (const auto& e : events) {
        EXPECT_EQ(e.conversationKey, "conv");
        EXPECT_EQ(e.model, "deep-1");
        EXPECT_EQ(e.inProject, std::nullopt);
    }
    EXPECT_FALSE(a.primed());

    events.clear();
    a.flushAbandoned();
    a.process(snap({U(5, "Q5"), A(6, "R6")}), t0 + 9s, false);
    EXPECT_TRUE(events.empty()) << "re-primed: what is visible is history";
    EXPECT_TRUE(a.primed());
}

TEST(TurnAssemblerTest, PendingIsBoundedSmallestFirst) {
    int sent = 0;
    TurnAssembler a("chatgpt", [&](const TurnEvent&) { ++sent; });
    a.process(snap({U(1, "Q1"), A(2, "R2")}), TimePoint{}, false);
    for (int i = 1; i <= 10; ++i) a.process(snap({U(2 * i + 1, "Q" + std::to_string(i))}), TimePoint{}, false);
    EXPECT_EQ(a.pendingIndexes(), (std::vector<int>{7, 9, 11, 13, 15, 17, 19, 21}));
    EXPECT_EQ(sent, 0) << "dropped without sending";
}

TEST(TurnAssemblerTest, CollapsedPromptRecovery) {
    const std::string full = std::string(150, 'x') + "  middle\n\n" + std::string(100, 'y');
    const std::string shown = text::graphemePrefix(text::normalizeWhitespace(full), 200) + "\u2026";
    struct Case {
        const char* description;
        std::vector<std::string> drafts;
        RawTurn prompt;
        std::string expectedPrompt;
        int expectedTier;
    };
    const Case cases[] = {
        {"first 200 characters and an ellipsis: the draft, as typed", {full}, U(3, shown, true), full, 2},
        {"newest matching draft wins", {full + " older", full}, U(3, shown, true), full, 2},
        {"no matching draft keeps the shown text", {"something else"}, U(3, shown, true), shown, 2},
        {"a prompt that is not collapsed is taken as shown", {full}, U(3, shown), shown, 2},
        {"an empty collapsed prompt is not recovered", {full}, U(3, "", true), "", 1},
        {"a bare ellipsis matches nothing", {full}, U(3, "\u2026", true), "\u2026", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        std::vector<TurnEvent> events;
        TurnAssembler a("claude_ai", [&](const TurnEvent& e) { events.push_back(e); });
        a.process(snap({U(1, "Q1"), A(2, "R2")}), TimePoint{}, false);
        for (const auto& d : c.drafts) a.cacheDraft(d);
        a.process(snap({U(1, "Q1"), A(2, "R2"), c.prompt, A(4, "R4")}), TimePoint{}, false);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].prompt, c.expectedPrompt);
        EXPECT_EQ(events[0].captureTier, c.expectedTier);
        EXPECT_TRUE(a.recentDrafts().empty()) << "a sent prompt consumes the drafts";
    }
}

TEST(TurnAssemblerTest, DraftCache) {
    struct Case {
        const char* description;
        std::vector<std::string> drafts;
        std::deque<std::string> expected;  // newest first
    };
    const Case cases[] = {
        {"typing on replaces the slot", {"How do", "How do I"}, {"How do I"}},
        {"deleting a tail replaces the slot", {"How do I", "How do"}, {"How do"}},
        {"whitespace differences do not matter", {"How  do", "How do\nI"}, {"How do\nI"}},
        {"never more than two", {"How do", "How do I", "Unrelated", "Another"}, {"Another", "Unrelated"}},
        {"blank drafts are ignored", {"Keep", "  \n "}, {"Keep"}},
    };
    for (const auto& c : cases) {
        TurnAssembler a("chatgpt", nullptr);
        for (const auto& d : c.drafts) a.cacheDraft(d);
        EXPECT_EQ(a.recentDrafts(), c.expected) << c.description;
    }
}

TEST(TurnAssemblerTest, ConversationFactsOnlyOnGoodOrRecoverableEvents) {
    auto reply = [](std::optional<bool> artifact) {
        RawTurn r = A(4, "R4");
        r.producedArtifact = artifact;
        r.artifactTitle = "Title";
        r.artifactType = "code";
        return r;
    };
    struct Case {
        const char* description;
        RawTurn prompt;
        RawTurn response;
        std::optional<bool> inProject, producedArtifact;
        std::optional<std::string> title;
    };
    const Case cases[] = {
        {"ok pair with an artifact", U(3, "Q3"), reply(true), true, true, "Title"},
        {"ok pair without an artifact keeps no title", U(3, "Q3"), reply(false), true, false, std::nullopt},
        {"empty collapsed prompt still carries the facts", U(3, "", true), reply(true), true, true, "Title"},
        {"empty prompt that is not collapsed carries none", U(3, ""), reply(true), std::nullopt, std::nullopt,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        std::vector<TurnEvent> events;
        TurnAssembler a("claude_desktop", [&](const TurnEvent& e) { events.push_back(e); });
        a.process(snap({U(1, "Q1"), A(2, "R2")}), TimePoint{}, false);
        auto s = snap({c.prompt, c.response});
        s.inProject = true;
        a.process(s, TimePoint{}, false);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].inProject, c.inProject);
        EXPECT_EQ(events[0].producedArtifact, c.producedArtifact);
        EXPECT_EQ(events[0].artifactTitle, c.title);
        EXPECT_EQ(events[0].artifactType, c.title ? std::optional<std::string>("code") : std::nullopt);
        EXPECT_EQ(events[0].browser, std::nullopt);
    }
}

}  // namespace
}  // namespace velmar
