// Firefox's hypertext read as text leaves: a container's own text, with an
// object replacement character (U+FFFC) where each child element sits, made
// into the runs and children that Chromium's tree gives, so the text layer
// reads both alike.
#include "platform/linux/atspi/AtspiTextRun.hpp"

#include "ax/AXElement.hpp"
#include "ax/NodeText.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar::linux_backend {
namespace {

using velmar::testing::N;

const std::string kObj = "\xEF\xBF\xBC";  // U+FFFC

// A simulated element shaped as Firefox exposes it: the hypertext is its
// "text" attribute, and its children are read as the Linux backend reads a
// Gecko container's.
class GeckoShaped final : public PlatformElement, public std::enable_shared_from_this<GeckoShaped> {
public:
    explicit GeckoShaped(AXElementRef sim) : sim_(std::move(sim)) {}
    std::optional<AXAttributeValue> copyAttribute(std::string_view name) const override {
        if (name != "AXChildren") return sim_->copyAttribute(name);
        std::vector<AXElementRef> kids;
        if (auto v = sim_->copyAttribute("AXChildren")) {
            for (const auto& k : std::get<std::vector<AXElementRef>>(*v)) kids.push_back(std::make_shared<GeckoShaped>(k));
        }
        auto text = sim_->copyAttribute("text");
        if (!text) return AXAttributeValue(kids);
        const bool listItem = sim_->copyAttribute("listItem").has_value();
        return AXAttributeValue(
            AtspiTextRun::interleave(shared_from_this(), std::get<std::string>(*text), std::move(kids), listItem));
    }
    bool setBoolAttribute(std::string_view, bool) const override { return false; }
    bool sameElement(const PlatformElement& other) const override {
        auto* o = dynamic_cast<const GeckoShaped*>(&other);
        return o && o->sim_->sameElement(*sim_);
    }
    std::size_t identityHash() const override { return sim_->identityHash(); }

private:
    AXElementRef sim_;
};

N hyper(const std::string& role, const std::string& text) { return std::move(N(role).attribute("text", text)); }
N inlineRun(const std::string& text) { return std::move(hyper("AXGroup", text).subrole("AXInline")); }

// What each piece of a container's text becomes: "run:" a text leaf,
// "marker:" a list marker, "child:N" the N-th real child.
std::vector<std::string> pieces(std::string_view text, std::size_t children, bool listItem = false) {
    std::vector<AXElementRef> kids;
    for (std::size_t i = 0; i < children; ++i) kids.push_back(N("AXGroup").title("c" + std::to_string(i)).buildSim());
    std::vector<std::string> out;
    for (const auto& e : AtspiTextRun::interleave(nullptr, text, kids, listItem)) {
        if (auto* run = dynamic_cast<const AtspiTextRun*>(e.get())) {
            AXElement element(e);
            out.push_back((element.role() == "AXListMarker" ? "marker:" : "run:") + run->text());
        } else {
            out.push_back("child:" + AXElement(e).title().value_or("?").substr(1));
        }
    }
    return out;
}

TEST(AtspiTextRun, SplitsAContainersTextAtItsEmbeddedObjects) {
    struct Case {
        const char* what;
        std::string text;
        std::size_t children;
        bool listItem;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"a paragraph with a link and an emphasis", "See " + kObj + " and " + kObj + ".", 2, false,
         {"run:See ", "child:0", "run: and ", "child:1", "run:."}},
        {"text alone is one leaf", "Hi there", 0, false, {"run:Hi there"}},
        {"a line break is a leaf of its own, as a <br> is", "Pasted text (3 lines)\nUse these\n\n" + kObj, 1, false,
         {"run:Pasted text (3 lines)", "run:\n", "run:Use these", "run:\n", "run:\n", "child:0"}},
        {"only embedded objects: the children as they are", kObj + kObj, 2, false, {"child:0", "child:1"}},
        {"no text at all: the children as they are", "", 1, false, {"child:0"}},
        {"objects side by side leave no empty run", kObj + kObj + "!", 2, false, {"child:0", "child:1", "run:!"}},
        {"a child without its character follows at the end", "a" + kObj, 2, false, {"run:a", "child:0", "child:1"}},
        {"a character without its child is dropped", kObj + "a" + kObj, 1, false, {"child:0", "run:a"}},
        {"a bulleted item's bullet is its marker", "• Blue light", 0, true, {"marker:• ", "run:Blue light"}},
        {"a numbered item's number is its marker", "12. Take " + kObj, 1, true, {"marker:12. ", "run:Take ", "child:0"}},
        {"a lettered item", "b) second", 0, true, {"marker:b) ", "run:second"}},
        {"an item without a marker", "Plain words", 0, true, {"run:Plain words"}},
        {"a bullet outside a list item is text", "• not an item", 0, false, {"run:• not an item"}},
        {"multi-byte text around objects", "é" + kObj + "日本", 1, false, {"run:é", "child:0", "run:日本"}},
    };
    for (const auto& c : cases) EXPECT_EQ(pieces(c.text, c.children, c.listItem), c.expected) << c.what;
}

// A run is a text leaf of its container: its parent is the container, and
// the same run read twice is one element.
TEST(AtspiTextRun, RunsAreLeavesOfTheirContainer) {
    auto parent = N("AXGroup").buildSim();
    auto first = AtspiTextRun::interleave(parent, "a" + kObj + "b", {N("AXLink").buildSim()}, false);
    auto again = AtspiTextRun::interleave(parent, "a" + kObj + "b", {N("AXLink").buildSim()}, false);
    ASSERT_EQ(first.size(), 3u);
    AXElement run(first[0]);
    EXPECT_EQ(run.role(), "AXStaticText");
    EXPECT_EQ(run.string("AXValue"), "a");
    EXPECT_TRUE(run.children().empty());
    EXPECT_TRUE(sameElement(std::get<AXElementRef>(*first[0]->copyAttribute("AXParent")), parent));
    EXPECT_TRUE(sameElement(first[0], again[0]));
    EXPECT_EQ(first[0]->identityHash(), again[0]->identityHash());
    EXPECT_FALSE(sameElement(first[0], first[2])) << "two runs of one container are two leaves";
}

// Message bodies as Firefox exposes them read as the page shows them,
// exactly as Chromium's text leaves do.
TEST(AtspiTextRun, FirefoxShapedMessagesReadAsThePageShowsThem) {
    struct Case {
        const char* what;
        N tree;
        std::string expected;
    };
    const Case cases[] = {
        {"inline runs join without separators",
         std::move(hyper("AXGroup", "The sky looks " + kObj + " because of " + kObj + ", as " + kObj + " says.")
                       .kids({inlineRun("blue"), inlineRun("short waves"), hyper("AXLink", "Rayleigh")})),
         "The sky looks blue because of short waves, as Rayleigh says."},
        {"paragraphs are lines, a line break in the text is kept",
         std::move(hyper("AXGroup", kObj + kObj)
                       .kids({hyper("AXGroup", "First line?\nSecond line."), hyper("AXGroup", "Next paragraph.")})),
         "First line?\nSecond line.\nNext paragraph."},
        {"list items keep their markers once",
         std::move(hyper("AXList", kObj + kObj)
                       .kids({std::move(hyper("AXGroup", "1. Blue (" + kObj + ") scatters").attribute("listItem", true)
                                            .kid(inlineRun("450 nm"))),
                              std::move(hyper("AXGroup", "2. Red less").attribute("listItem", true))})),
         "1. Blue (450 nm) scatters\n2. Red less"},
        {"a bullet list reads as one",
         std::move(hyper("AXList", kObj).kid(std::move(hyper("AXGroup", "• Gather the data").attribute("listItem", true)))),
         "- Gather the data"},
        {"a heading and an image among words",
         std::move(hyper("AXGroup", kObj + kObj)
                       .kids({hyper("AXHeading", "How strong?"),
                              std::move(hyper("AXGroup", kObj + " The spectrum.")
                                            .kid(N("AXImage").description("Spectrum")))})),
         "How strong?\n[image: Spectrum] The spectrum."},
        {"a table row is one line of cells",
         std::move(N("AXTable").kid(std::move(
             hyper("AXRow", kObj + kObj).kids({hyper("AXCell", "Blue"), hyper("AXCell", "450 " + kObj).kid(inlineRun("nm"))})))),
         "Blue | 450 nm"},
        {"a control's text is never read",
         std::move(hyper("AXGroup", "Answer " + kObj).kid(hyper("AXButton", "Copy"))), "Answer"},
    };
    for (const auto& c : cases) {
        AXElement root(std::make_shared<GeckoShaped>(c.tree.buildSim()));
        EXPECT_EQ(NodeText::of(root), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace velmar::linux_backend
