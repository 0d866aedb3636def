#include "capture/TurnAssembler.hpp"

#include "capture/Turns.hpp"
#include "text/Unicode.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace std::chrono_literals;
using testing::snap;

// "8/8 Q7 -> R8 ok t2", events "; "-separated
std::string describe(const std::vector<TurnEvent>& events) {
    std::string out;
    for (const auto& e : events) {
        out += (out.empty() ? "" : "; ") + std::to_string(e.turnIndex) + "/" + std::to_string(e.turnTotal) + " " +
               e.prompt + " -> " + e.response + " " + e.verdict + " t" + std::to_string(e.captureTier) +
               (e.revision ? " r" + std::to_string(e.revision) : "");
    }
    return out;
}

// A conversation handed over before a restart resumes after the remembered
// exchange: what came after it is sent, never what came before.
TEST(TurnAssemblerTest, Scenarios) {
    using Handed = std::optional<TurnAssembler::HandedExchange>;
    const auto handed = [](int index, const char* reply) {
        return TurnAssembler::HandedExchange{index, *reply ? TurnAssembler::resumeSignature(reply) : ""};
    };
    struct Step {
        const char* snapshot;
        const char* expected;              // what this step emits
        const char* restreamed = nullptr;  // the sent replies then watched as regenerating
        bool fromNewChat = false;
        const char* key = "conv";
    };
    struct Scenario {
        const char* description;
        std::vector<Step> steps;
        std::optional<bool> acceptsSettledPair{};  // whether a fresh send accepts a settled pair (else the surface's)
        Handed handed{};                           // what a restart remembers of the conversation
    };
    const Scenario scenarios[] = {
        {"history is withheld; a streaming reply waits and is sent once, when complete",
         {{"Q1 R2 Q3 R4", ""}, {"Q1 R2 Q3 R4 Q5 R6p ~", ""}, {"Q1 R2 Q3 R4 Q5 R6", "6/6 Q5 -> R6 ok t2"},
          {"Q3 R4 Q5 R6", ""}}},
        {"a reply followed by a later turn is settled while another streams",
         {{"Q1 R2", ""}, {"Q3 R4 Q5 R6p ~", "4/6 Q3 -> R4 ok t2"}}},
        {"a regenerated reply with new text is sent again, once",
         {{"Q1 R2", ""}, {"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2"}, {"Q3 R4v2p ~", ""},
          {"Q3 R4v2", "4/4 Q3 -> R4v2 ok t2 r1"}, {"Q3 R4v2", ""}}},
        {"a regenerated reply with identical text is not sent again",
         {{"Q1 R2", ""}, {"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2"}, {"Q3 R4p ~", ""}, {"Q3 R4", ""}}},
        {"a sent reply read differently later, without regenerating or growing, is not sent again",
         {{"Q1 R2", ""}, {"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2"}, {"Q3 R04", ""}}},
        {"a sent reply that went on growing is sent whole again as its next revision, also once a turn follows",
         {{"Q1 R2", ""}, {"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2"}, {"Q3 R4more", "4/4 Q3 -> R4more ok t2 r1"},
          {"Q3 R4more", ""}, {"Q3 R4moremost Q5", "4/5 Q3 -> R4moremost ok t2 r2"}}},
        {"a sent reply that vanished while something streams counts as regenerating",
         {{"Q1 R2", ""}, {"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2"}, {"Q3 ~", ""}, {"Q3 R4v2", "4/4 Q3 -> R4v2 ok t2 r1"}}},
        {"an unanswered prompt is sent alone once a later prompt shows",
         {{"Q1 R2", ""}, {"Q1 R2 Q3", ""}, {"Q1 R2 Q3 Q4", "3/4 Q3 ->  degraded t2"}}},
        {"a reply without a visible prompt is degraded, tier 1", {{"Q1 R2", ""}, {"R3", "3/3  -> R3 degraded t1"}}},
        {"new chat: a lone prompt is live", {{"Q1", "", nullptr, true}, {"Q1 Q2", "1/2 Q1 ->  degraded t2"}}},
        {"not a new chat: a lone prompt is history", {{"Q1", ""}, {"Q1 Q2", ""}}},
        {"new chat: a settled first pair counts when the surface accepts it",
         {{"Q1 R2", "", nullptr, true}, {"Q1 R2", "2/2 Q1 -> R2 ok t2"}}, true},
        {"new chat: a settled first pair is history when the surface does not accept it",
         {{"Q1 R2", "", nullptr, true}, {"Q1 R2", ""}}, false},
        {"an empty first snapshot does not prime", {{"", ""}, {"Q1 R2", ""}}},
        {"another conversation key re-primes",
         {{"Q1 R2", ""}, {"Q1 R2 Q3 R4", "", nullptr, false, "b"}, {"Q3 R4 Q5 R6", "6/6 Q5 -> R6 ok t2", nullptr, false, "b"}}},
        {"restart: an exchange that completed while the agent was down is sent",
         {{"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2"}, {"Q1 R2 Q3 R4", ""}}, {}, handed(2, "R2")},
        {"restart: nothing after the handed exchange", {{"Q1 R2 Q3 R4", ""}}, {}, handed(4, "R4")},
        {"restart: another reply at the handed ordinal", {{"Q1 R2 Q3 R4", ""}}, {}, handed(2, "R2other")},
        {"restart: the handed ordinal off screen", {{"Q3 R4 Q5 R6", ""}}, {}, handed(2, "R2")},
        {"restart: a prompt handed without its reply (stopped while it streamed): the whole exchange follows",
         {{"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2"}}, {}, handed(3, "")},
        {"restart: a reply still streaming after the handed exchange is sent once complete",
         {{"Q1 R2 Q3 R4p ~", ""}, {"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2"}}, {}, handed(2, "R2")},
        // Every sent reply out of view while something streams is watched, however it left the watch before.
        {"watch: a reply out of view while another streams; one in view is not",
         {{"Q1 R2", "", "[]"}, {"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2", "[]"}, {"Q3 R4 Q5 R6", "6/6 Q5 -> R6 ok t2", "[]"}, {"Q5 R6 Q7 ~", "", "[4]"},
          {"Q7 R8p ~", "", "[4, 6]"}}},
        {"watch: streaming again in view marks it; an identical regeneration unmarks it; out of view marks it again",
         {{"Q1 R2", "", "[]"}, {"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2", "[]"}, {"Q3 R4p ~", "", "[4]"}, {"Q3 R4", "", "[]"},
          {"Q5 ~", "", "[4]"}}},
        {"watch: sending the regenerated reply unmarks it until it leaves the view again",
         {{"Q1 R2", "", "[]"}, {"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2", "[]"}, {"Q3 ~", "", "[4]"}, {"Q3 R4v2", "4/4 Q3 -> R4v2 ok t2 r1", "[]"},
          {"Q3 R4v2 Q5 ~", "", "[]"}, {"Q5 R6p ~", "", "[4]"}}},
        {"watch: re-priming forgets the watch",
         {{"Q1 R2", "", "[]"}, {"Q1 R2 Q3 R4", "4/4 Q3 -> R4 ok t2", "[]"}, {"Q1 R2", "", "[]", false, "other"},
          {"Q5 ~", "", "[]", false, "other"}}},
    };
    for (const auto& c : scenarios) {
        SCOPED_TRACE(c.description);
        std::vector<TurnEvent> events;
        TurnAssembler a("chatgpt", [&](const TurnEvent& e) { events.push_back(e); }, c.acceptsSettledPair);
        a.setResumeLookup([&](const std::string& surface, const std::string& key) -> Handed {
            return surface == "chatgpt" && key == "conv" ? c.handed : std::nullopt;
        });
        TimePoint t{};
        for (const auto& step : c.steps) {
            events.clear();
            a.process(snap(step.snapshot, false, step.key), t += 1s, step.fromNewChat);
            const auto state = a.debugState();
            EXPECT_EQ(describe(events), step.expected) << "at " << step.snapshot << ", " << state;
            if (step.restreamed) {
                EXPECT_EQ(state.substr(state.find("restreamed=") + 11), step.restreamed) << state;
            }
        }
    }
}

TEST(TurnAssemblerTest, PendingPromptsAreBoundedAndFlushedInOrderFromTheirFirstSighting) {
    std::vector<TurnEvent> events;
    TurnAssembler a("deepseek", [&](const TurnEvent& e) { events.push_back(e); });
    const TimePoint t0{};
    auto first = snap("Q1 R2");
    first.model = "deep-1";
    a.process(first, t0, false);
    // Prompts scroll out of view unanswered; a later read of one keeps its first sighting.
    a.process(snap("Q5"), t0 + 5s, false);
    a.process(snap("Q3"), t0 + 3s, false);
    a.process(snap("Q5"), t0 + 7s, false);
    a.flushAbandoned();
    EXPECT_EQ(describe(events), "3/3 Q3 ->  degraded t2; 5/5 Q5 ->  degraded t2");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].observedAt, t0 + 3s);
    EXPECT_EQ(events[1].observedAt, t0 + 5s);
    EXPECT_EQ(events[1].model, "deep-1");
    EXPECT_EQ(events[1].conversationKey, "conv");

    events.clear();
    a.flushAbandoned();
    a.process(snap("Q5 R6"), t0 + 9s, false);
    EXPECT_TRUE(events.empty()) << "un-primed: what is visible next is history";

    // The page goes away while its reply waits to be judged complete: the
    // reply goes as last read, marked unconfirmed, never dropped.
    a.process(snap("Q5 R6 Q7 R8p ~"), t0 + 10s, false);
    a.process(snap("Q5 R6 Q7 R8 ~"), t0 + 11s, false);
    a.flushAbandoned();
    EXPECT_EQ(describe(events), "8/8 Q7 -> R8 degraded t2");
    EXPECT_EQ(events[0].unconfirmedReplyAfter, 7) << "a restart resumes after the prompt";

    // Pending prompts are bounded: the smallest unsent go first, unsent.
    events.clear();
    a.process(snap("Q1 R2"), t0, false);
    for (int i = 3; i <= 21; i += 2) a.process(snap("Q" + std::to_string(i)), t0, false);
    EXPECT_EQ(a.pendingIndexes(), (std::vector<int>{7, 9, 11, 13, 15, 17, 19, 21}));
    EXPECT_TRUE(events.empty());
}

// A prompt the page shows cut short is sent as the draft typed before it; the
// conversation's facts go only with an event whose exchange is whole or recoverable.
TEST(TurnAssemblerTest, TheSentExchangeCarriesTheTypedPromptAndTheConversationFacts) {
    const std::string full = std::string(150, 'x') + "  middle\n\n" + std::string(100, 'y');
    const std::string shown = text::graphemePrefix(text::normalizeWhitespace(full), 200) + "\u2026";
    const std::string facts = "project artifact Title code";
    struct Case {
        const char* description;
        std::vector<std::string> drafts;  // typed, oldest first
        std::string shownPrompt;
        bool collapsed;
        bool artifact;  // the reply produced one
        std::string sentPrompt;
        std::string sentFacts;
    };
    const Case cases[] = {
        {"first 200 characters and an ellipsis: the draft, as typed", {full}, shown, true, true, full, facts},
        {"typing on replaces a draft rather than pushing the older out", {full, "other", "other, more"}, shown, true,
         true, full, facts},
        {"newest matching draft wins", {full + " older", full}, shown, true, true, full, facts},
        {"no matching draft keeps the shown text", {"something else"}, shown, true, true, shown, facts},
        {"a prompt that is not collapsed is taken as shown", {full}, shown, false, true, shown, facts},
        {"an empty collapsed prompt is not recovered, yet carries the facts", {full}, "", true, true, "", facts},
        {"a bare ellipsis matches nothing", {full}, "\u2026", true, true, "\u2026", facts},
        {"a reply without an artifact keeps no title", {}, "Q3", false, false, "Q3", "project no-artifact"},
        {"an empty prompt that is not collapsed carries no facts", {}, "", false, true, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        std::vector<TurnEvent> events;
        TurnAssembler a("claude_ai", [&](const TurnEvent& e) { events.push_back(e); });
        a.process(snap("Q1 R2"), TimePoint{}, false);
        for (const auto& d : c.drafts) a.cacheDraft(d);
        auto s = snap("Q1 R2 Q3 R4");
        s.inProject = true;
        s.turns[2].text = c.shownPrompt;
        s.turns[2].collapsed = c.collapsed;
        s.turns[3].producedArtifact = c.artifact;
        s.turns[3].artifactTitle = "Title";
        s.turns[3].artifactType = "code";
        a.process(s, TimePoint{}, false);
        ASSERT_EQ(events.size(), 1u);
        const auto& e = events[0];
        EXPECT_EQ(e.prompt, c.sentPrompt);
        EXPECT_EQ(e.captureTier, c.sentPrompt.empty() ? 1 : 2);
        EXPECT_TRUE(a.recentDrafts().empty()) << "a sent prompt consumes the drafts";
        std::string sentFacts = e.inProject ? "project" : "";
        if (e.producedArtifact) sentFacts += *e.producedArtifact ? " artifact" : " no-artifact";
        for (const auto& text : {e.artifactTitle, e.artifactType}) sentFacts += text ? " " + *text : "";
        EXPECT_EQ(sentFacts, c.sentFacts);
    }
}

}  // namespace
}  // namespace velmar
