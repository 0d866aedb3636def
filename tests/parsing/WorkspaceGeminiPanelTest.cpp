#include "parsing/WorkspaceGeminiPanel.hpp"
#include "ax/AXElement.hpp"
#include "support/ParserTrees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::group;
using testing::N;
using testing::nested;

N panelRoot(std::vector<N> kids = {}) {
    return std::move(group(std::move(kids), {"appsElementsSidekickRoot"}).subrole("AXLandmarkComplementary"));
}
N page(std::initializer_list<N> kids) { return std::move(N("AXWebArea").kids(kids)); }

TEST(WorkspaceGeminiPanel, Locate) {
    struct Case { const char* description; N page; bool found; };
    const Case cases[] = {
        {"three levels down, in a later sibling's subtree", page({group({}), nested(panelRoot(), 2)}), true},
        {"four levels down is too deep", page({nested(panelRoot(), 3)}), false},
        {"a nested web area is not searched", page({N("AXWebArea").kids({panelRoot()})}), false},
        {"the class without the complementary subrole", page({group({}, {"appsElementsSidekickRoot"})}), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WorkspaceGeminiPanel::locate(c.page.build()) != nullptr, c.found) << c.description;
    }
}

TEST(WorkspaceGeminiPanel, DisjointFromEditor) {
    auto wide = [](std::size_t nodes) { return panelRoot(std::vector<N>(nodes - 1, N("AXStaticText"))); };
    struct Case { const char* description; N candidate; int cap; bool disjoint; };
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
    for (const auto& c : cases) {
        EXPECT_EQ(WorkspaceGeminiPanel::isDisjointFromEditor(c.candidate.build(), c.cap), c.disjoint) << c.description;
    }
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
