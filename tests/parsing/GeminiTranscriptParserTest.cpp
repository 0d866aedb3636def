#include "parsing/GeminiTranscriptParser.hpp"
#include "parsing/GeminiWebSegmenter.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::N;

N text(std::string s) { return std::move(N("AXStaticText").value(std::move(s))); }

N userHalf(std::string query, std::string headingLabel = "You said ") {
    N half("AXGroup");
    half.kid(N("AXHeading").classes({"cdk-visually-hidden", "screen-reader-user-query-label"}).title(headingLabel + query));
    if (!query.empty()) half.kid(N("AXGroup").classes({"query-content"}).kids({N("AXGroup").kids({text(query)})}));
    return half;
}

N modelHalf(std::vector<N> paragraphs, bool markdown = true) {
    N body = markdown ? std::move(N("AXGroup").classes({"markdown"})) : N("AXGroup");
    for (auto& p : paragraphs) body.kid(p);
    return std::move(N("AXGroup").kids({
        N("AXHeading").classes({"cdk-visually-hidden", "screen-reader-model-response-label"}).title("Gemini said"),
        N("AXGroup").classes({"response-container"}).kids({N("AXGroup").kids({text("Show thinking")}), body}),
    }));
}

N exchange(std::vector<N> halves) {
    N e = std::move(N("AXGroup").classes({"conversation-container"}));
    for (auto& h : halves) e.kid(h);
    return e;
}

N picker(std::string label) {
    return std::move(N("AXGroup").classes({"with-model-picker"}).kids({N("AXPopUpButton").description(std::move(label))}));
}

N page(std::vector<N> exchanges, std::vector<N> chrome = {}) {
    N history = std::move(N("AXGroup").classes({"chat-history"}));
    for (auto& e : exchanges) history.kid(e);
    N main = std::move(N("AXGroup").subrole("AXLandmarkMain").kids({history}));
    for (auto& c : chrome) main.kid(c);
    return std::move(N("AXWebArea").kids({main}));
}

struct TurnView {
    int index;
    std::string role;
    std::string text;
    bool operator==(const TurnView&) const = default;
};

std::vector<TurnView> view(const SegmenterSnapshot& snap) {
    std::vector<TurnView> out;
    for (const auto& t : snap.turns) out.push_back({t.index, t.role, t.text});
    return out;
}

// Parses the tree as a recording and as live elements; both must agree.
std::optional<SegmenterSnapshot> parseBoth(const N& tree, const char* description) {
    GeminiTranscriptParser parser;
    auto recorded = parser.snapshot(*tree.build(), std::string("k"));
    GeminiWebSegmenter segmenter;
    auto live = segmenter.snapshot(AXElement(tree.buildSim()), std::string("k"));
    EXPECT_EQ(recorded, live) << description;
    return recorded;
}

TEST(GeminiTranscriptParser, Turns) {
    struct Case {
        const char* description;
        N tree;
        std::vector<TurnView> turns;
        int total;
        bool complete;
    };
    const Case cases[] = {
        {"a missing model heading leaves its slot unused",
         page({exchange({userHalf("one")}), exchange({userHalf("two"), modelHalf({text("A2")})})}),
         {{1, "user", "one"}, {3, "user", "two"}, {4, "assistant", "A2"}}, 4, true},
        {"query text falls back to the heading label, trimmed",
         page({exchange({userHalf("", "You said   what is rust?\n"), modelHalf({text("A")})})}),
         {{1, "user", "what is rust?"}, {2, "assistant", "A"}}, 2, true},
        {"a heading without the prefix gives an empty query",
         page({exchange({userHalf("", "Prompt: hi"), modelHalf({text("A")})})}),
         {{1, "user", ""}, {2, "assistant", "A"}}, 2, true},
        {"hidden headings inside the answer are not text; pieces keep their spacing",
         page({exchange({userHalf("q"), modelHalf({N("AXHeading").classes({"cdk-visually-hidden"}).kids({text("Code")}),
                                                    N("AXGroup").kids({text("Use "), text("cargo"), text("  ")}),
                                                    N("AXHeading").kids({text("Steps")})})})}),
         {{1, "user", "q"}, {2, "assistant", "Use \ncargo\nSteps"}}, 2, true},
        {"without a markdown node the whole response container is text",
         page({exchange({userHalf("q"), modelHalf({text("A")}, false)})}),
         {{1, "user", "q"}, {2, "assistant", "Show thinking\nA"}}, 2, true},
        {"an answer that has not started is an empty turn",
         page({exchange({userHalf("q"), N("AXHeading").classes({"screen-reader-model-response-label"})})},
              {N("AXGroup").kids({N("AXButton").title("Stop")})}),
         {{1, "user", "q"}, {2, "assistant", ""}}, 2, false},
        {"siblings of the exchanges without the class are not exchanges",
         page({N("AXGroup").kids({userHalf("ignored")}), exchange({userHalf("q")})}), {{1, "user", "q"}}, 2, true},
    };
    for (const auto& c : cases) {
        auto snap = parseBoth(c.tree, c.description);
        ASSERT_TRUE(snap) << c.description;
        EXPECT_EQ(view(*snap), c.turns) << c.description;
        for (const auto& t : snap->turns) EXPECT_EQ(t.total, c.total) << c.description;
        EXPECT_EQ(snap->responseComplete, c.complete) << c.description;
        EXPECT_EQ(snap->conversationKey, "k") << c.description;
        EXPECT_FALSE(snap->surface) << c.description;
    }
}

TEST(GeminiTranscriptParser, NoSnapshot) {
    struct Case {
        const char* description;
        N tree;
    };
    const Case cases[] = {
        {"start page without a transcript", N("AXWebArea").kids({picker("Mode, Fast")})},
        {"transcript container without exchanges", page({})},
        {"exchanges without either heading", page({exchange({N("AXGroup").classes({"query-content"}).kids({text("q")})})})},
    };
    for (const auto& c : cases) EXPECT_FALSE(parseBoth(c.tree, c.description)) << c.description;
}

TEST(GeminiTranscriptParser, ModelLabel) {
    struct Case {
        const char* description;
        std::string label;
        std::optional<std::string> model;
    };
    const Case cases[] = {
        {"leading 'currently' is dropped", "Open mode picker, currently Gemini 2.5 Flash", "Gemini 2.5 Flash"},
        {"'currently' in any case, blanks collapsed", "Mode,  Currently  2.5   Pro ", "2.5 Pro"},
        {"other text after the last comma is kept as it was", "Mode, picker, Deep  Think", "Deep  Think"},
        {"no comma and blank", "Gemini 2.5 Pro", std::nullopt},
        {"only 'currently'", "Mode, currently", std::nullopt},
    };
    for (const auto& c : cases) {
        auto tree = page({exchange({userHalf("q")})}, {picker(c.label)});
        auto snap = parseBoth(tree, c.description);
        ASSERT_TRUE(snap) << c.description;
        EXPECT_EQ(snap->model, c.model) << c.description;
    }
}

}  // namespace
}  // namespace velmar
