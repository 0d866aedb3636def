#include "parsing/PerplexityTranscriptParser.hpp"
#include "parsing/PerplexityWebSegmenter.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::N;

N text(std::string s) { return std::move(N("AXStaticText").value(std::move(s))); }
N button(std::string label) { return std::move(N("AXButton").description(std::move(label))); }
N controls() { return std::move(N("AXGroup").kids({button("Edit query"), button("Copy query")})); }
N copy() { return button("Copy"); }
N block(std::vector<N> kids) {
    N g("AXGroup");
    for (auto& k : kids) g.kid(k);
    return g;
}
N chip(std::string site, std::string more = "") {
    N c = std::move(N("AXGroup").kids({N("AXImage"), text(std::move(site))}));
    if (!more.empty()) c.kid(text(std::move(more)));
    return c;
}

N page(std::vector<N> blocks, std::vector<N> outside = {}) {
    N thread = block(std::move(blocks));
    N main = std::move(N("AXGroup").subrole("AXLandmarkMain").kids({N("AXGroup").kids({thread})}));
    for (auto& o : outside) main.kid(o);
    return std::move(N("AXWebArea").kids({N("AXGroup").kids({N("AXGroup").description("Sidebar").kids({button("Home")})}), main}));
}

struct Turn {
    std::string role;
    std::string text;
    bool operator==(const Turn&) const = default;
};

TEST(PerplexityTranscriptParser, Segmentation) {
    struct Case {
        const char* description;
        N tree;
        std::vector<Turn> turns;
        bool complete;
    };
    const Case cases[] = {
        {"clock times are dropped from the query, only there",
         page({controls(), block({text("Mar 3, 9:41 AM"), text("hello"), text("12:05pm")}), block({text("At 10:30 PM")}),
               block({text("9:00 AM")}), copy()}),
         {{"user", "hello"}, {"assistant", "At 10:30 PM\n9:00 AM"}}, true},
        {"a query of clock times only is an empty user turn",
         page({controls(), block({text("9:41 AM")}), block({text("a")}), copy()}), {{"user", ""}, {"assistant", "a"}}, true},
        {"an answer with no parts yet gives no assistant turn",
         page({controls(), block({text("q")}), N("AXImage"), block({button("Sources")})}), {{"user", "q"}}, false},
        {"an answer closed by Copy without text is an empty turn",
         page({controls(), block({text("q")}), copy()}), {{"user", "q"}, {"assistant", ""}}, true},
        {"a block without bare text does not take the query's place",
         page({controls(), block({button("Share"), N("AXLink").kids({text("link")})}), block({text("q")}), copy()}),
         {{"user", "q"}, {"assistant", ""}}, true},
        {"chips and controls are left out of the answer; an image with a sentence is kept",
         page({controls(), block({text("q")}),
               block({text("Paris is the capital."), chip("wikipedia", "+3"), chip("britannica"),
                      N("AXGroup").kids({N("AXImage"), text("The Eiffel Tower at night")}),
                      N("AXPopUpButton").kids({text("More")})}),
               copy()}),
         {{"user", "q"}, {"assistant", "Paris is the capital.\nThe Eiffel Tower at night"}}, true},
        {"a short Stop button outside the thread means still answering",
         page({controls(), block({text("q")}), copy()}, {button("Stop generating")}), {{"user", "q"}, {"assistant", ""}}, false},
        {"a long Stop label is prose, not the control",
         page({controls(), block({text("q")}), copy()}, {button("Stop words are filtered before indexing")}),
         {{"user", "q"}, {"assistant", ""}}, true},
        {"a Stop button inside the thread is not searched",
         page({controls(), block({text("q")}), block({button("Stop"), text("a")}), copy()}),
         {{"user", "q"}, {"assistant", "a"}}, true},
    };
    for (const auto& c : cases) {
        auto recorded = PerplexityTranscriptParser{}.snapshot(*c.tree.build(), std::string("k"));
        auto live = PerplexityWebSegmenter{}.snapshot(AXElement(c.tree.buildSim()), std::string("k"));
        EXPECT_EQ(recorded, live) << c.description;
        ASSERT_TRUE(recorded) << c.description;
        std::vector<Turn> got;
        for (std::size_t i = 0; i < recorded->turns.size(); ++i) {
            const auto& t = recorded->turns[i];
            got.push_back({t.role, t.text});
            EXPECT_EQ(t.index, static_cast<int>(i) + 1) << c.description;
            EXPECT_EQ(t.total, static_cast<int>(recorded->turns.size())) << c.description;
        }
        EXPECT_EQ(got, c.turns) << c.description;
        EXPECT_EQ(recorded->responseComplete, c.complete) << c.description;
    }
}

TEST(PerplexityTranscriptParser, NoSnapshot) {
    struct Case {
        const char* description;
        N tree;
    };
    const Case cases[] = {
        {"no main landmark", N("AXWebArea").kids({block({controls(), block({text("q")})})})},
        {"controls need both buttons", page({block({button("Edit query"), button("Copy")}), block({text("q")})})},
        {"controls without a query yet", page({controls()})},
    };
    for (const auto& c : cases) EXPECT_FALSE(PerplexityTranscriptParser{}.snapshot(*c.tree.build(), std::nullopt)) << c.description;
}

TEST(PerplexityTranscriptParser, CitationChip) {
    struct Case {
        const char* description;
        N node;
        bool chip;
    };
    const Case cases[] = {
        {"icon, site name and overflow count", chip("reddit", "+12"), true},
        {"blank text beside the icon", chip(" "), true},
        {"a text with inner blanks", chip("The Verge"), false},
        {"an overflow with words", chip("nytimes", "+3 more"), false},
        {"no icon", block({text("wikipedia")}), false},
        {"not a group", N("AXLink").kids({N("AXImage"), text("wikipedia")}), false},
        {"texts deeper than the direct children do not count", block({N("AXImage"), block({text("wikipedia")})}), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PerplexityTranscriptParser::isCitationChip(*c.node.build()), c.chip) << c.description;
    }
}

}  // namespace
}  // namespace velmar
