#include "parsing/ClaudeCodeTranscriptParser.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::N;

N text(std::string s) { return std::move(N("AXStaticText").value(std::move(s))); }
N heading(std::string label) { return std::move(N("AXHeading").kids({text(label)}).title(std::move(label))); }

N article(std::vector<N> kids) {
    N a("AXDocumentArticle");
    for (auto& k : kids) a.kid(k);
    return a;
}

N window(std::vector<N> articles, std::vector<N> extra = {}) {
    N messages = std::move(N("AXGroup").description("Chat messages"));
    for (auto& a : articles) messages.kid(a);
    N content("AXGroup");
    content.kid(messages);
    for (auto& e : extra) content.kid(e);
    return std::move(N("AXWindow").kids({N("AXGroup").kids({content})}));
}

N nested(N inner, int levels) {
    for (int i = 0; i < levels; ++i) inner = std::move(N("AXGroup").kids({inner}));
    return inner;
}

TEST(ClaudeCodeTranscriptParser, Turns) {
    struct Expected {
        int index;
        std::string role;
        std::string text;
        bool operator==(const Expected&) const = default;
    };
    struct Case {
        const char* description;
        N tree;
        std::vector<Expected> turns;
        int total;
        bool complete;
    };
    const Case cases[] = {
        {"an article without a role heading keeps its position",
         window({article({heading("You said: fix the build"), text("fix the build")}),
                 article({text("Running tests…")}),
                 article({heading("Claude responded: done"), N("AXGroup").kids({text("Done."), text("All green.")})})}),
         {{1, "user", "fix the build"}, {3, "assistant", "Done.\nAll green."}}, 3, false},
        {"the completion notice is neither part of the text nor missed",
         window({article({heading("Claude responded: ok"), text("ok"), text("Claude finished the response")})}),
         {{1, "assistant", "ok"}}, 1, true},
        {"a heading three levels down gives the role, four does not",
         window({article({nested(heading("You said: a"), 2), text("a")}),
                 article({nested(heading("Claude responded: b"), 3), text("b")})}),
         {{1, "user", "a"}}, 2, false},
        {"the first role heading wins, other headings are text",
         window({article({heading("Summary"), heading("Claude responded: x"), heading("You said: y"), text("x")})}),
         {{1, "assistant", "Summary\nx"}}, 1, false},
        {"nested articles are collected after their parent",
         window({article({heading("You said: outer"), text("outer"), article({heading("Claude responded: inner"), text("inner")})})}),
         {{1, "user", "outer\ninner"}, {2, "assistant", "inner"}}, 2, false},
    };
    for (const auto& c : cases) {
        auto snap = ClaudeCodeTranscriptParser{}.snapshot(*c.tree.build(), std::nullopt);
        ASSERT_TRUE(snap) << c.description;
        std::vector<Expected> got;
        for (const auto& t : snap->turns) {
            got.push_back({t.index, t.role, t.text});
            EXPECT_EQ(t.total, c.total) << c.description;
        }
        EXPECT_EQ(got, c.turns) << c.description;
        EXPECT_EQ(snap->responseComplete, c.complete) << c.description;
        EXPECT_EQ(snap->surface, "claude_code_desktop") << c.description;
    }
}

TEST(ClaudeCodeTranscriptParser, NoSnapshot) {
    struct Case {
        const char* description;
        N tree;
    };
    const Case cases[] = {
        {"no chat messages group", N("AXWindow").kids({article({heading("You said: q")})})},
        {"a messages group without articles", window({})},
    };
    for (const auto& c : cases) EXPECT_FALSE(ClaudeCodeTranscriptParser{}.snapshot(*c.tree.build(), std::nullopt)) << c.description;
    // Articles that all lack a role heading still make a (turnless) snapshot.
    auto snap = ClaudeCodeTranscriptParser{}.snapshot(*window({article({text("x")})}).build(), std::nullopt);
    ASSERT_TRUE(snap);
    EXPECT_TRUE(snap->turns.empty());
}

}  // namespace
}  // namespace velmar
