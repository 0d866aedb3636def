#include "parsing/ChatGPTDesktopSegmenter.hpp"
#include "parsing/ChatGPTTranscriptParser.hpp"
#include "parsing/FnvHash.hpp"
#include "support/ParserCases.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace testing;  // the shared tree builders and case tables
using testing::text;      // the builder, not the text namespace

N userHeading() { return std::move(N("AXHeading").title("You said:").classes({"sr-only"}).kids({text("You said:")})); }
N assistantHeading() { return std::move(N("AXHeading").title("ChatGPT said:").classes({"sr-only"})); }
N hiddenHeading() { return std::move(N("AXHeading").classes({"sr-only"})); }
N body(std::string s) { return group({text(std::move(s))}); }
N actions(std::string label) { return std::move(N("AXGroup").description(std::move(label))); }
N article(std::vector<N> kids) { return std::move(group(std::move(kids)).subrole("AXDocumentArticle")); }

// A page: main landmark holding one flat run of message children.
N page(std::vector<N> run, std::vector<N> extra = {}) {
    N main = std::move(N("AXGroup").subrole("AXLandmarkMain").kids({group(std::move(run))}));
    for (auto& n : extra) main.kid(n);
    return std::move(N("AXWebArea").kids({group({main})}));
}

// Positions and totals count every segment, roleless ones too.
TEST(ChatGPTTranscriptParser, SegmentsRolesAndPositions) {
    const Turns qa = {turn(1, 2, "user", "q"), turn(2, 2, "assistant", "a")};
    const ParserCase cases[] = {
        {"prefix headings", page({userHeading(), body("hi"), assistantHeading(), body("hello")}),
         Turns{turn(1, 2, "user", "hi"), turn(2, 2, "assistant", "hello")}},
        {"hidden headings take roles from action bars",
         page({hiddenHeading(), body("q"), actions("Your message actions"), hiddenHeading(), body("a"),
               actions("Response actions")}),
         qa},
        {"roleless segments, empty ones too, still count in positions",
         page({userHeading(), body("q"), hiddenHeading(), body("?"), hiddenHeading(), assistantHeading(), body("a")}),
         Turns{turn(1, 4, "user", "q"), turn(4, 4, "assistant", "a")}},
        {"adjacent headings give an empty body", page({userHeading(), assistantHeading(), body("a")}),
         Turns{turn(1, 2, "user", ""), turn(2, 2, "assistant", "a")}},
        {"children before the first heading are ignored", page({body("stray"), userHeading(), body("q")}),
         Turns{turn(1, 1, "user", "q")}},
        {"an action bar nested deeper does not give a role",
         page({hiddenHeading(), group({actions("Your message actions")})}), Turns{}},
        {"a non-heading with the prefix is body text", page({userHeading(), group({text("You said: x")})}),
         Turns{turn(1, 1, "user", "You said: x")}},
        {"articles without headings take roles from their action bars",
         page({article({body("q"), actions("Your message actions")}), article({body("a"), actions("Response actions")})}),
         qa},
        {"articles whose bars are dropped take roles from their controls",
         page({article({body("q"), button("Copy message"), button("Edit message")}),
               article({body("a"), button("Copy"), button("Good response")})}),
         qa},
        {"renamed headings and controls give no turns",
         page({article({N("AXHeading").title("Du hast gesagt:"), body("q"), button("Nachricht bearbeiten")}),
               article({body("a"), button("Gute Antwort")})}),
         Turns{}, true, false, {true, false}},
        {"without a main landmark the page is the transcript",
         N("AXWebArea").kids({group({article({userHeading(), body("q")}), article({assistantHeading(), body("a")})})}),
         qa, true, false, {true, true}},
        {"no landmark and no segments", N("AXWebArea").kids({body("x")}), std::nullopt},
        {"a landmark without segments", page({body("x")}), std::nullopt},
        {"a heading outranks an action bar that says otherwise",
         page({userHeading(), body("q"), actions("Response actions")}), Turns{turn(1, 1, "user", "q")}},
    };
    // Renamed: a message is found but no role, and the role probe fails as the parse does.
    expectParses(cases, ChatGPTTranscriptParser::web(), &ChatGPTTranscriptParser::anchors());

    // The landmark search cap of 25 is inclusive.
    N deep = nested(std::move(N("AXGroup").subrole("AXLandmarkMain").kids({userHeading(), body("q")})), 25);
    EXPECT_TRUE(ChatGPTTranscriptParser::web().snapshot(*deep.build(), std::nullopt));
    EXPECT_FALSE(ChatGPTTranscriptParser::web().snapshot(*group({deep}).build(), std::nullopt));
}

// The desktop app ends a prompt (never a reply) at its first button and takes
// a bare Stop button for answering; the web page, its relabelled send button.
TEST(ChatGPTTranscriptParser, WebAndDesktopConfigurations) {
    auto cut = page({userHeading(), body("before"), button("Copy message"), body("after"), assistantHeading(),
                     body("a1"), button("Copy"), body("a2")}).build();
    EXPECT_EQ(ChatGPTTranscriptParser::web().snapshot(*cut, std::nullopt).value().turns[0].text, "before\nafter");
    EXPECT_EQ(ChatGPTTranscriptParser::desktop().snapshot(*cut, std::nullopt).value().turns,
              inOrder({{"user", "before"}, {"assistant", "a1\na2"}}));

    auto run = std::vector<N>{userHeading(), body("q")};
    struct Case { const char* description; N tree; bool web; bool desktop; };
    const Case cases[] = {
        {"quiet page", page(run), true, true},
        {"Stop answering even after a user turn", page(run, {N("AXButton").title("Stop answering")}), false, false},
        {"Stop button only stops the desktop", page(run, {N("AXButton").description("Stop")}), true, false},
        {"the web page's send button relabelled", page(run, {N("AXButton").description("Stop streaming")}), false, true},
        {"Stop text that is not a button", page(run, {text("Stop")}), true, true},
    };
    for (const auto& c : cases) {
        auto tree = c.tree.build();
        EXPECT_EQ(ChatGPTTranscriptParser::web().snapshot(*tree, std::nullopt)->responseComplete, c.web) << c.description;
        EXPECT_EQ(ChatGPTTranscriptParser::desktop().snapshot(*tree, std::nullopt)->responseComplete, c.desktop)
            << c.description;
    }
}

// The desktop app's window, read through its application, is keyed on the
// trimmed first prompt.
TEST(ChatGPTDesktopSegmenter, KeysOnTheTrimmedFirstPrompt) {
    auto parser = ChatGPTTranscriptParser::desktop();
    auto a = ChatGPTDesktopSegmenter::snapshot(*page({userHeading(), body("  Plan a trip \n")}).build(), parser);
    auto b = ChatGPTDesktopSegmenter::snapshot(
        *page({assistantHeading(), body("hello"), userHeading(), body("Plan a trip"), assistantHeading(), body("ok")})
             .build(),
        parser);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->conversationKey, "apx:" + fnvHash("Plan a trip"));
    EXPECT_EQ(a->conversationKey, b->conversationKey);
    EXPECT_FALSE(a->surface);

    EXPECT_FALSE(ChatGPTDesktopSegmenter::snapshot(*page({assistantHeading(), body("hi")}).build(), parser))
        << "no user prompt yet: nothing to report";
    EXPECT_FALSE(ChatGPTDesktopSegmenter::snapshot(*page({userHeading(), body("  ")}).build(), parser));
    // The live application's window: LiveReads, over the recorded app windows.
    EXPECT_FALSE(ChatGPTDesktopSegmenter().snapshot(AXElement(sim::SimElement::make("AXApplication")))) << "no window";
}

}  // namespace
}  // namespace velmar
