#include "ax/AXElement.hpp"
#include "ax/AXReadScope.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace velmar {
namespace {

using sim::SimElement;
using testing::N;

// A failed read, or an answer of the wrong type, is a neutral value, and a
// scope remembers it as one: a gone element is not asked again within the parse.
TEST(AXElement, FailedReadsAndWrongTypesGiveNeutralValuesThatAScopeRemembers) {
    auto wrong = SimElement::make("AXCheckBox");
    wrong->set("AXValue", 1.0).setString("AXTitle", "Project").set("AXDOMClassList", std::string("not-a-list"));
    wrong->set("AXChildren", std::string("nope")).set("AXParent", std::string("nope"));
    AXElement typed(wrong);
    EXPECT_EQ(typed.label(), "Project") << "a number value never contributes to the label";
    EXPECT_FALSE(typed.string("AXValue"));
    EXPECT_TRUE(typed.domClassList().empty());
    EXPECT_TRUE(typed.children().empty());
    EXPECT_FALSE(typed.parent());

    auto e = SimElement::make("AXGroup");
    e->setString("AXSubrole", "AXLandmarkMain").setString("AXValue", "v").append("AXButton");
    e->failReads("AXRole").failReads("AXChildren");
    AXElement node(e);
    EXPECT_EQ(node.role(), "?");
    EXPECT_TRUE(node.children().empty());
    EXPECT_EQ(node.subrole(), "AXLandmarkMain");

    e->destroy();
    EXPECT_FALSE(node.subrole());
    EXPECT_TRUE(node.domClassList().empty());
    EXPECT_TRUE(node.windows().empty());
    EXPECT_FALSE(node.focusedWindow());
    e->readLog()->reset();
    AXReadScope scope;
    auto read = scope.read(node);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(read.role(), "?");
        EXPECT_EQ(read.label(), "");
        EXPECT_TRUE(read.children().empty());
        EXPECT_FALSE(read.parent());
    }
    EXPECT_EQ(e->readLog()->total(), 2u) << "the common members and the parent, once each";
}

// Within one scope, every way a parser reads a node costs at most one request
// per node for the common members, and one per other attribute.
TEST(AXReadScope, EachElementIsAskedOnce) {
    auto root = N("AXGroup")
                    .subrole("AXLandmarkMain")
                    .classes({"a"})
                    .kids({N("AXTextArea").value("draft").placeholder("Ask"), N("AXButton").description("Send")})
                    .buildSim();
    auto log = root->readLog();
    struct Case {
        const char* description;
        std::function<void(const AXElement&)> read;
        std::size_t roundTrips;
    };
    const std::vector<Case> cases = {
        {"role, subrole, label, title and classes: one request", [](const AXElement& e) {
             e.role(), e.subrole(), e.label(), e.title(), e.domClassList(), e.string("AXDescription");
         }, 1},
        {"the same members twice", [](const AXElement& e) {
             for (int i = 0; i < 2; ++i) e.role(), e.label(), e.domClassList(), e.children();
         }, 1},
        {"children walked twice: each child asked once", [](const AXElement& e) {
             for (int i = 0; i < 2; ++i) {
                 for (const auto& c : e.children()) c->role(), c->label();
             }
         }, 3},
        {"an attribute outside the common set: one more, once", [](const AXElement& e) {
             auto area = e.children().front();
             for (int i = 0; i < 2; ++i) area->string("AXPlaceholderValue"), area->label();
         }, 3},
        {"a child reached again through its parent is the same element", [](const AXElement& e) {
             auto child = e.children().front();
             child->parent()->role();
             child->parent()->children().front()->label();
         }, 3},
    };
    for (const auto& c : cases) {
        log->reset();
        AXReadScope scope;
        c.read(scope.read(AXElement(root)));
        EXPECT_EQ(log->total(), c.roundTrips) << c.description;
        EXPECT_TRUE(log->repeats().empty()) << c.description;
    }
}

// Where every request is one attribute, the scope asks for exactly what the
// walk needs, once: never more than reading each member once would.
TEST(AXReadScope, OneAttributePerRequestPlatforms) {
    auto root = N("AXGroup").kids({N("AXStaticText").value("hi"), N("AXButton").description("Send")}).buildSim();
    root->answerOneByOne();
    auto log = root->readLog();
    AXReadScope scope;
    auto e = scope.read(AXElement(root));
    for (int i = 0; i < 2; ++i) {
        for (const auto& c : e.children()) c->role(), c->label();
    }
    EXPECT_TRUE(log->repeats().empty());
    EXPECT_EQ(log->total(), log->attributeReads()) << "no request asks for several";
    EXPECT_EQ(log->total(), 1u + 2 + 1 + 3) << "children; two roles; the text's value; the button's value, title, description";
}

// A parse sees the application as it is when it starts; the next parse, and
// an element kept past its parse or read outside one, see it as it is then.
TEST(AXReadScope, MemoryLastsOneParseAndEveryOtherReadIsFresh) {
    auto text = SimElement::make("AXStaticText");
    text->script("AXValue", {AXAttributeValue(std::string("one")), AXAttributeValue(std::string("two")),
                             std::nullopt, AXAttributeValue(std::string("t\xFFo"))});
    std::optional<AXElement> kept;
    {
        AXReadScope scope;
        auto e = scope.read(AXElement(text));
        EXPECT_EQ(e.label(), "one");
        EXPECT_EQ(e.label(), "one");
        kept = e;
    }
    AXReadScope next;
    EXPECT_EQ(next.read(AXElement(text)).label(), "two");
    EXPECT_FALSE(kept->string("AXValue")) << "an element outliving its scope reads fresh";
    EXPECT_EQ(AXElement(text).string("AXValue"), "t\uFFFDo") << "broken text is repaired";
    EXPECT_EQ(text->readLog()->count(text.get(), "AXValue"), 4u);
}

}  // namespace
}  // namespace velmar
