#include "ax/AXElement.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using sim::SimElement;

TEST(AXElement, FailedReadsGiveNeutralValues) {
    auto e = SimElement::make("AXGroup");
    e->setString("AXSubrole", "AXLandmarkMain").setString("AXValue", "v").append("AXButton");
    e->failReads("AXRole").failReads("AXChildren");
    AXElement node(e);
    EXPECT_EQ(node.role(), "?");
    EXPECT_TRUE(node.children().empty());
    EXPECT_EQ(node.subrole(), "AXLandmarkMain");

    e->destroy();
    EXPECT_EQ(node.role(), "?");
    EXPECT_FALSE(node.subrole());
    EXPECT_EQ(node.label(), "");
    EXPECT_TRUE(node.domClassList().empty());
    EXPECT_FALSE(node.parent());
    EXPECT_TRUE(node.windows().empty());
    EXPECT_FALSE(node.focusedWindow());
}

TEST(AXElement, WrongValueTypesAreAbsent) {
    auto e = SimElement::make("AXCheckBox");
    e->set("AXValue", 1.0).setString("AXTitle", "Project").set("AXDOMClassList", std::string("not-a-list"));
    e->set("AXChildren", std::string("nope")).set("AXParent", std::string("nope"));
    AXElement node(e);
    EXPECT_EQ(node.label(), "Project") << "a number value never contributes to the label";
    EXPECT_FALSE(node.string("AXValue"));
    EXPECT_TRUE(node.domClassList().empty());
    EXPECT_TRUE(node.children().empty());
    EXPECT_FALSE(node.parent());
}

TEST(AXElement, EveryReadIsFreshAndBrokenTextIsRepaired) {
    auto e = SimElement::make("AXStaticText");
    e->script("AXValue", {AXAttributeValue(std::string("one")), std::nullopt, AXAttributeValue(std::string("t\xFFo"))});
    AXElement node(e);
    EXPECT_EQ(node.string("AXValue"), "one");
    EXPECT_FALSE(node.string("AXValue"));
    EXPECT_EQ(node.string("AXValue"), "t\uFFFDo");
    EXPECT_EQ(e->readLog()->count(e.get(), "AXValue"), 3u);
}

}  // namespace
}  // namespace velmar
