#include "parsing/DeepSeekTranscriptParser.hpp"
#include "support/ParserTrees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::button;
using testing::group;
using testing::N;
using testing::text;
using testing::turn;
using testing::Turns;

N para(std::vector<N> pieces) { return group(std::move(pieces), {"ds-markdown-paragraph"}); }
N userItem(std::vector<N> content) {
    return group({group(std::move(content), {"ds-message"}), group({button("Edit")})});
}
N replyItem(std::vector<N> content, bool finished) {
    N item = group({group({group(std::move(content), {"ds-markdown"})}, {"ds-message"})});
    if (finished) item.kid(group({group({button("Copy"), button("Regenerate")})}, {"ds-flex"}));
    return item;
}
N page(std::vector<N> items) {
    return std::move(N("AXWebArea").kids({group({group({button("New chat")})}),
                                          group({group(std::move(items), {"ds-virtual-list-visible-items"})})}));
}

TEST(DeepSeekTranscriptParser, Turns) {
    struct Case {
        const char* description;
        N tree;
        std::optional<Turns> turns;  // absent: no snapshot
        bool complete = false;
    };
    const Case cases[] = {
        {"split paragraph pieces are joined as the page split them",
         page({userItem({text("q")}),
               replyItem({para({text("  This is "), group({text("bold")}), text(" text. ")})}, true)}),
         Turns{turn(1, 2, "user", "q"), turn(2, 2, "assistant", "This is bold text.")}, true},
        {"citations, source links standing alone, buttons and inline images are not text; a link among words is",
         page({userItem({text("q")}),
               replyItem({para({text("Rust is fast"), group({text("1")}, {"ds-markdown-cite"}), button("copy"),
                                group({N("AXImage"), text("figure")}), text(". See "),
                                N("AXLink").kids({text("the book")}), text(".")}),
                          para({N("AXLink").kids({text("src")})}),
                          para({group({text("2")}, {"ds-markdown-cite"})})},
                         true)}),
         Turns{turn(1, 2, "user", "q"), turn(2, 2, "assistant", "Rust is fast. See the book.")}, true},
        {"the reasoning block stays out; user lines skip the buttons; a last user message is never complete",
         page({userItem({text("q1")}),
               replyItem({group({text("hidden")}, {"ds-think-content"}), para({text("a1")})}, true),
               userItem({group({text("line one")}), button("Copy"), group({text("line two")})})}),
         Turns{turn(1, 3, "user", "q1"), turn(2, 3, "assistant", "a1"), turn(3, 3, "user", "line one\nline two")}},
        {"items whose message is deeper than two levels are not turns",
         page({group({group({group({group({text("too deep")}, {"ds-message"})})})}), userItem({text("q")})}),
         Turns{turn(1, 1, "user", "q")}},
        {"no list", N("AXWebArea").kids({userItem({text("q")})}), std::nullopt},
        {"a list without messages", page({group({text("Today")})}), std::nullopt},
    };
    for (const auto& c : cases) {
        auto snap = DeepSeekTranscriptParser{}.snapshot(*c.tree.build(), std::string("k"));
        ASSERT_EQ(snap.has_value(), c.turns.has_value()) << c.description;
        if (!snap) continue;
        EXPECT_EQ(snap->turns, *c.turns) << c.description;
        EXPECT_EQ(snap->responseComplete, c.complete) << c.description;
    }
}

TEST(DeepSeekTranscriptParser, ActionBarIsAChildOrGrandchild) {
    struct Case { const char* description; N item; bool bar; };
    const Case cases[] = {
        {"a grandchild", group({group({}, {"ds-message"}), group({group({}, {"ds-flex"})})}), true},
        {"deeper", group({group({}, {"ds-message"}), group({group({group({}, {"ds-flex"})})})}), false},
        {"the item itself does not count", group({group({}, {"ds-message"})}, {"ds-flex"}), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeepSeekTranscriptParser::hasActionBar(*c.item.build()), c.bar) << c.description;
    }
}

}  // namespace
}  // namespace velmar
