#include "parsing/ChatGPTDesktopSegmenter.hpp"
#include "parsing/ChatGPTTranscriptParser.hpp"
#include "parsing/FnvHash.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::N;

N text(std::string s) { return std::move(N("AXStaticText").value(std::move(s))); }
N userHeading() { return std::move(N("AXHeading").title("You said:").classes({"sr-only"}).kids({text("You said:")})); }
N assistantHeading() { return std::move(N("AXHeading").title("ChatGPT said:").classes({"sr-only"})); }
N hiddenHeading() { return std::move(N("AXHeading").classes({"sr-only"})); }
N body(std::string s) { return std::move(N("AXGroup").kids({text(std::move(s))})); }
N actions(std::string label) { return std::move(N("AXGroup").description(std::move(label))); }

N article(std::vector<N> kids) {
    N a = std::move(N("AXGroup").subrole("AXDocumentArticle"));
    for (auto& k : kids) a.kid(k);
    return a;
}
N button(std::string label) { return std::move(N("AXButton").description(std::move(label))); }

// A page: main landmark holding one flat run of message children.
N page(std::vector<N> run, std::vector<N> extra = {}) {
    N thread("AXGroup");
    for (auto& n : run) thread.kid(n);
    N main = std::move(N("AXGroup").subrole("AXLandmarkMain").kids({thread}));
    for (auto& n : extra) main.kid(n);
    return std::move(N("AXWebArea").kids({N("AXGroup").kids({main})}));
}

std::vector<std::string> roles(const SegmenterSnapshot& s) {
    std::vector<std::string> out;
    for (const auto& t : s.turns) out.push_back(t.role);
    return out;
}

TEST(ChatGPTTranscriptParser, SegmentsRolesAndPositions) {
    auto parser = ChatGPTTranscriptParser::web();
    struct Case {
        const char* description;
        N tree;
        std::vector<std::string> roles;
        std::vector<int> indexes;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"prefix headings", page({userHeading(), body("hi"), assistantHeading(), body("hello")}),
         {"user", "assistant"}, {1, 2}, {"hi", "hello"}},
        {"hidden headings take roles from action bars",
         page({hiddenHeading(), body("q"), actions("Your message actions"), hiddenHeading(), body("a"),
               actions("Response actions")}),
         {"user", "assistant"}, {1, 2}, {"q", "a"}},
        {"roleless segment still counts in positions",
         page({userHeading(), body("q"), hiddenHeading(), body("?"), assistantHeading(), body("a")}),
         {"user", "assistant"}, {1, 3}, {"q", "a"}},
        {"adjacent headings give an empty body", page({userHeading(), assistantHeading(), body("a")}),
         {"user", "assistant"}, {1, 2}, {"", "a"}},
        {"children before the first heading are ignored", page({body("stray"), userHeading(), body("q")}),
         {"user"}, {1}, {"q"}},
        {"an action bar nested deeper does not give a role",
         page({hiddenHeading(), N("AXGroup").kids({actions("Your message actions")})}), {}, {}, {}},
        {"a non-heading with the prefix is body text", page({userHeading(), N("AXGroup").kids({text("You said: x")})}),
         {"user"}, {1}, {"You said: x"}},
        {"articles without headings take roles from their action bars",
         page({article({body("q"), actions("Your message actions")}), article({body("a"), actions("Response actions")})}),
         {"user", "assistant"}, {1, 2}, {"q", "a"}},
        {"articles whose bars are dropped take roles from their controls",
         page({article({body("q"), button("Copy message"), button("Edit message")}),
               article({body("a"), button("Copy"), button("Good response")})}),
         {"user", "assistant"}, {1, 2}, {"q", "a"}},
        {"renamed headings and controls give no turns",
         page({article({N("AXHeading").title("Du hast gesagt:"), body("q"), button("Nachricht bearbeiten")}),
               article({body("a"), button("Gute Antwort")})}),
         {}, {}, {}},
    };
    for (const auto& c : cases) {
        auto snap = parser.snapshot(*c.tree.build(), std::string("key"));
        ASSERT_TRUE(snap) << c.description;
        EXPECT_EQ(roles(*snap), c.roles) << c.description;
        std::vector<int> indexes;
        std::vector<std::string> texts;
        for (const auto& t : snap->turns) {
            indexes.push_back(t.index);
            texts.push_back(t.text);
            EXPECT_FALSE(t.producedArtifact);
        }
        EXPECT_EQ(indexes, c.indexes) << c.description;
        EXPECT_EQ(texts, c.texts) << c.description;
        EXPECT_EQ(snap->conversationKey, "key");
    }
}

TEST(ChatGPTTranscriptParser, WithoutAMainLandmarkThePageIsTheTranscript) {
    auto tree = N("AXWebArea").kids({N("AXGroup").kids({article({userHeading(), body("q")}),
                                                        article({assistantHeading(), body("a")})})}).build();
    auto snap = ChatGPTTranscriptParser::web().snapshot(*tree, std::nullopt);
    ASSERT_TRUE(snap);
    EXPECT_EQ(roles(*snap), (std::vector<std::string>{"user", "assistant"}));
    for (const auto& anchor : ChatGPTTranscriptParser::anchors()) EXPECT_TRUE(anchor.foundIn(tree)) << anchor.name;
    auto renamed = page({article({body("q"), button("Nachricht bearbeiten")})}).build();
    EXPECT_TRUE(ChatGPTTranscriptParser::anchors()[0].foundIn(renamed)) << "a message is found";
    EXPECT_FALSE(ChatGPTTranscriptParser::anchors()[1].foundIn(renamed)) << "but no role: the probe fails as the parse does";
}

TEST(ChatGPTTranscriptParser, TotalsCountEverySegment) {
    auto snap = ChatGPTTranscriptParser::web().snapshot(
        *page({userHeading(), body("q"), hiddenHeading(), assistantHeading(), body("a")}).build(), std::nullopt);
    ASSERT_TRUE(snap);
    for (const auto& t : snap->turns) EXPECT_EQ(t.total, 3);
}

TEST(ChatGPTTranscriptParser, NoLandmarkOrNoSegmentsMeansNoSnapshot) {
    auto parser = ChatGPTTranscriptParser::web();
    EXPECT_FALSE(parser.snapshot(*N("AXWebArea").kids({body("x")}).build(), std::nullopt));
    EXPECT_FALSE(parser.snapshot(*page({body("x")}).build(), std::nullopt));
    // The landmark search cap of 25 is inclusive.
    N deep = std::move(N("AXGroup").subrole("AXLandmarkMain").kids({userHeading(), body("q")}));
    for (int i = 0; i < 25; ++i) deep = std::move(N("AXGroup").kids({deep}));
    EXPECT_TRUE(parser.snapshot(*deep.build(), std::nullopt));
    deep = std::move(N("AXGroup").kids({deep}));
    EXPECT_FALSE(parser.snapshot(*deep.build(), std::nullopt));
}

TEST(ChatGPTTranscriptParser, UserBodyEndsAtFirstButtonOnlyInDesktopConfiguration) {
    auto tree = page({userHeading(), body("before"), N("AXButton").description("Copy message"), body("after"),
                      assistantHeading(), body("a1"), N("AXButton").description("Copy"), body("a2")})
                    .build();
    auto web = ChatGPTTranscriptParser::web().snapshot(*tree, std::nullopt);
    auto desktop = ChatGPTTranscriptParser::desktop().snapshot(*tree, std::nullopt);
    ASSERT_TRUE(web && desktop);
    EXPECT_EQ(web->turns[0].text, "before\nafter");
    EXPECT_EQ(desktop->turns[0].text, "before");
    EXPECT_EQ(desktop->turns[1].text, "a1\na2") << "assistant replies are never cut at a button";
}

TEST(ChatGPTTranscriptParser, CompletionFollowsStopControls) {
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
}

TEST(ChatGPTDesktopSegmenter, ReadsTheFocusedWindowOfTheApplication) {
    auto window = page({userHeading(), body("q")}).buildSim();
    auto app = sim::SimElement::make("AXApplication");
    app->set("AXWindows", std::vector<AXElementRef>{window});
    ChatGPTDesktopSegmenter segmenter;
    auto snap = segmenter.snapshot(AXElement(app));
    ASSERT_TRUE(snap);
    EXPECT_EQ(snap->turns.size(), 1u);
    EXPECT_FALSE(segmenter.snapshot(AXElement(sim::SimElement::make("AXApplication"))));
    EXPECT_FALSE(segmenter.composerDraft(AXElement(app)));
}

// Live reads are round trips: pin how many one small snapshot costs so that a
// walk reading a member twice shows up here.
TEST(ChatGPTTranscriptParser, SmallLiveSnapshotReadCount) {
    auto root = page({userHeading(), body("q"), actions("Your message actions"), assistantHeading(), body("a"),
                      actions("Response actions")},
                     {N("AXButton").description("Send")})
                    .buildSim();
    AXElement live(root);
    auto log = root->readLog();
    log->reset();
    auto snap = ChatGPTTranscriptParser::web().snapshot(live, std::nullopt);
    ASSERT_TRUE(snap);
    EXPECT_EQ(snap->turns.size(), 2u);
    // 14 nodes: the landmark search, the segment walk and the text walks list
    // children once each, and the completion check walks the whole scope
    // twice (the stop text, then the stop button).
    EXPECT_EQ(log->elementsRead(), 14u);
    EXPECT_EQ(log->count("AXChildren"), 39u);
    EXPECT_EQ(log->count("AXRole"), 28u);
    EXPECT_EQ(log->total(), 119u);
}

}  // namespace
}  // namespace velmar
