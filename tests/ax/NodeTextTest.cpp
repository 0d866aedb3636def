// The text of a message as a person reads it, over the shapes trees come in:
// Chromium on Linux (inline elements holding their own text leaves, code as
// one span per token), macOS (paragraph groups of text runs), and trees
// recorded before inline elements had a role of their own. Every case runs
// over recorded nodes and simulated live elements.
#include "ax/AXElement.hpp"
#include "ax/NodeText.hpp"
#include "support/ParserTrees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace testing;  // the tree builders
using testing::text;      // rather than the velmar::text namespace

N inlineEl(std::initializer_list<N> kids) { return std::move(N("AXGroup").subrole("AXInline").kids(kids)); }
N marker(std::string s) { return std::move(N("AXListMarker").value(std::move(s))); }

const std::string kFFFC = "\xEF\xBF\xBC";

class NodeTextOver : public ::testing::TestWithParam<Kind> {};

TEST_P(NodeTextOver, ReadsWhatAPersonReads) {
    struct Case { const char* description; N tree; std::string expected; };
    const Case cases[] = {
        {"Linux: inline elements join their runs with no separator and are read once",
         group({N("AXGroup").kids({text("Hello "), inlineEl({text("bold")}), text(" and "), inlineEl({text("em")}),
                                   text(" with "), N("AXGroup").subrole("AXCodeStyleGroup").kids({text("inline()")}),
                                   text(" and a "), N("AXLink").description("link").kids({text("link")}), text(".")})}),
         "Hello bold and em with inline() and a link."},
        {"recorded before inline elements had a role: a text leaf holding a text leaf counts once",
         group({text("Say "), N("AXStaticText").kids({text("hi")}), text(" now")}), "Say hi now"},
        {"recorded: a plain group of runs between runs is a span (bold, inline code)",
         group({N("AXGroup").classes({"p"}).kids({text("Here is a "), group({text("sieve")}), text(" that marks "),
                                                   group({text("Vec<bool>")}), text(".")}),
                group({group({text("next")})})}),
         "Here is a sieve that marks Vec<bool>.\nnext"},
        {"recorded: side-by-side leaves meeting at a capital or an indentation are lines of their own",
         group({group({text("Is it?"), text("For n up "), text("to 9")}),
                group({text("def f():"), text("    return 1")})}),
         "Is it?\nFor n up to 9\ndef f():\nreturn 1"},
        {"macOS: paragraph groups of runs, one line each, a link inline",
         group({group({text("One "), N("AXLink").kids({text("two")}), text(" three")}), group({text("Four")})}),
         "One two three\nFour"},
        {"nested and empty blocks leave no blank lines; a space between runs stays one",
         group({group({group({text("a ")})}), group({}), group({group({text(" b")}), text("  ")}), text("c "),
                inlineEl({text(" d")})}),
         "a\nb\nc d"},
        {"a line break in the text breaks the line; spaces at line ends go",
         group({group({text("img "), text("end  "), text("\n"), text("after br")})}), "img end\nafter br"},
        {"the whole text is trimmed", group({text("\n  Hi  \n")}), "Hi"},
        {"code from token leaves: verbatim, blanks, blank lines and indentation kept; header a line of its own",
         group({group({text("Intro:")}),
                group({text("python"), button("Copy"), button("Run")}),
                N("AXGroup").subrole("AXCodeStyleGroup").kids({text("def"), text(" "), text("f"), text("():\n    "),
                                                                 text("print"), text("("), text("\"Hello, World!\""),
                                                                 text(")\n\n"), text("x"), text(" = 1\n")}),
                group({text("After.")})}),
         "Intro:\npython\ndef f():\n    print(\"Hello, World!\")\n\nx = 1\nAfter."},
        {"code from the element's whole text, an embedded object replaced by that child's text",
         group({N("AXGroup").subrole("AXCodeStyleGroup").value("if x:\n  " + kFFFC + "()").kids({
             text("if x:\n  "), N("AXGroup").subrole("AXInline").kids({text("go")}), text("()")})}),
         "if x:\n  go()"},
        {"a one-line code block stays where it is, unchanged",
         group({group({text("Run")}), N("AXGroup").subrole("AXCodeStyleGroup").kids({text("  ls -a")})}),
         "Run\n  ls -a"},
        {"a preformatted block keeps its text leaves verbatim",
         group({N("AXGroup").subrole("AXPreformatted").kids({text("a\n"), text("    b")}), group({text("c")})}),
         "a\n    b\nc"},
        {"ordered list with the page's numbers, an item holding a paragraph, a nested bulleted list",
         group({N("AXList").kids({group({marker("3. "), text("three "), inlineEl({text("b")})}),
                                  group({marker("4. "), group({text("four")}),
                                        N("AXList").kids({group({marker("\xE2\x97\xA6 "), text("nested")})})})})}),
         "3. three b\n4. four\n  - nested"},
        {"task list: a leading check box is the marker",
         group({N("AXList").kids({group({marker("\xE2\x80\xA2 "), N("AXCheckBox").subrole("AXChecked"), text(" done")}),
                                  group({N("AXCheckBox"), text("todo")}),
                                  group({N("AXCheckBox").value("1"), text("macOS checked")}), group({text("no marker")})})}),
         "[x] done\n[ ] todo\n[x] macOS checked\n- no marker"},
        {"table: one line per row, cells joined, macOS columns not read twice",
         group({N("AXTable").kids({N("AXRow").kids({N("AXCell").title("A"), N("AXCell").kids({text("B")})}),
                                   N("AXGroup").kids({N("AXRow").kids({N("AXCell").kids({text("1 "), inlineEl({text("x")})}),
                                                                       N("AXCell").kids({group({text("2")})})})}),
                                   N("AXColumn").kids({N("AXCell").title("A")})})}),
         "A | B\n1 x | 2"},
        {"images sit in their line with their alt text or without",
         group({group({text("see "), N("AXImage").description("a cat"), text(" and "), N("AXImage"), text(" end")})}),
         "see [image: a cat] and [image] end"},
        {"a formula reads as its tokens, styled letters as plain ones",
         group({group({text("Formula "),
                       N("AXGroup").subrole("AXDocumentMath").kids({group({
                           inlineEl({text("\xF0\x9D\x90\xB8")}), inlineEl({text("=")}), inlineEl({text("m")}),
                           group({inlineEl({text("\xF0\x9D\x91\x90")}), inlineEl({text("2")})})})}),
                       text(" done.")})}),
         "Formula E=mc2 done."},
        {"a formula's out-of-flow span between runs stays in its line",
         group({group({text("The law: "),
                       group({N("AXGroup").subrole("AXDocumentMath").kids({inlineEl({text("I")}), inlineEl({text("=")})})}),
                       text(" holds.")})}),
         "The law: I= holds."},
        {"controls and notices are never text",
         group({group({text("Answer")}), group({N("AXPopUpButton").title("Retry"), button("Sources")}),
                N("AXToolbar").kids({text("Copy")}), N("AXGroup").subrole("AXApplicationStatus").kids({text("Notice")}),
                N("AXMenu").kids({N("AXMenuItem").title("Edit")}), N("AXCheckBox").title("Remember")}),
         "Answer"},
        {"no object replacement character ever comes through", group({text("a" + kFFFC + "b")}), "ab"},
        {"a heading or cell without children reads its label; a text area its text as typed",
         group({N("AXHeading").title("Title"), N("AXTextArea").value("line one\n  two")}), "Title\nline one\n  two"},
    };
    for (const auto& c : cases) EXPECT_EQ(NodeText::of(*make(c.tree, GetParam())), c.expected) << c.description;
}

TEST_P(NodeTextOver, FollowsAParsersOwnRules) {
    auto tree = make(group({N("AXGroup").classes({"thinking"}).kids({text("hidden")}), text("5 minutes ago"),
                            group({group({group({text("too deep")})})}), text("kept")}),
                     GetParam());
    NodeTextRules rules;
    rules.skip = [](const NodeView& n) { return hasClass(n.domClassList(), "thinking"); };
    rules.dropLeaf = [](const std::string& s) { return s.ends_with(" ago"); };
    rules.maxDepth = 2;
    EXPECT_EQ(NodeText::of(*tree, rules), "kept");
    auto nodes = std::vector<AXNodePtr>{make(text("one "), GetParam()), make(text(" two"), GetParam())};
    EXPECT_EQ(NodeText::of(nodes), "one\ntwo") << "siblings given as a list are blocks";
}

INSTANTIATE_TEST_SUITE_P(Trees, NodeTextOver, ::testing::Values(Kind::Recorded, Kind::Live));

}  // namespace
}  // namespace velmar
