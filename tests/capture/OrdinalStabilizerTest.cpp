#include "capture/OrdinalStabilizer.hpp"

#include "capture/Turns.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

namespace velmar {
namespace {

// "skip", "reset", or "Q1@1 R1@2 /2" (text@ordinal, then the total every turn carries).
std::string describe(const StabilizedSnapshot& r) {
    using enum StabilizedSnapshot::Kind;
    if (r.kind != stabilized) return r.kind == skip ? "skip" : "reset";
    std::ostringstream out;
    std::set<int> totals;
    for (const auto& t : r.snapshot->turns) {
        out << t.text << "@" << t.index << " ";
        totals.insert(t.total);
    }
    if (totals.size() > 1) return out.str() + "/mixed";
    return out.str() + "/" + std::to_string(totals.empty() ? 0 : *totals.begin());
}

TEST(OrdinalStabilizerTest, Renumbering) {
    struct Case {
        const char* description;
        bool settledMountsAreHistory;
        std::vector<std::string> before;  // earlier windows, results ignored
        std::string read;                 // texts; "~": the last reply still streams
        std::string expected;
        bool reversed = false;  // the turns come in the wrong order
    };
    const Case cases[] = {
        {"first read numbers by position", false, {}, "Q1 R1 Q2 R2", "Q1@1 R1@2 Q2@3 R2@4 /4"},
        {"scrolled down: turns above the first known prompt are dropped", false, {"Q1 R1 Q2 R2"},
         "R1 Q2 R2 Q3 R3 ~", "Q2@3 R2@4 Q3@5 R3@6 /6"},
        {"scrolled up to the top again", false, {"Q3 R3 Q4 R4", "Q4 R4 Q5 R5"}, "Q3 R3 Q4 R4",
         "Q3@1 R3@2 Q4@3 R4@4 /4"},
        {"known prompts out of order", false, {"Q1 R1 Q2 R2 Q3 R3"}, "Q3 R3 Q1 R1", "reset"},
        {"same known prompt twice", false, {"Q1 R1 Q2 R2"}, "Q2 R2 Q2 R2", "reset"},
        {"same new prompt twice in one window", false, {"Q1 R1"}, "Q1 R1 Q9 R9 Q9 R9", "/0"},
        {"only unknown prompts and no settled reply in view", false, {"Q1 R1"}, "Q7 R7", "reset"},
        {"tail of the last settled reply anchors the window", false, {"Q1 R1 Q2 R2"}, "R2 Q3", "R2@4 Q3@5 /5"},
        {"tail of another reply pairs with the last prompt", false, {"Q1 R1 Q2 R2"}, "Rtail ~",
         "Q2@3 Rtail@4 /4"},
        {"a window of replies ending in a tool turn", false, {"Q1 R1"}, "R0 tool", "skip"},
        {"tool turns take an ordinal", false, {}, "Q1 tool R1", "Q1@1 tool@2 R1@3 /3"},
        // Surfaces whose old answered prompts look new when they scroll into view.
        {"answered prompt scrolled into view is withheld with its reply", true, {"Q5 R5 Q6 R6"}, "Q6 R6 Q7 R7",
         "Q6@3 R6@4 /6"},
        {"withheld prompt stays withheld on later reads", true, {"Q5 R5 Q6 R6", "Q6 R6 Q7 R7"}, "Q6 R6 Q7 R7 Q8",
         "Q6@3 R6@4 Q8@7 /7"},
        {"prompt followed by more than one turn is history", true, {"Q1 R1"}, "Q1 R1 Q2 R2 Q3", "Q1@1 R1@2 Q3@5 /5"},
        {"prompt last in the window is a live send", true, {"Q1 R1"}, "Q1 R1 Q2", "Q1@1 R1@2 Q2@3 /3"},
        {"prompt with a streaming reply is a live send", true, {"Q1 R1"}, "Q1 R1 Q2 R2 ~", "Q1@1 R1@2 Q2@3 R2@4 /4"},
        {"prompt with a streaming reply read in two pieces is a live send", true, {"Q1 R1"}, "Q1 R1 Q2 R2 R3 ~",
         "Q1@1 R1@2 Q2@3 R2@4 R3@5 /5"},
        {"prompt with two settled replies after it is history", true, {"Q1 R1"}, "Q1 R1 Q2 R2 R3",
         "Q1@1 R1@2 /5"},
        {"armed prompt stays output once its reply settles", true, {"Q1 R1", "Q1 R1 Q2"}, "Q1 R1 Q2 R2",
         "Q1@1 R1@2 Q2@3 R2@4 /4"},
        {"without the rule every new prompt is output", false, {"Q5 R5 Q6 R6"}, "Q6 R6 Q7 R7",
         "Q6@3 R6@4 Q7@5 R7@6 /6"},
        {"turns are put in order by their index first", false, {}, "Q1 R1 Q2", "Q1@1 R1@2 Q2@3 /3", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        OrdinalStabilizer s(c.settledMountsAreHistory);
        for (const auto& w : c.before) s.stabilize(testing::snap(w, true));
        auto read = testing::snap(c.read, true);
        if (c.reversed) std::reverse(read.turns.begin(), read.turns.end());
        EXPECT_EQ(describe(s.stabilize(read)), c.expected);
    }
}

}  // namespace
}  // namespace velmar
