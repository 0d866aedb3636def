#include "parsing/DeepSeekTranscriptParser.hpp"
#include "support/ParserCases.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace testing;  // the shared tree builders and case tables
using testing::text;      // the builder, not the text namespace

N para(std::vector<N> pieces) { return group(std::move(pieces), {"ds-markdown-paragraph"}); }
N userItem(std::vector<N> content) {
    return group({group(std::move(content), {"ds-message"}), group({button("Edit")})});
}
N replyItem(std::vector<N> content, bool finished) {
    N item = group({group({group(std::move(content), {"ds-markdown"})}, {"ds-message"})});
    if (finished) item.kid(group({group({button("Copy"), button("Regenerate")})}, {"ds-flex"}));
    return item;
}
// As Chromium on Linux shows the page: no list wrappers; prompts' '.ds-message',
// reply blocks and the action bars' unnamed icon buttons side by side.
N flat(std::vector<N> kids) {
    N area("AXWebArea");
    area.kid(group({text("New chat")}));
    for (const auto& k : kids) area.kid(k);
    area.kid(N("AXTextArea"));
    area.kid(button(""));  // send
    return area;
}
N prompt(const char* s) { return group({group({text(s)})}, {"ds-message"}); }
N page(std::vector<N> items) {
    return std::move(N("AXWebArea").kids({group({group({button("New chat")})}),
                                          group({group(std::move(items), {"ds-virtual-list-visible-items"})})}));
}

TEST(DeepSeekTranscriptParser, Turns) {
    const ParserCase cases[] = {  // probes: messages, prompts, replies
        {"split paragraph pieces are joined as the page split them",
         page({userItem({text("q")}),
               replyItem({para({text("  This is "), group({text("bold")}), text(" text. ")})}, true)}),
         Turns{turn(1, 2, "user", "q"), turn(2, 2, "assistant", "This is bold text.")}, true, false,
         {true, true, true}},
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
         Turns{turn(1, 3, "user", "q1"), turn(2, 3, "assistant", "a1"), turn(3, 3, "user", "line one\nline two")}, false},
        {"items whose message is deeper than two levels are not turns",
         page({group({group({group({group({text("too deep")}, {"ds-message"})})})}), userItem({text("q")})}),
         Turns{turn(1, 1, "user", "q")}, false},
        {"no list: a prompt's '.ds-message' is still a prompt", N("AXWebArea").kids({userItem({text("q")})}),
         Turns{turn(1, 1, "user", "q")}, false},
        // The flat tree: a run of unnamed buttons ends a message; named ones
        // (a code block's "Copy") belong to the reply.
        {"flat: prompts, and replies up to their action bars",
         flat({prompt("q1"), button(""), button(""), para({text("a1")}), N("AXHeading").kids({text("item")}),
               button(""), button(""), prompt("q2"), button(""), group({text("python")}), button("Copy"),
               N("AXGroup").subrole("AXPreformatted").kids({text("x = 1")}), button(""), button("")}),
         Turns{turn(1, 4, "user", "q1"), turn(2, 4, "assistant", "a1\nitem"), turn(3, 4, "user", "q2"),
               turn(4, 4, "assistant", "python\nx = 1")},
         true, false, {true, true, true}},
        {"flat: a reply without its action bar is still streaming, the composer's buttons are not its bar; "
         "text before the first prompt is not a turn",
         flat({group({text("Prime sieve")}), prompt("q1"), button(""), para({text("a1 so far")}),
               group({N("AXTextArea")}), button("DeepThink"), button("")}),
         Turns{turn(1, 2, "user", "q1"), turn(2, 2, "assistant", "a1 so far")}, false},
        {"flat, Firefox mid-update: a code block's buttons read without their names do not end the reply "
         "when its text goes on before any prompt",
         flat({prompt("q1"), button(""), para({text("a1")}), group({text("python")}), button(""), button(""),
               group({text("x = 1")}), para({text("a2")}), button(""), button("")}),
         Turns{turn(1, 2, "user", "q1"), turn(2, 2, "assistant", "a1\npython\nx = 1\na2")}, true},
        {"flat: a prompt whose reply has not started",
         flat({prompt("q1"), button(""), button("")}), Turns{turn(1, 1, "user", "q1")}, false, false,
         {true, true, false}},
        {"flat, prompts renamed: the replies alone, never a prompt taken for one or joined to a reply",
         flat({group({text("q1")}, {"ds-message-v2"}), button(""), para({text("a1")}), button(""), button(""),
               group({text("q2")}, {"ds-message-v2"}), button(""), button(""), para({text("a2")}), button("")}),
         Turns{turn(1, 2, "assistant", "a1"), turn(2, 2, "assistant", "a2")}, true},
        {"flat, nothing recognisable", flat({group({text("q1")}), button(""), group({text("a1")}), button("")}),
         std::nullopt, true, false, {false, false, false}},
        {"a list without messages", page({group({text("Today")})}), std::nullopt},
    };
    expectParses(cases, DeepSeekTranscriptParser{}, &DeepSeekTranscriptParser::anchors());
}

TEST(DeepSeekTranscriptParser, ActionBarIsAChildOrGrandchild) {
    struct Case { const char* description; N item; bool expected; };
    const Case cases[] = {
        {"a grandchild", group({group({}, {"ds-message"}), group({group({}, {"ds-flex"})})}), true},
        {"deeper", group({group({}, {"ds-message"}), group({group({group({}, {"ds-flex"})})})}), false},
        {"the item itself does not count", group({group({}, {"ds-message"})}, {"ds-flex"}), false},
    };
    expectEach(cases, [](const Case& c) { return DeepSeekTranscriptParser::hasActionBar(*c.item.build()); });
}

}  // namespace
}  // namespace velmar
