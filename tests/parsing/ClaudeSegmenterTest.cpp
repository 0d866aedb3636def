#include "parsing/ClaudeSegmenter.hpp"

#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::N;

N text(std::string s) { return std::move(N("AXStaticText").value(std::move(s))); }

// A window whose web view shows a transcript with one prompt and a design
// bubble, so every reader finds something.
N window(std::string url) {
    return std::move(N("AXWindow").kids({
        N("AXGroup").kid(N("AXWebArea").url(std::move(url)).kids({
            N("AXGroup").description("Chat messages").kid(
                N("AXGroup").description("Message 1 of 1").kids({text("You said: hello"), text("hello")})),
            N("AXGroup").classes({"om-chat-messages"}).kid(
                N("AXGroup").classes({"select-text", "w-fit", "max-w-xl"}).kid(text("design prompt"))),
        })),
        N("AXTextArea").classes({"ProseMirror"}).value("draft"),
    }));
}

ClaudeSegmenter segmenter() {
    ClaudeSegmenter s;
    s.parser.resolvePaste = ClaudeTranscriptParser::noPasteBodies();
    return s;
}

TEST(ClaudeSegmenter, DispatchesByDocumentAddress) {
    struct Case {
        const char* description;
        std::string url;
        bool snapshot;
        std::optional<std::string> surface;
        std::optional<std::string> key;
        std::string firstText;
    } cases[] = {
        {"chat page", "https://claude.ai/chat/abc-123", true, std::nullopt, "abc-123", "hello"},
        {"new chat has no key", "https://claude.ai/new", true, std::nullopt, std::nullopt, "hello"},
        {"second domain", "https://claude.com/chat/k9?from=menu#top", true, std::nullopt, "k9", "hello"},
        {"cowork page", "https://claude.ai/cowork/w1", true, "claude_cowork", "w1", "hello"},
        {"design page", "https://claude.ai/design/p/d7", true, "claude_design", "d7", "design prompt"},
        {"Claude Code view is not captured", "https://claude.ai/epitaxy/s1", false, {}, {}, ""},
        {"host differing in case is not Claude", "https://Claude.ai/chat/abc", false, {}, {}, ""},
        {"another site", "https://example.com/chat/abc", false, {}, {}, ""},
    };
    for (const auto& c : cases) {
        auto snap = segmenter().snapshotOfWindow(*window(c.url).build());
        ASSERT_EQ(snap.has_value(), c.snapshot) << c.description;
        if (!snap) continue;
        EXPECT_EQ(snap->surface, c.surface) << c.description;
        EXPECT_EQ(snap->conversationKey, c.key) << c.description;
        ASSERT_FALSE(snap->turns.empty()) << c.description;
        EXPECT_EQ(snap->turns.front().text, c.firstText) << c.description;
    }
}

TEST(ClaudeSegmenter, SkipsForeignWebAreas) {
    auto tree = N("AXWindow").kid(N("AXWebArea").url("https://accounts.example.com/login").kid(
        N("AXGroup").kid(N("AXWebArea").url("https://claude.ai/chat/inner"))));
    EXPECT_EQ(ClaudeSegmenter::claudeDocumentURL(*tree.build()), "https://claude.ai/chat/inner");
    EXPECT_FALSE(ClaudeSegmenter::claudeDocumentURL(*N("AXWindow").kid(N("AXWebArea")).build()));
}

TEST(ClaudeSegmenter, ReadsTheLiveApplication) {
    auto app = sim::SimElement::make("AXApplication");
    auto win = window("https://claude.ai/chat/live-1").buildSim();
    auto other = N("AXWindow").buildSim();
    app->set("AXWindows", std::vector<AXElementRef>{win, other});
    AXElement element(app);

    auto snap = segmenter().snapshot(element);
    ASSERT_TRUE(snap) << "the first window stands in for a missing focused window";
    EXPECT_EQ(snap->conversationKey, "live-1") << "the address is read from the live URL value";
    EXPECT_EQ(snap->composerDraft, "draft");
    EXPECT_FALSE(segmenter().composerDraft(element)) << "the draft is read only from a focused window";

    app->set("AXFocusedWindow", AXElementRef(other));
    EXPECT_FALSE(segmenter().snapshot(element));
    app->set("AXFocusedWindow", AXElementRef(win));
    EXPECT_EQ(segmenter().composerDraft(element), "draft");
}

}  // namespace
}  // namespace velmar
