#include "parsing/WorkspaceGeminiTranscriptParser.hpp"
#include "parsing/WorkspaceGeminiPanel.hpp"
#include "support/ParserCases.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace testing;  // the shared tree builders and case tables
using testing::text;      // the builder, not the text namespace

N user(std::vector<N> kids) { return group(std::move(kids), {"appsElementsSidekickUserMessageRoot"}); }
N agent(std::vector<N> kids) { return group(std::move(kids), {"appsElementsSidekickAgentMessageRoot"}); }
N promptHeading(std::optional<std::string> title, std::initializer_list<N> kids = {}) {
    N h = std::move(N("AXHeading").classes({"appsElementsSidekickUserMessageContainer"}).kids(kids));
    if (title) h.title(*title);
    return h;
}
N panel(std::vector<N> content) {
    return std::move(group({group({N("AXHeading").kids({text("Gemini")})}), group(std::move(content)),
                            N("AXTextArea").classes({"appsElementsSidekickPromptInput"})},
                           {"appsElementsSidekickRoot"})
                         .subrole("AXLandmarkComplementary"));
}
N feed(std::vector<N> entries) { return group(std::move(entries), {"appsElementsSidekickFeedEntries"}); }

TEST(WorkspaceGeminiTranscriptParser, Turns) {
    auto spinner = group({group({}, {"appsElementsSidekickThinkingStateCircleSpinner"}), text("Thinking…")},
                         {"appsElementsSidekickThinkingStateContainer"});
    const ParserCase cases[] = {
        {"an answer still thinking: no indicator text, incomplete",
         panel({feed({user({promptHeading("Summarize this doc")}), agent({spinner})})}),
         Turns{turn(1, 2, "user", "Summarize this doc"), turn(2, 2, "assistant", "")}, false},
        {"the screen-reader caption is dropped, chips and buttons contribute nothing, a link among words does",
         panel({feed({user({promptHeading("q")}),
                      agent({text(" Gemini response "),
                             group({text("The doc covers "), N("AXLink").kids({text("Q3")}), text(".")}),
                             group({N("AXLink").kids({text("Sources")})}), N("AXButton").kids({text("Copy")}),
                             group({text("Gemini responses vary")})})})}),
         Turns{turn(1, 2, "user", "q"), turn(2, 2, "assistant", "The doc covers Q3.\nGemini responses vary")}},
        {"a titled heading wins over the texts below it, trimmed",
         panel({feed({user({promptHeading("  Make a table \n", {text("Make a tab…")}), text("Edited")})})}),
         Turns{turn(1, 1, "user", "Make a table")}},
        {"an untitled heading gives its texts",
         panel({feed({user({promptHeading(std::nullopt, {group({text("line 1")}), group({text("line 2")})}), text("outside")})})}),
         Turns{turn(1, 1, "user", "line 1\nline 2")}},
        {"no heading: the entry's texts",
         panel({feed({user({text("plain prompt"), N("AXButton").kids({text("Edit")})})})}),
         Turns{turn(1, 1, "user", "plain prompt")}},
        {"start state: suggestions, no feed",
         panel({group({text("Hi, how can I help you today?"), N("AXButton").kids({text("Summarize this document")})},
                      {"appsElementsSidekickZeroState"})}),
         std::nullopt},
        {"a feed without messages", panel({feed({group({text("Today")})})}), std::nullopt},
        // Chromium on Linux leaves the class-only feed, messages and bubbles
        // out: headings, reply blocks and control rows side by side.
        {"flat: each reply runs to its control row; the notice after it and the prompt's edit row are no text; "
         "a cut-short prompt reads whole from its heading's name",
         panel({text("Today"), promptHeading(std::nullopt, {text("q1")}), group({button("Edit prompt")}),
                text("Gemini response"), group({text("a1")}), N("AXList").kids({group({text("item")})}),
                group({button("Sources"), N("AXLink").kids({text("Plan")})}),
                group({button("Insert"), button("Copy"), button("Good response"), button("Bad response")}),
                group({text("Your content is not used to train models.")}),
                std::move(promptHeading(std::nullopt, {text("Draft a reply…")}).description("Draft a reply to Sam")),
                group({button("Edit prompt")}), text("Gemini response"), group({text("a2")})}),
         Turns{turn(1, 4, "user", "q1"), turn(2, 4, "assistant", "a1\n- item"), turn(3, 4, "user", "Draft a reply to Sam"),
               turn(4, 4, "assistant", "a2")}},
        {"flat, thinking: the spinner keeps its class where its wrapper is gone",
         panel({promptHeading(std::nullopt, {text("q1")}), text("Gemini response"),
                std::move(N("AXProgressIndicator").classes({"appsElementsSidekickThinkingStateCircleSpinner"}))}),
         Turns{turn(1, 2, "user", "q1"), turn(2, 2, "assistant", "")}, false},
    };
    // The live reading of a titled heading: LiveReads, over the recorded Docs panels.
    expectParses(cases, WorkspaceGeminiTranscriptParser{}, &WorkspaceGeminiTranscriptParser::anchors());
}

// Finding the panel on the page, and telling it from the document editor.
N panelRoot(std::vector<N> kids = {}) {
    return std::move(group(std::move(kids), {"appsElementsSidekickRoot"}).subrole("AXLandmarkComplementary"));
}
N page(std::initializer_list<N> kids) { return std::move(N("AXWebArea").kids(kids)); }

TEST(WorkspaceGeminiPanel, Locate) {
    struct Case { const char* description; N page; bool expected; };
    const Case cases[] = {
        {"three levels down, in a later sibling's subtree", page({group({}), nested(panelRoot(), 2)}), true},
        {"four levels down is too deep", page({nested(panelRoot(), 3)}), false},
        {"a nested web area is not searched", page({N("AXWebArea").kids({panelRoot()})}), false},
        {"the class without the complementary subrole", page({group({}, {"appsElementsSidekickRoot"})}), false},
    };
    expectEach(cases, [](const Case& c) { return WorkspaceGeminiPanel::locate(c.page.build()) != nullptr; });
}

TEST(WorkspaceGeminiPanel, DisjointFromEditor) {
    auto wide = [](std::size_t nodes) { return panelRoot(std::vector<N>(nodes - 1, N("AXStaticText"))); };
    struct Case { const char* description; N candidate; int cap; bool expected; };
    const Case cases[] = {
        {"a document editor element", panelRoot({group({group({}, {"x", "kix-appview-editor"})})}), 4000, false},
        {"a prefix in the middle of a class does not count", panelRoot({group({}, {"my-kix-thing"})}), 4000, true},
        {"a nested web area", panelRoot({group({N("AXWebArea")})}), 4000, false},
        {"the candidate itself may be a web area", N("AXWebArea"), 4000, true},
        {"45 levels deep is allowed", nested(group(), 45), 4000, true},
        {"46 levels deep is refused", nested(group(), 46), 4000, false},
        {"cap + 1 nodes are accepted", wide(11), 10, true},
        {"cap + 2 nodes are refused", wide(12), 10, false},
    };
    expectEach(cases, [](const Case& c) {
        return WorkspaceGeminiPanel::isDisjointFromEditor(c.candidate.build(), c.cap);
    });
}

// A Docs page whose candidate subtree is the whole 30,000-node document: the
// editor check gives up after its node cap instead of reading the document.
// The class search's depth cap is inclusive, and nothing below it is read.
TEST(WorkspaceGeminiPanel, ReadsStopAtTheCaps) {
    auto log = std::make_shared<sim::SimReadLog>();
    auto root = sim::SimElement::make("AXGroup", log);
    root->set("AXDOMClassList", std::vector<std::string>{"appsElementsSidekickRoot"});
    for (int p = 0; p < 300; ++p) {
        auto paragraph = root->append("AXGroup");
        for (int w = 0; w < 99; ++w) paragraph->append("AXStaticText")->setString("AXValue", "word");
    }
    log->reset();
    EXPECT_FALSE(WorkspaceGeminiPanel::isDisjointFromEditor(std::make_shared<AXElement>(root), 4000));
    EXPECT_LE(log->elementsRead(), 4001u);
    EXPECT_GT(log->elementsRead(), 3900u);

    auto live = nested(group({}, {"deep"}), 5).buildSim(log);
    auto first = live->childElements().front();
    log->reset();
    EXPECT_FALSE(WorkspaceGeminiPanel::findByClass(std::make_shared<AXElement>(live), "deep", 1, 0));
    EXPECT_EQ(log->elementsRead(), 2u);
    EXPECT_EQ(log->count(first.get(), "AXChildren"), 0u);
    EXPECT_TRUE(WorkspaceGeminiPanel::findByClass(std::make_shared<AXElement>(live), "deep", 5, 0));
}

}  // namespace
}  // namespace velmar
