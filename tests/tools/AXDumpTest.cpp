// The fixture writer: live (simulated) trees to recorded-node JSON. That the
// scrubbed copies still parse is ax-record's own check (AXDumpRecord).
#include "tools/AXDump.hpp"

#include "ax/AXElement.hpp"
#include "support/Trees.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using testing::N;
using Json = jsondecode::Json;

Json write(const sim::SimElementPtr& root, bool includeURL = false, int budget = AXDump::nodeBudget) {
    return AXDump::serializeNode(AXElement(root), includeURL, 0, budget);
}

// Texts scrubbed, interface vocabulary kept, empty texts and class lists left
// out; role, subrole and class names as read; the address on the root only, scrubbed.
TEST(AXDumpTest, WritesEachNodeScrubbed) {
    const auto live = N("AXWebArea").url("https://claude.ai/chat/3f2a9c4e-1b2d-4e5f-8a9b-0c1d2e3f4a5b?x=1")
                          .subrole("AXLandmarkMain").classes({"user-42"})
                          .kids({N("AXButton").value("Retry").title("My notes").description("").placeholder("Ask me")
                                     .classes({}).url("https://claude.ai/chat/abc")});
    const auto root = live.buildSim();
    EXPECT_EQ(write(root, true),
              R"({"role":"AXWebArea","subrole":"AXLandmarkMain","domClassList":["user-42"],
        "url":"https://claude.ai/chat/00000000-0000-0000-0000-000000000000",
        "children":[{"role":"AXButton","value":"Retry","title":"Xx xxxxx","placeholder":"Xxx xx"}]})"_json);
    EXPECT_EQ(write(live.buildSim(), false).count("url"), 0u) << "no address for native trees";

    // Every member is read once, the address on the root only, nothing else.
    const auto& log = *root->readLog();
    for (const auto* e : {root.get(), root->childElements()[0].get()}) {
        for (const char* attribute : {"AXRole", "AXSubrole", "AXValue", "AXTitle", "AXDescription",
                                      "AXPlaceholderValue", "AXDOMClassList", "AXChildren"}) {
            EXPECT_EQ(log.count(e, attribute), 1u) << attribute;
        }
    }
    EXPECT_EQ(log.count("AXURL"), 1u);
    EXPECT_EQ(log.total(), 2u * 8 + 1);
}

TEST(AXDumpTest, BrokenTextFromTheApplicationIsRepaired) {
    auto root = sim::SimElement::make("AX\xffGroup");
    root->setString("AXValue", "pass\xff" "word 12");
    root->set("AXDOMClassList", std::vector<std::string>{"c\xfe"});
    const auto json = write(root);
    EXPECT_EQ(json.at("value"), "xxxx\uFFFDxxxx 00");
    EXPECT_NO_THROW(AXDump::prettyJSON(json));
}

TEST(AXDumpTest, NodeBudgetIsSharedByTheWalk) {
    auto kid = [](const std::string& name) {
        return N("AXGroup").classes({name}).kids({N("AXGroup").classes({name + "1"}),
                                                  N("AXGroup").classes({name + "2"})});
    };
    const auto tree = N("AXGroup").classes({"root"}).kids({kid("a"), kid("b"), kid("c")}).json();
    // Pre-order list of the nodes' class names (which are written unscrubbed).
    std::function<std::string(const Json&)> outline = [&](const Json& node) {
        std::string out = node.at("domClassList").at(0).get<std::string>();
        for (const auto& c : node.value("children", Json::array())) out += " " + outline(c);
        return out;
    };
    const struct {
        const char* description;
        int budget;
        std::string outline;
        int remaining;
    } cases[] = {
        {"enough for everything", 30000, "root a a1 a2 b b1 b2 c c1 c2", 29990},
        {"spent in the first child: its children still written, later siblings bare", 3, "root a a1 a2 b c", -3},
        {"spent by the root", 1, "root", 0},
    };
    for (const auto& c : cases) {
        int budget = c.budget;
        EXPECT_EQ(outline(AXDump::serializeNode(AXElement(testing::simTree(tree)), false, 0, budget)), c.outline)
            << c.description;
        EXPECT_EQ(budget, c.remaining) << c.description;
    }
}

TEST(AXDumpTest, DeepTreesAreCutAtDepthSixty) {
    std::vector<sim::SimElementPtr> chain{sim::SimElement::make("AXGroup")};
    for (int depth = 1; depth <= 70; ++depth) chain.push_back(chain.back()->append("AXGroup"));
    int budget = AXDump::nodeBudget;
    AXDump::serializeNode(AXElement(chain[0]), false, 0, budget);
    EXPECT_EQ(AXDump::nodeBudget - budget, 61) << "depths 0 to 60 written";
    const auto& log = *chain[0]->readLog();
    EXPECT_EQ(log.count(chain[59].get(), "AXChildren"), 1u);
    EXPECT_EQ(log.count(chain[60].get(), "AXChildren"), 0u) << "children past the cut are not even read";
}

}  // namespace
}  // namespace velmar
