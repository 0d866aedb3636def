// The fixture writer: live (simulated) trees to recorded-node JSON, and the
// round trip of every bundled fixture through it.
#include "tools/AXDump.hpp"

#include "ax/AXElement.hpp"
#include "ax/FixtureDocument.hpp"
#include "parsing/FixtureParsing.hpp"
#include "support/Trees.hpp"
#include "tools/FixtureCheck.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace velmar {
namespace {

using testing::N;
using Json = jsondecode::Json;

Json writeSim(const Json& tree, bool includeURL, int budget = AXDump::nodeBudget) {
    return AXDump::serializeNode(AXElement(testing::simTree(tree)), includeURL, 0, budget);
}

TEST(AXDumpTest, WritesEachNodeScrubbed) {
    struct Case {
        const char* description;
        bool includeURL;
        Json live;
        Json expected;
    };
    const Case cases[] = {
        {"texts are scrubbed, vocabulary kept, empty texts left out", false,
         N("AXButton").value("Retry").title("My notes").description("").placeholder("Ask me").json(),
         R"({"role":"AXButton","value":"Retry","title":"Xx xxxxx","placeholder":"Xxx xx"})"_json},
        {"role, subrole and class names are not scrubbed; an empty class list is left out", false,
         N("AXGroup").subrole("AXLandmarkMain").classes({"user-42"}).kids({N("AXGroup").classes({})}).json(),
         R"({"role":"AXGroup","subrole":"AXLandmarkMain","domClassList":["user-42"],
             "children":[{"role":"AXGroup"}]})"_json},
        {"an unreadable role is ?, a number where text was expected is left out", false,
         R"({"attributes":{"AXValue":1}})"_json, R"({"role":"?"})"_json},
        {"the root's address is scrubbed, children's are never written", true,
         N("AXWebArea").url("https://claude.ai/chat/3f2a9c4e-1b2d-4e5f-8a9b-0c1d2e3f4a5b?x=1")
             .kids({N("AXWebArea").url("https://claude.ai/chat/abc")})
             .json(),
         R"({"role":"AXWebArea","url":"https://claude.ai/chat/00000000-0000-0000-0000-000000000000",
             "children":[{"role":"AXWebArea"}]})"_json},
        {"an address read as a plain string", true,
         R"({"role":"AXWebArea","attributes":{"AXURL":"https://gemini.google.com/app/9fe1"}})"_json,
         R"({"role":"AXWebArea","url":"https://gemini.google.com/app/0xx0"})"_json},
        {"no address for native trees", false, N("AXWebArea").url("https://claude.ai/chat/abc").json(),
         R"({"role":"AXWebArea"})"_json},
    };
    for (const auto& c : cases) EXPECT_EQ(writeSim(c.live, c.includeURL), c.expected) << c.description;
}

TEST(AXDumpTest, BrokenTextFromTheApplicationIsRepaired) {
    auto root = sim::SimElement::make("AX\xffGroup");
    root->setString("AXValue", "pass\xff" "word 12");
    root->set("AXDOMClassList", std::vector<std::string>{"c\xfe"});
    int budget = 1;
    const auto json = AXDump::serializeNode(AXElement(root), false, 0, budget);
    EXPECT_EQ(json.at("value"), "xxxx\uFFFDxxxx 00");
    EXPECT_NO_THROW(AXDump::prettyJSON(json));
}

// Pre-order list of the nodes' class names (which are written unscrubbed).
std::string outline(const Json& node) {
    std::string out = node.at("domClassList").at(0).get<std::string>();
    if (auto it = node.find("children"); it != node.end()) {
        for (const auto& c : *it) out += " " + outline(c);
    }
    return out;
}

TEST(AXDumpTest, NodeBudgetIsSharedByTheWalk) {
    auto kid = [](const std::string& name) {
        return N("AXGroup").classes({name}).kids({N("AXGroup").classes({name + "1"}), N("AXGroup").classes({name + "2"})});
    };
    const auto tree = N("AXGroup").classes({"root"}).kids({kid("a"), kid("b"), kid("c")}).json();
    struct Case {
        const char* description;
        int budget;
        std::string outline;
        int remaining;
    };
    const Case cases[] = {
        {"enough for everything", 30000, "root a a1 a2 b b1 b2 c c1 c2", 29990},
        {"spent inside the first child: its children still all written, later siblings bare", 3,
         "root a a1 a2 b c", -3},
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
    auto root = sim::SimElement::make("AXGroup");
    std::vector<sim::SimElementPtr> chain{root};
    for (int depth = 1; depth <= 70; ++depth) chain.push_back(chain.back()->append("AXGroup"));
    int budget = AXDump::nodeBudget;
    AXDump::serializeNode(AXElement(root), false, 0, budget);

    EXPECT_EQ(AXDump::nodeBudget - budget, 61) << "depths 0 to 60 written";
    const auto& log = *root->readLog();
    EXPECT_EQ(log.count(chain[59].get(), "AXChildren"), 1u);
    EXPECT_EQ(log.count(chain[60].get(), "AXChildren"), 0u) << "children past the cut are not even read";
}

TEST(AXDumpTest, ReadsEveryMemberOnce) {
    auto root = testing::simTree(N("AXWebArea")
                                     .url("https://chatgpt.com/c/1")
                                     .kids({N("AXGroup").value("v").title("t").description("d").placeholder("p"),
                                            N("AXButton").description("Copy")})
                                     .json());
    int budget = AXDump::nodeBudget;
    AXDump::serializeNode(AXElement(root), true, 0, budget);
    const auto& log = *root->readLog();
    for (const auto* e : {root.get(), root->childElements()[0].get(), root->childElements()[1].get()}) {
        for (const char* attribute : {"AXRole", "AXSubrole", "AXValue", "AXTitle", "AXDescription", "AXPlaceholderValue",
                                      "AXDOMClassList", "AXChildren"}) {
            EXPECT_EQ(log.count(e, attribute), 1u) << attribute;
        }
    }
    EXPECT_EQ(log.count("AXURL"), 1u) << "the address is read on the root only";
    EXPECT_EQ(log.total(), 3u * 8 + 1) << "nothing else is read";
}

// What a snapshot says that scrubbing must keep: everything but the texts,
// of which only presence counts.
std::string vocabulary(std::optional<SegmenterSnapshot> s) {
    if (!s) return "no snapshot";
    auto presence = [](std::optional<std::string>& v) {
        if (v) v = "";
    };
    for (auto& t : s->turns) {
        t.text.clear();
        presence(t.artifactTitle);
        presence(t.artifactType);
    }
    presence(s->conversationKey);
    presence(s->model);
    presence(s->composerDraft);
    return s->toJSON().dump();
}

// Fixture shapes whose parse depends on text the scrubber masks, with the
// reason. Each must really diverge, so that the list cannot go stale.
// Every bundled shape round-trips today; a new entry needs its reason here.
const std::map<std::string, std::string> kRoundTripExceptions = {};

std::vector<std::string> bundledFixtures() {
    std::vector<std::string> missing, out;
    for (const auto& p : FixtureCheck::collect({VELMAR_FIXTURE_DIR}, missing)) {
        out.push_back(std::filesystem::relative(p, VELMAR_FIXTURE_DIR).generic_string());
    }
    return out;
}

class FixtureRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(FixtureRoundTrip, ScrubbedCopyParsesLikeTheLiveTree) {
    std::ifstream in(std::filesystem::path(VELMAR_FIXTURE_DIR) / GetParam(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const auto original = FixtureDocument::decodeText(bytes.str());
    const auto& surface = original.meta.surface;

    // The fixture as a live application would show it, parsed live with the
    // key live capture would have had.
    auto live = testing::simTree(FixtureDocument::nodeToJSON(*original.tree));
    bool derivable = false;
    const auto liveParse = vocabulary(FixtureParsing::parse(surface, AXElement(live), FixtureCheck::deriveKey(original, derivable)));

    // Recorded, written, read back and parsed as the fixture check would.
    const bool browser = original.meta.browser.has_value() || original.tree->url.has_value();
    int budget = AXDump::nodeBudget;
    auto document = original.toJSON();
    document["tree"] = AXDump::serializeNode(AXElement(live), browser, 0, budget);
    auto replay = FixtureDocument::decodeText(AXDump::prettyJSON(document));
    replay.tree->wireParents();
    const auto replayParse = vocabulary(FixtureParsing::parse(surface, *replay.tree, FixtureCheck::deriveKey(replay, derivable)));

    ASSERT_NE(liveParse, "no snapshot") << "the live parse found no transcript";
    if (auto exception = kRoundTripExceptions.find(GetParam()); exception != kRoundTripExceptions.end()) {
        EXPECT_NE(liveParse, replayParse) << "listed as an exception (" << exception->second
                                          << ") but round-trips cleanly: take it off the list";
        return;
    }
    EXPECT_EQ(liveParse, replayParse);
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name;
    for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Bundled, FixtureRoundTrip, ::testing::ValuesIn(bundledFixtures()), testName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FixtureRoundTrip);

}  // namespace
}  // namespace velmar
