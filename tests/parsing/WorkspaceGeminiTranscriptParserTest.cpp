#include "parsing/WorkspaceGeminiTranscriptParser.hpp"
#include "parsing/WorkspaceGeminiWebSegmenter.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::N;

N text(std::string s) { return std::move(N("AXStaticText").value(std::move(s))); }
N group(std::vector<N> kids, std::vector<std::string> classes = {}) {
    N g("AXGroup");
    if (!classes.empty()) g.classes(std::move(classes));
    for (auto& k : kids) g.kid(k);
    return g;
}
N user(std::vector<N> kids) { return group(std::move(kids), {"appsElementsSidekickUserMessageRoot"}); }
N agent(std::vector<N> kids) { return group(std::move(kids), {"appsElementsSidekickAgentMessageRoot"}); }
N promptHeading(std::optional<std::string> title, std::vector<N> kids = {}) {
    N h = std::move(N("AXHeading").classes({"appsElementsSidekickUserMessageContainer"}));
    if (title) h.title(*title);
    for (auto& k : kids) h.kid(k);
    return h;
}
N spinner() {
    return group({group({}, {"appsElementsSidekickThinkingStateCircleSpinner"}), text("Thinking…")},
                 {"appsElementsSidekickThinkingStateContainer"});
}

N panel(std::vector<N> entries) {
    N feed = group(std::move(entries), {"appsElementsSidekickFeedEntries"});
    return std::move(N("AXGroup")
                         .subrole("AXLandmarkComplementary")
                         .classes({"appsElementsSidekickRoot"})
                         .kids({group({N("AXHeading").kids({text("Gemini")})}), group({feed}),
                                N("AXTextArea").classes({"appsElementsSidekickPromptInput"})}));
}

struct Turn {
    int index;
    std::string role;
    std::string text;
    bool operator==(const Turn&) const = default;
};

TEST(WorkspaceGeminiTranscriptParser, Turns) {
    struct Case {
        const char* description;
        N tree;
        std::vector<Turn> turns;
        bool complete;
    };
    const Case cases[] = {
        {"an answer still thinking: no indicator text, incomplete",
         panel({user({promptHeading("Summarize this doc")}), agent({spinner()})}),
         {{1, "user", "Summarize this doc"}, {2, "assistant", ""}}, false},
        {"the screen-reader caption is dropped, other text kept",
         panel({user({promptHeading("q")}), agent({text(" Gemini response "), text("The doc covers Q3."), text("Gemini responses vary")})}),
         {{1, "user", "q"}, {2, "assistant", "The doc covers Q3.\nGemini responses vary"}}, true},
        {"a titled heading wins over the texts below it, trimmed",
         panel({user({promptHeading("  Make a table \n", {text("Make a tab…")}), text("Edited")})}),
         {{1, "user", "Make a table"}}, true},
        {"an untitled heading gives its texts",
         panel({user({promptHeading(std::nullopt, {text("line 1"), text("line 2")}), text("outside")})}),
         {{1, "user", "line 1\nline 2"}}, true},
        {"no heading: the entry's texts",
         panel({user({text("plain prompt"), N("AXButton").kids({text("Edit")})})}), {{1, "user", "plain prompt"}}, true},
        {"links and buttons contribute nothing",
         panel({user({promptHeading("q")}),
                agent({text("See"), N("AXLink").kids({text("Sources")}), N("AXButton").description("Copy").kids({text("Copy")}),
                       text("done")})}),
         {{1, "user", "q"}, {2, "assistant", "See\ndone"}}, true},
    };
    for (const auto& c : cases) {
        auto recorded = WorkspaceGeminiTranscriptParser{}.snapshot(*c.tree.build(), std::string("doc1"));
        auto live = WorkspaceGeminiWebSegmenter("gemini_docs").snapshot(AXElement(c.tree.buildSim()), std::string("doc1"));
        EXPECT_EQ(recorded, live) << c.description;
        ASSERT_TRUE(recorded) << c.description;
        std::vector<Turn> got;
        for (const auto& t : recorded->turns) {
            got.push_back({t.index, t.role, t.text});
            EXPECT_EQ(t.total, static_cast<int>(c.turns.size())) << c.description;
        }
        EXPECT_EQ(got, c.turns) << c.description;
        EXPECT_EQ(recorded->responseComplete, c.complete) << c.description;
        EXPECT_EQ(recorded->conversationKey, "doc1") << c.description;
        EXPECT_FALSE(recorded->surface) << c.description;
    }
}

TEST(WorkspaceGeminiTranscriptParser, NoSnapshotForAFeedWithoutMessages) {
    EXPECT_FALSE(WorkspaceGeminiTranscriptParser{}.snapshot(*panel({group({text("Today")})}).build(), std::nullopt));
}

TEST(WorkspaceGeminiWebSegmenter, ReportsTheSurfaceItWasMadeFor) {
    EXPECT_EQ(WorkspaceGeminiWebSegmenter("gemini_docs").surface(), "gemini_docs");
    EXPECT_EQ(WorkspaceGeminiWebSegmenter("gemini_sheets").surface(), "gemini_sheets");
}

}  // namespace
}  // namespace velmar
