#include "parsing/ClaudeSegmenter.hpp"

#include "support/ParserTrees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::group;
using testing::N;
using testing::text;

// A window whose web view shows a transcript with one prompt and a design
// bubble, so every reader finds something.
N window(std::string url) {
    auto chat = N("AXGroup").description("Chat messages").kid(
        N("AXGroup").description("Message 1 of 1").kids({text("You said: hello"), text("hello")}));
    auto design = group({group({text("design prompt")}, {"select-text", "w-fit", "max-w-xl"})}, {"om-chat-messages"});
    return std::move(N("AXWindow").kids({group({std::move(N("AXWebArea").url(std::move(url)).kids({chat, design}))}),
                                         N("AXTextArea").classes({"ProseMirror"}).value("draft")}));
}

ClaudeSegmenter segmenter() { return {}; }

TEST(ClaudeSegmenter, DispatchesByDocumentAddress) {
    struct Case {
        const char* description;
        std::string url;
        bool snapshot;
        std::optional<std::string> surface;
        std::optional<std::string> key;
    } cases[] = {
        {"chat page", "https://claude.ai/chat/abc-123", true, std::nullopt, "abc-123"},
        {"cowork page: the chat reader, its own surface", "https://claude.ai/cowork/w1", true, "claude_cowork", "w1"},
        {"design page: the design reader", "https://claude.ai/design/p/d7", true, "claude_design", "d7"},
        {"Claude Code view is not captured", "https://claude.ai/epitaxy/s1", false, {}, {}},
        {"another site", "https://example.com/chat/abc", false, {}, {}},
    };
    for (const auto& c : cases) {
        auto snap = segmenter().snapshotOfWindow(*window(c.url).build());
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
