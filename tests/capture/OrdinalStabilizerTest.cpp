#include "capture/OrdinalStabilizer.hpp"

#include "parsing/FnvHash.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace velmar {
namespace {

// A window as the parser numbers it: by position, 1 from the top. Texts
// starting with "Q" are user turns, "R" assistant turns, anything else "tool".
struct Window {
    std::vector<std::string> texts;
    bool complete = true;
};

SegmenterSnapshot windowSnapshot(const Window& w) {
    SegmenterSnapshot s;
    s.conversationKey = "conv";
    s.responseComplete = w.complete;
    s.model = "m";
    s.composerDraft = "draft";
    int i = 0;
    for (const auto& text : w.texts) {
        RawTurn t;
        t.index = ++i;
        t.total = static_cast<int>(w.texts.size());
        t.role = text[0] == 'Q' ? "user" : text[0] == 'R' ? "assistant" : "tool";
        t.text = text;
        s.turns.push_back(t);
    }
    return s;
}

// "skip", "reset", or "Q1@1 R1@2 /2" (text@ordinal, then the common total).
std::string describe(const StabilizedSnapshot& r) {
    if (r.kind == StabilizedSnapshot::Kind::skip) return "skip";
    if (r.kind == StabilizedSnapshot::Kind::reset) return "reset";
    std::ostringstream out;
    int total = -1;
    bool sameTotal = true;
    for (const auto& t : r.snapshot->turns) {
        out << t.text << "@" << t.index << " ";
        if (total >= 0 && t.total != total) sameTotal = false;
        total = t.total;
    }
    if (!sameTotal) return out.str() + "/mixed";
    return out.str() + "/" + std::to_string(std::max(total, 0));
}

struct Case {
    const char* description;
    bool settledMountsAreHistory;
    std::vector<Window> before;  // earlier reads, results ignored
    Window read;
    std::string expected;
};

TEST(OrdinalStabilizerTest, Renumbering) {
    const Case cases[] = {
        {"first read numbers by position", false, {}, {{"Q1", "R1", "Q2", "R2"}}, "Q1@1 R1@2 Q2@3 R2@4 /4"},
        {"first read ignores the history rule", true, {}, {{"Q1", "R1", "Q2", "R2"}}, "Q1@1 R1@2 Q2@3 R2@4 /4"},
        {"scrolled down: turns above the first known prompt are dropped", false,
         {{{"Q1", "R1", "Q2", "R2"}}}, {{"R1", "Q2", "R2", "Q3", "R3"}, false}, "Q2@3 R2@4 Q3@5 R3@6 /6"},
        {"scrolled up to the top again", false,
         {{{"Q3", "R3", "Q4", "R4"}}, {{"Q4", "R4", "Q5", "R5"}}}, {{"Q3", "R3", "Q4", "R4"}},
         "Q3@1 R3@2 Q4@3 R4@4 /4"},
        {"known prompts out of order", false,
         {{{"Q1", "R1", "Q2", "R2", "Q3", "R3"}}}, {{"Q3", "R3", "Q1", "R1"}}, "reset"},
        {"same known prompt twice", false, {{{"Q1", "R1", "Q2", "R2"}}}, {{"Q2", "R2", "Q2", "R2"}}, "reset"},
        {"same new prompt twice in one window", false, {{{"Q1", "R1"}}}, {{"Q1", "R1", "Q9", "R9", "Q9", "R9"}},
         "/0"},
        {"only unknown prompts and no settled reply in view", false, {{{"Q1", "R1"}}}, {{"Q7", "R7"}}, "reset"},
        {"tail of the last settled reply anchors the window", false,
         {{{"Q1", "R1", "Q2", "R2"}}}, {{"R2", "Q3"}}, "R2@4 Q3@5 /5"},
        {"tail of a reply that is not the settled one pairs with the last prompt", false,
         {{{"Q1", "R1", "Q2", "R2"}}}, {{"R-long-tail"}, false}, "Q2@3 R-long-tail@4 /4"},
        {"unprimed, a lone reply is numbered by position", false, {}, {{"R1"}}, "R1@1 /1"},
        {"primed but no prompt ever output: nothing to pair a reply with", false, {{{"Q9", "R9", "Q9"}}},
         {{"R-tail"}}, "skip"},
        {"a window of replies ending in a tool turn", false, {{{"Q1", "R1"}}}, {{"R0", "tool"}}, "skip"},
        {"empty window", false, {{{"Q1", "R1"}}}, {{}}, "/0"},
        {"tool turns take an ordinal", false, {}, {{"Q1", "tool", "R1"}}, "Q1@1 tool@2 R1@3 /3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        OrdinalStabilizer s(c.settledMountsAreHistory);
        for (const auto& w : c.before) s.stabilize(windowSnapshot(w));
        EXPECT_EQ(describe(s.stabilize(windowSnapshot(c.read))), c.expected);
    }
}

TEST(OrdinalStabilizerTest, SettledMountsAsHistory) {
    const Case cases[] = {
        {"answered prompt scrolled into view is withheld with its reply", true,
         {{{"Q5", "R5", "Q6", "R6"}}}, {{"Q6", "R6", "Q7", "R7"}}, "Q6@3 R6@4 /6"},
        {"withheld prompt stays withheld on later reads", true,
         {{{"Q5", "R5", "Q6", "R6"}}, {{"Q6", "R6", "Q7", "R7"}}}, {{"Q6", "R6", "Q7", "R7", "Q8"}},
         "Q6@3 R6@4 Q8@7 /7"},
        {"prompt followed by more than one turn is history", true,
         {{{"Q1", "R1"}}}, {{"Q1", "R1", "Q2", "R2", "Q3"}}, "Q1@1 R1@2 Q3@5 /5"},
        {"prompt last in the window is a live send", true, {{{"Q1", "R1"}}}, {{"Q1", "R1", "Q2"}},
         "Q1@1 R1@2 Q2@3 /3"},
        {"prompt with a streaming reply is a live send", true, {{{"Q1", "R1"}}}, {{"Q1", "R1", "Q2", "R2"}, false},
         "Q1@1 R1@2 Q2@3 R2@4 /4"},
        {"armed prompt stays output once its reply settles", true,
         {{{"Q1", "R1"}}, {{"Q1", "R1", "Q2"}}}, {{"Q1", "R1", "Q2", "R2"}}, "Q1@1 R1@2 Q2@3 R2@4 /4"},
        {"without the rule every new prompt is output", false,
         {{{"Q5", "R5", "Q6", "R6"}}}, {{"Q6", "R6", "Q7", "R7"}}, "Q6@3 R6@4 Q7@5 R7@6 /6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        OrdinalStabilizer s(c.settledMountsAreHistory);
        for (const auto& w : c.before) s.stabilize(windowSnapshot(w));
        EXPECT_EQ(describe(s.stabilize(windowSnapshot(c.read))), c.expected);
    }
}

TEST(OrdinalStabilizerTest, RemembersLastPromptAndSettledReply) {
    OrdinalStabilizer s(false);
    s.stabilize(windowSnapshot({{"Q1", "R1", "Q2", "R2"}}));
    ASSERT_TRUE(s.lastUser());
    EXPECT_EQ(s.lastUser()->text, "Q2");
    EXPECT_EQ(s.lastUser()->index, 3);
    EXPECT_EQ(s.lastUser()->total, 4);
    EXPECT_EQ(s.lastAssistant(), (OrdinalStabilizer::SettledAssistant{fnvHash("R2"), 4}));

    // A streaming last reply is not settled; the one before it stays.
    s.stabilize(windowSnapshot({{"R1", "Q2", "R2", "Q3", "R3"}, false}));
    EXPECT_EQ(s.lastAssistant(), (OrdinalStabilizer::SettledAssistant{fnvHash("R2"), 4}));
    EXPECT_EQ(s.lastUser()->text, "Q3");
    s.stabilize(windowSnapshot({{"Q3", "R3"}, true}));
    EXPECT_EQ(s.lastAssistant(), (OrdinalStabilizer::SettledAssistant{fnvHash("R3"), 6}));
}

TEST(OrdinalStabilizerTest, SortsByIndexFirst) {
    OrdinalStabilizer s(false);
    auto in = windowSnapshot({{"Q1", "R1", "Q2"}});
    std::reverse(in.turns.begin(), in.turns.end());
    EXPECT_EQ(describe(s.stabilize(in)), "Q1@1 R1@2 Q2@3 /3");
}

}  // namespace
}  // namespace velmar
