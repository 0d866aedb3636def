// The node protocol and its helpers must answer the same over recorded nodes
// and simulated live elements, so every case runs against both.
#include "ax/AXElement.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace testing;  // the tree builders and both kinds of node

class NodeProtocol : public ::testing::TestWithParam<Kind> {};

TEST_P(NodeProtocol, LabelIsFirstNonBlankOfValueTitleDescription) {
    struct Case { const char* description; N node; std::string label; };
    const Case cases[] = {
        {"blank value falls through to title", N("AXButton").value("   ").title("Send"), "Send"},
        {"value kept untrimmed", N("AXStaticText").value("  Hi  ").title("T"), "  Hi  "},
        {"description alone", N("AXImage").description("photo"), "photo"},
        {"newline-only title skipped", N("AXGroup").title("\n").description("d"), "d"},
        {"nothing", N("AXGroup"), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(make(c.node, GetParam())->label(), c.label) << c.description;
}

TEST_P(NodeProtocol, TextNodesWalkPreOrderAndDescendThroughUnlabelled) {
    auto root = make(N("AXGroup").value("parent").kids({
                         N("AXGroup").kids({N("AXStaticText").value("deep")}),
                         N("AXStaticText").value(" \n "),
                         N("AXButton").title("Send"),
                     }),
                     GetParam());
    auto nodes = textNodes(*root, 0, 40);
    std::vector<TextNode> expected{{"AXGroup", "parent"}, {"AXStaticText", "deep"}, {"AXButton", "Send"}};
    EXPECT_EQ(nodes, expected);
    EXPECT_EQ(textNodes(*root, 0, 1).size(), 2u) << "depth cap is inclusive";
    EXPECT_TRUE(textNodes(*root, 2, 1).empty());
}

// One search alone and several in one walk find the first pre-order hit
// within each one's inclusive depth cap; a hit climbs back to the root.
TEST_P(NodeProtocol, SearchesTakeTheFirstPreOrderHitWithinTheirDepth) {
    auto root = make(N("AXGroup").kids({
                         N("AXGroup").classes({"x"}).kids({N("AXButton").title("Stop").classes({"deep"})}),
                         N("AXButton").title("Stop").description("second"),
                         N("AXTextArea").title("Other"),
                     }),
                     GetParam());
    auto hit = find(root, "AXButton", labelEquals("Stop"), 0, 5);
    ASSERT_TRUE(hit);
    EXPECT_FALSE(hit->string("AXDescription").has_value()) << "the deeper, earlier node wins";
    EXPECT_EQ(find(root, "AXButton", labelEquals("Stop"), 0, 1)->string("AXDescription"), "second");
    EXPECT_FALSE(find(root, "AXButton", labelNotBlank(), 0, 0)) << "maxDepth 0 examines only the node";
    EXPECT_FALSE(find(root, "AXButton", labelEquals("Nope"), 0, 5));
    EXPECT_TRUE(containsText(*root, 0, 2, labelEquals("Other")));
    EXPECT_FALSE(containsText(*root, 0, 0, labelEquals("Other")));
    ASSERT_TRUE(hit->parent() && hit->parent()->parent());
    EXPECT_EQ(hit->parent()->domClassList(), std::vector<std::string>{"x"});
    EXPECT_FALSE(hit->parent()->parent()->parent()) << "the root has no parent";

    auto button = [](const NodeView& n) { return n.role() == "AXButton" && n.label() == "Stop"; };
    auto classed = [](std::string cls) {
        return [cls](const NodeView& n) { return hasClass(n.domClassList(), cls); };
    };
    FirstHit first(5, button), shallow(1, button), group(5, classed("x")), deep(1, classed("deep")),
        area(0, [](const NodeView& n) { return n.role() == "AXTextArea"; });
    findEach(root, {&first, &shallow, &group, &deep, &area});
    ASSERT_TRUE(first.node && shallow.node && group.node);
    EXPECT_FALSE(first.node->string("AXDescription")) << "the deeper, earlier button";
    EXPECT_EQ(shallow.node->string("AXDescription"), "second") << "its cap hides the deeper one";
    EXPECT_EQ(group.node->domClassList(), std::vector<std::string>{"x"});
    EXPECT_FALSE(deep.node) << "a hit past the cap is not one";
    EXPECT_FALSE(area.node) << "cap 0 examines the root only";
}

// The walk stops where the last search stops: nothing after the last hit, and
// nothing below a cap, is read.
TEST(FindEach, ReadsNoMoreThanTheSearchesWould) {
    auto live = N("AXGroup").kids({N("AXGroup").kids({N("AXButton").kids({N("AXImage")})}), N("AXButton"), N("AXLink")})
                    .buildSim();
    auto log = live->readLog();
    FirstHit button(5, [](const NodeView& n) { return n.role() == "AXButton"; });
    FirstHit top(1, [](const NodeView& n) { return n.role() == "AXLink"; });
    findEach(std::make_shared<AXElement>(live), {&button, &top});
    EXPECT_TRUE(button.node && top.node);
    EXPECT_EQ(log->elementsRead(), 5u) << "root, group, its button; the second button; the link";
    EXPECT_EQ(log->count(live->childElements()[0]->childElements()[0].get(), "AXChildren"), 0u)
        << "below a hit, no search looks";

    log->reset();
    FirstHit none(1, [](const NodeView& n) { return n.role() == "AXSheet"; });
    findEach(std::make_shared<AXElement>(live), {&none});
    EXPECT_EQ(log->elementsRead(), 4u) << "depths 0 and 1 only";
    EXPECT_EQ(log->count("AXChildren"), 1u) << "the children of depth-1 nodes are never asked for";
}

INSTANTIATE_TEST_SUITE_P(BothNodeKinds, NodeProtocol, ::testing::Values(Kind::Recorded, Kind::Live),
                         [](const auto& info) { return info.param == Kind::Recorded ? "Recorded" : "Live"; });

}  // namespace
}  // namespace velmar
