// Firefox's hypertext read as text leaves: a container's own text, with an
// object replacement character (U+FFFC) where each child element sits, made
// into the runs and children that Chromium's tree gives, so the text layer
// reads both alike.
#include "platform/linux/atspi/AtspiTextRun.hpp"

#include "ax/AXElement.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar::linux_backend {
namespace {

using velmar::testing::N;

const std::string kObj = "\xEF\xBF\xBC";  // U+FFFC

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
        {"a line break is a leaf of its own, as a <br> is", "Pasted text (3 lines)\nUse these\n\n" + kObj, 1, false,
         {"run:Pasted text (3 lines)", "run:\n", "run:Use these", "run:\n", "run:\n", "child:0"}},
        {"only embedded objects: the children as they are", kObj + kObj, 2, false, {"child:0", "child:1"}},
        {"objects side by side leave no empty run", kObj + kObj + "!", 2, false, {"child:0", "child:1", "run:!"}},
        {"a child without its character follows at the end", "a" + kObj, 2, false, {"run:a", "child:0", "child:1"}},
        {"a character without its child is dropped", kObj + "a" + kObj, 1, false, {"child:0", "run:a"}},
        {"a bulleted item's bullet is its marker", "• Blue light", 0, true, {"marker:• ", "run:Blue light"}},
        {"a numbered item's number is its marker", "12. Take " + kObj, 1, true, {"marker:12. ", "run:Take ", "child:0"}},
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

}  // namespace
}  // namespace velmar::linux_backend
