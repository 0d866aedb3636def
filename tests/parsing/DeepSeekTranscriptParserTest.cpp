#include "parsing/DeepSeekTranscriptParser.hpp"
#include "parsing/DeepSeekWebSegmenter.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::N;

N text(std::string s) { return std::move(N("AXStaticText").value(std::move(s))); }
N button(std::string label) { return std::move(N("AXButton").description(std::move(label))); }
N group(std::vector<N> kids, std::vector<std::string> classes = {}) {
    N g("AXGroup");
    if (!classes.empty()) g.classes(std::move(classes));
    for (auto& k : kids) g.kid(k);
    return g;
}
N para(std::vector<N> pieces) { return group(std::move(pieces), {"ds-markdown-paragraph"}); }
N think(std::string s) { return group({text(std::move(s))}, {"ds-think-content"}); }
N actionBar() { return group({group({button("Copy"), button("Regenerate")})}, {"ds-flex"}); }

N userItem(std::vector<N> content) { return group({group(std::move(content), {"ds-message"}), group({button("Edit")})}); }
N replyItem(std::vector<N> content, bool finished) {
    N item = group({group({group(std::move(content), {"ds-markdown"})}, {"ds-message"})});
    if (finished) item.kid(actionBar());
    return item;
}

N page(std::vector<N> items) {
    return std::move(N("AXWebArea").kids({group({group({button("New chat")})}),
                                          group({group(std::move(items), {"ds-virtual-list-visible-items"})})}));
}

struct Turn {
    int index;
    std::string role;
    std::string text;
    bool operator==(const Turn&) const = default;
};

TEST(DeepSeekTranscriptParser, Turns) {
    struct Case {
        const char* description;
        N tree;
        std::vector<Turn> turns;
        int total;
        bool complete;
    };
    const Case cases[] = {
        {"split paragraph pieces are joined as the page split them",
         page({userItem({text("q")}),
               replyItem({para({text("  This is "), N("AXGroup").kids({text("bold")}), text(" text. ")})}, true)}),
         {{1, "user", "q"}, {2, "assistant", "This is bold text."}}, 2, true},
        {"citations, links, buttons and inline images are not text",
         page({userItem({text("q")}),
               replyItem({para({text("Rust is fast"), group({text("1")}, {"ds-markdown-cite"}), N("AXLink").kids({text("src")}),
                                button("copy"), group({N("AXImage"), text("figure")}), text(".")}),
                          para({group({text("2")}, {"ds-markdown-cite"})})},
                         true)}),
         {{1, "user", "q"}, {2, "assistant", "Rust is fast."}}, 2, true},
        {"user lines, without the message's buttons",
         page({userItem({text("line one"), button("Copy"), text("line two")})}),
         {{1, "user", "line one\nline two"}}, 1, false},
        {"the reasoning block stays out; a last user message is never complete",
         page({userItem({text("q1")}), replyItem({think("hidden"), para({text("a1")})}, true), userItem({text("q2")})}),
         {{1, "user", "q1"}, {2, "assistant", "a1"}, {3, "user", "q2"}}, 3, false},
        {"items whose message is deeper than two levels are not turns",
         page({group({group({group({group({text("too deep")}, {"ds-message"})})})}), userItem({text("q")})}),
         {{1, "user", "q"}}, 1, false},
    };
    for (const auto& c : cases) {
        auto recorded = DeepSeekTranscriptParser{}.snapshot(*c.tree.build(), std::string("k"));
        auto live = DeepSeekWebSegmenter{}.snapshot(AXElement(c.tree.buildSim()), std::string("k"));
        EXPECT_EQ(recorded, live) << c.description;
        ASSERT_TRUE(recorded) << c.description;
        std::vector<Turn> got;
        for (const auto& t : recorded->turns) {
            got.push_back({t.index, t.role, t.text});
            EXPECT_EQ(t.total, c.total) << c.description;
        }
        EXPECT_EQ(got, c.turns) << c.description;
        EXPECT_EQ(recorded->responseComplete, c.complete) << c.description;
    }
}

TEST(DeepSeekTranscriptParser, ActionBarDepth) {
    struct Case {
        const char* description;
        N item;
        bool bar;
    };
    const Case cases[] = {
        {"a child", group({group({}, {"ds-message"}), group({}, {"ds-flex"})}), true},
        {"a grandchild", group({group({}, {"ds-message"}), group({group({}, {"ds-flex"})})}), true},
        {"deeper", group({group({}, {"ds-message"}), group({group({group({}, {"ds-flex"})})})}), false},
        {"the item itself does not count", group({group({}, {"ds-message"})}, {"ds-flex"}), false},
    };
    for (const auto& c : cases) EXPECT_EQ(DeepSeekTranscriptParser::hasActionBar(*c.item.build()), c.bar) << c.description;
}

TEST(DeepSeekTranscriptParser, NoSnapshot) {
    struct Case {
        const char* description;
        N tree;
    };
    const Case cases[] = {
        {"no list", N("AXWebArea").kids({userItem({text("q")})})},
        {"a list without messages", page({group({text("Today")})})},
    };
    for (const auto& c : cases) EXPECT_FALSE(DeepSeekTranscriptParser{}.snapshot(*c.tree.build(), std::nullopt)) << c.description;
}

}  // namespace
}  // namespace velmar
