#include "parsing/WorkspaceGeminiPanel.hpp"
#include "parsing/WorkspaceGeminiTranscriptParser.hpp"
#include "ax/AXElement.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::N;

N group(std::vector<N> kids, std::vector<std::string> classes = {}) {
    N g("AXGroup");
    if (!classes.empty()) g.classes(std::move(classes));
    for (auto& k : kids) g.kid(k);
    return g;
}
N panelRoot(std::vector<N> kids = {}) {
    N p = group(std::move(kids), {"appsElementsSidekickRoot"});
    p.subrole("AXLandmarkComplementary");
    return p;
}
N nested(N inner, int levels) {
    for (int i = 0; i < levels; ++i) inner = group({inner});
    return inner;
}
N page(std::vector<N> kids) {
    N p("AXWebArea");
    for (auto& k : kids) p.kid(k);
    return p;
}

TEST(WorkspaceGeminiPanel, Locate) {
    struct Case {
        const char* description;
        N page;
        bool found;
    };
    const Case cases[] = {
        {"a child of the page", page({group({}), panelRoot()}), true},
        {"three levels down", page({nested(panelRoot(), 2)}), true},
        {"four levels down is too deep", page({nested(panelRoot(), 3)}), false},
        {"found in a later sibling's subtree", page({group({group({})}), group({group({panelRoot()})})}), true},
        {"a nested web area is not searched", page({N("AXWebArea").kids({panelRoot()})}), false},
        {"the class without the complementary subrole", page({group({}, {"appsElementsSidekickRoot"})}), false},
        {"a class that only starts like the root's",
         page({std::move(group({}, {"appsElementsSidekickRootContainer"}).subrole("AXLandmarkComplementary"))}), false},
    };
    for (const auto& c : cases) {
        auto root = c.page.build();
        EXPECT_EQ(WorkspaceGeminiPanel::locate(root) != nullptr, c.found) << c.description;
    }
}

TEST(WorkspaceGeminiPanel, DisjointFromEditor) {
    auto wide = [](int nodes) {
        N root = panelRoot();
        for (int i = 1; i < nodes; ++i) root.kid(N("AXStaticText").value("x"));
        return root;
    };
    struct Case {
        const char* description;
        N candidate;
        int cap;
        bool disjoint;
    };
    const Case cases[] = {
        {"a document editor element", panelRoot({group({group({}, {"x", "kix-appview-editor"})})}), 4000, false},
        {"a Sheets grid", panelRoot({group({}, {"waffle-grid-container"})}), 4000, false},
        {"a prefix in the middle of a class does not count", panelRoot({group({}, {"my-kix-thing"})}), 4000, true},
        {"a nested web area", panelRoot({group({N("AXWebArea")})}), 4000, false},
        {"the candidate itself may be a web area", N("AXWebArea"), 4000, true},
        {"45 levels deep is allowed", nested(group({}), 45), 4000, true},
        {"46 levels deep is refused", nested(group({}), 46), 4000, false},
        {"cap + 1 nodes are accepted", wide(11), 10, true},
        {"cap + 2 nodes are refused", wide(12), 10, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WorkspaceGeminiPanel::isDisjointFromEditor(c.candidate.build(), c.cap), c.disjoint) << c.description;
    }
}

// A Docs page whose candidate subtree is the whole 30,000-node document: the
// check must give up after its node cap instead of reading the document.
TEST(WorkspaceGeminiPanel, EditorCheckReadsAtMostItsCap) {
    auto log = std::make_shared<sim::SimReadLog>();
    auto root = sim::SimElement::make("AXGroup", log);
    root->set("AXDOMClassList", std::vector<std::string>{"appsElementsSidekickRoot"});
    for (int p = 0; p < 300; ++p) {
        auto paragraph = root->append("AXGroup");
        for (int w = 0; w < 99; ++w) paragraph->append("AXStaticText")->setString("AXValue", "word");
    }
    auto candidate = std::make_shared<AXElement>(root);
    log->reset();
    EXPECT_FALSE(WorkspaceGeminiPanel::isDisjointFromEditor(candidate, 4000));
    EXPECT_LE(log->elementsRead(), 4001u);
    EXPECT_GT(log->elementsRead(), 3900u);
}

// The cap is inclusive, and nothing below it is read on a live tree.
TEST(WorkspaceGeminiPanel, FindByClassStopsAtItsCap) {
    auto log = std::make_shared<sim::SimReadLog>();
    auto live = nested(group({}, {"deep"}), 5).buildSim(log);
    auto first = live->childElements().front();
    log->reset();
    EXPECT_FALSE(WorkspaceGeminiPanel::findByClass(std::make_shared<AXElement>(live), "deep", 1, 0));
    EXPECT_EQ(log->elementsRead(), 2u);
    EXPECT_EQ(log->count(first.get(), "AXChildren"), 0u);
    EXPECT_TRUE(WorkspaceGeminiPanel::findByClass(std::make_shared<AXElement>(live), "deep", 5, 0));
}

// The gate's view of a Docs page: the editor beside the panel, the panel in its
// start state (suggestions, no feed) and after the first prompt.
TEST(WorkspaceGeminiPanel, DocsPageFromStartStateToFirstExchange) {
    auto text = [](std::string s) { return std::move(N("AXStaticText").value(std::move(s))); };
    auto editor = group({group({group({text("Offsite plan")}, {"kix-lineview"})}, {"kix-page"})}, {"kix-appview-editor"});
    auto composer = N("AXTextArea").classes({"appsElementsSidekickPromptInput"});
    auto startState = panelRoot({group({text("Hi, how can I help you today?"),
                                        N("AXButton").kids({text("Summarize this document")})},
                                       {"appsElementsSidekickZeroState"}),
                                 composer});
    auto withFeed = panelRoot({group({group({group({N("AXHeading")
                                                        .classes({"appsElementsSidekickUserMessageContainer"})
                                                        .title("Summarize this document")},
                                                   {"appsElementsSidekickUserMessageRoot"})},
                                            {"appsElementsSidekickFeedEntries"})}),
                               composer});
    struct Case {
        const char* description;
        N panel;
        bool feed;
    };
    const Case cases[] = {{"start state", startState, false}, {"first exchange", withFeed, true}};
    for (const auto& c : cases) {
        auto root = page({group({group({editor})}), group({c.panel})}).build();
        auto panel = WorkspaceGeminiPanel::locate(root);
        ASSERT_TRUE(panel) << c.description;
        EXPECT_TRUE(WorkspaceGeminiPanel::isDisjointFromEditor(panel, 4000)) << c.description;
        EXPECT_FALSE(WorkspaceGeminiPanel::isDisjointFromEditor(root, 4000)) << c.description;
        bool feed = WorkspaceGeminiPanel::findByClass(panel, "appsElementsSidekickFeedEntries", 12, 0) != nullptr;
        EXPECT_EQ(feed, c.feed) << c.description;
        EXPECT_EQ(WorkspaceGeminiTranscriptParser{}.snapshot(*panel, "doc").has_value(), c.feed) << c.description;
    }
}

}  // namespace
}  // namespace velmar
