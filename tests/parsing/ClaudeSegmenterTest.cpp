#include "parsing/ClaudeSegmenter.hpp"
#include "parsing/ClaudeCodeTranscriptParser.hpp"
#include "support/ParserCases.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace testing;  // the shared tree builders and case tables
using testing::text;      // the builder, not the text namespace

// A window whose web view shows a transcript with one prompt and a design
// bubble, so every reader finds something.
N window(std::string url) {
    auto chat = N("AXGroup").description("Chat messages").kid(
        N("AXGroup").description("Message 1 of 1").kids({text("You said: hello"), text("hello")}));
    auto design = group({group({text("design prompt")}, {"select-text", "w-fit", "max-w-xl"})}, {"om-chat-messages"});
    return std::move(N("AXWindow").kids({group({std::move(N("AXWebArea").url(std::move(url)).kids({chat, design}))}),
                                         N("AXTextArea").classes({"ProseMirror"}).value("draft")}));
}

TEST(ClaudeSegmenter, DispatchesByDocumentAddress) {
    using Opt = std::optional<std::string>;
    struct Case { const char* description; std::string url; bool snapshot; Opt surface; Opt key; };
    const Case cases[] = {
        {"chat page", "https://claude.ai/chat/abc-123", true, std::nullopt, "abc-123"},
        {"cowork page: the chat reader, its own surface", "https://claude.ai/cowork/w1", true, "claude_cowork", "w1"},
        {"design page: the design reader", "https://claude.ai/design/p/d7", true, "claude_design", "d7"},
        {"Claude Code view is not captured", "https://claude.ai/epitaxy/s1", false, {}, {}},
        {"another site", "https://example.com/chat/abc", false, {}, {}},
    };
    for (const auto& c : cases) {
        auto snap = ClaudeSegmenter().snapshotOfWindow(*window(c.url).build());
        ASSERT_EQ(snap.has_value(), c.snapshot) << c.description;
        if (!snap) continue;
        EXPECT_EQ(snap->surface, c.surface) << c.description;
        EXPECT_EQ(snap->conversationKey, c.key) << c.description;
        EXPECT_EQ(snap->turns.size(), 1u) << c.description;
    }

    auto foreignOuter = N("AXWindow").kid(N("AXWebArea").url("https://accounts.example.com/login").kid(
        N("AXGroup").kid(N("AXWebArea").url("https://claude.ai/chat/inner"))));
    EXPECT_EQ(ClaudeSegmenter::claudeDocumentURL(*foreignOuter.build()), "https://claude.ai/chat/inner");
}

TEST(ClaudeSegmenter, ReadsTheLiveApplication) {
    auto app = sim::SimElement::make("AXApplication");
    auto win = window("https://claude.ai/chat/live-1").buildSim();
    auto other = N("AXWindow").buildSim();
    app->set("AXWindows", std::vector<AXElementRef>{win, other});
    AXElement element(app);

    auto snap = ClaudeSegmenter().snapshot(element);
    ASSERT_TRUE(snap) << "the first window stands in for a missing focused window";
    EXPECT_EQ(snap->conversationKey, "live-1") << "the address is read from the live URL value";
    EXPECT_EQ(snap->composerDraft, "draft");
    EXPECT_FALSE(ClaudeSegmenter().composerDraft(element)) << "the draft is read only from a focused window";

    app->set("AXFocusedWindow", AXElementRef(other));
    EXPECT_FALSE(ClaudeSegmenter().snapshot(element));
    app->set("AXFocusedWindow", AXElementRef(win));
    EXPECT_EQ(ClaudeSegmenter().composerDraft(element), "draft");
}

// The Claude Code view, read from recordings only.
N roleHeading(std::string label) { return std::move(N("AXHeading").kids({text(label)}).title(std::move(label))); }
N article(std::initializer_list<N> kids) { return std::move(N("AXDocumentArticle").kids(kids)); }
N codeWindow(std::initializer_list<N> articles) {
    auto messages = std::move(N("AXGroup").description("Chat messages").kids(articles));
    return std::move(N("AXWindow").kid(group({group({messages})})));
}

TEST(ClaudeCodeTranscriptParser, Turns) {
    const ParserCase cases[] = {
        {"an article without a role heading keeps its position",
         codeWindow({article({roleHeading("You said: fix the build"), text("fix the build")}),
                 article({text("Running tests…")}),
                 article({roleHeading("Claude responded: done"), group({text("Done."), text("All green.")})})}),
         Turns{turn(1, 3, "user", "fix the build"), turn(3, 3, "assistant", "Done.\nAll green.")}, false},
        {"the completion notice is neither part of the text nor missed",
         codeWindow({article({roleHeading("Claude responded: ok"), text("ok"), text("Claude finished the response")})}),
         Turns{turn(1, 1, "assistant", "ok")}},
        {"a heading three levels down gives the role, four does not",
         codeWindow({article({nested(roleHeading("You said: a"), 2), text("a")}),
                 article({nested(roleHeading("Claude responded: b"), 3), text("b")})}),
         Turns{turn(1, 2, "user", "a")}, false},
        {"the first role heading wins, other headings are text",
         codeWindow({article({roleHeading("Summary"), roleHeading("Claude responded: x"), roleHeading("You said: y"),
                              text("x")})}),
         Turns{turn(1, 1, "assistant", "Summary\nx")}, false},
        {"articles that all lack a role heading still make a snapshot", codeWindow({article({text("x")})}), Turns{},
         false},
        {"no chat messages group", N("AXWindow").kid(article({roleHeading("You said: q")})), std::nullopt},
        {"no articles", codeWindow({}), std::nullopt},
    };
    expectParses(cases, ClaudeCodeTranscriptParser{});
    EXPECT_EQ(ClaudeCodeTranscriptParser{}.snapshot(*cases[1].tree.build(), std::nullopt)->surface, "claude_code_desktop");
}

}  // namespace
}  // namespace velmar
