#include "parsing/ClaudeCodeTranscriptParser.hpp"
#include "support/ParserCases.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::expectParses;
using testing::group;
using testing::N;
using testing::nested;
using testing::ParserCase;
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
    const ParserCase cases[] = {
        {"an article without a role heading keeps its position",
         window({article({heading("You said: fix the build"), text("fix the build")}),
                 article({text("Running tests…")}),
                 article({heading("Claude responded: done"), group({text("Done."), text("All green.")})})}),
         Turns{turn(1, 3, "user", "fix the build"), turn(3, 3, "assistant", "Done.\nAll green.")}, false},
        {"the completion notice is neither part of the text nor missed",
         window({article({heading("Claude responded: ok"), text("ok"), text("Claude finished the response")})}),
         Turns{turn(1, 1, "assistant", "ok")}},
        {"a heading three levels down gives the role, four does not",
         window({article({nested(heading("You said: a"), 2), text("a")}),
                 article({nested(heading("Claude responded: b"), 3), text("b")})}),
         Turns{turn(1, 2, "user", "a")}, false},
        {"the first role heading wins, other headings are text",
         window({article({heading("Summary"), heading("Claude responded: x"), heading("You said: y"), text("x")})}),
         Turns{turn(1, 1, "assistant", "Summary\nx")}, false},
        {"articles that all lack a role heading still make a snapshot", window({article({text("x")})}), Turns{}, false},
        {"no chat messages group", N("AXWindow").kid(article({heading("You said: q")})), std::nullopt},
        {"no articles", window({}), std::nullopt},
    };
    expectParses(cases, [](const AXNode& scope, const auto& key) {
        auto snap = ClaudeCodeTranscriptParser{}.snapshot(scope, key);
        if (snap) {
            EXPECT_EQ(snap->surface, "claude_code_desktop");
        }
        return snap;
    });
}

}  // namespace
}  // namespace velmar
