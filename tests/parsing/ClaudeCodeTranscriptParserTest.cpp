#include "parsing/ClaudeCodeTranscriptParser.hpp"
#include "support/ParserTrees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::group;
using testing::N;
using testing::nested;
using testing::text;
using testing::turn;
using testing::Turns;

N heading(std::string label) { return std::move(N("AXHeading").kids({text(label)}).title(std::move(label))); }
N article(std::initializer_list<N> kids) { return std::move(N("AXDocumentArticle").kids(kids)); }
N window(std::initializer_list<N> articles) {
    auto messages = std::move(N("AXGroup").description("Chat messages").kids(articles));
    return std::move(N("AXWindow").kid(group({group({messages})})));
}

TEST(ClaudeCodeTranscriptParser, Turns) {
    struct Case { const char* description; N tree; Turns turns; bool complete; };
    const Case cases[] = {
        {"an article without a role heading keeps its position",
         window({article({heading("You said: fix the build"), text("fix the build")}),
                 article({text("Running tests…")}),
                 article({heading("Claude responded: done"), group({text("Done."), text("All green.")})})}),
         {turn(1, 3, "user", "fix the build"), turn(3, 3, "assistant", "Done.\nAll green.")}, false},
        {"the completion notice is neither part of the text nor missed",
         window({article({heading("Claude responded: ok"), text("ok"), text("Claude finished the response")})}),
         {turn(1, 1, "assistant", "ok")}, true},
        {"a heading three levels down gives the role, four does not",
         window({article({nested(heading("You said: a"), 2), text("a")}),
                 article({nested(heading("Claude responded: b"), 3), text("b")})}),
         {turn(1, 2, "user", "a")}, false},
        {"the first role heading wins, other headings are text",
         window({article({heading("Summary"), heading("Claude responded: x"), heading("You said: y"), text("x")})}),
         {turn(1, 1, "assistant", "Summary\nx")}, false},
        {"articles that all lack a role heading still make a snapshot", window({article({text("x")})}), {}, false},
    };
    for (const auto& c : cases) {
        auto snap = ClaudeCodeTranscriptParser{}.snapshot(*c.tree.build(), std::nullopt);
        ASSERT_TRUE(snap) << c.description;
        EXPECT_EQ(snap->turns, c.turns) << c.description;
        EXPECT_EQ(snap->responseComplete, c.complete) << c.description;
        EXPECT_EQ(snap->surface, "claude_code_desktop") << c.description;
    }
    auto outside = N("AXWindow").kid(article({heading("You said: q")}));
    EXPECT_FALSE(ClaudeCodeTranscriptParser{}.snapshot(*outside.build(), std::nullopt)) << "no chat messages group";
    EXPECT_FALSE(ClaudeCodeTranscriptParser{}.snapshot(*window({}).build(), std::nullopt)) << "no articles";
}

}  // namespace
}  // namespace velmar
