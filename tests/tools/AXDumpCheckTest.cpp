// ax-check, ax-record and ax-turns over a simulated desktop, and the fixture
// writer: live trees to scrubbed recorded-node JSON.
#include "tools/AXDump.hpp"

#include "ax/AXElement.hpp"
#include "capture/AIAppAllowlist.hpp"
#include "tools/CaptureCheck.hpp"
#include "support/TempFiles.hpp"
#include "support/Trees.hpp"
#include "tools/FixtureCheck.hpp"
#include "tools/ToolTime.hpp"
#include "tools/ToolDesktop.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace velmar {
namespace {

using ::testing::HasSubstr;
using ::testing::Matcher;
using ::testing::Not;
using testing::N;
using testing::Texts;
using testing::ToolDesktop;
using Json = jsondecode::Json;

const std::string kClaudeURL = "https://claude.ai/chat/3f2a9c4e-1b2d-4e5f-8a9b-0c1d2e3f4a5b";
const Texts kExchange = {"Fernhollow capture baseline: plan the offsite", "Here is a plan."};

TEST(AXDumpCheck, ProbesAndParsesEachTargetAndFailsOnAMovedMarker) {
    auto moved = testing::claudePage(kClaudeURL, kExchange, true).json();
    moved["children"].back()["domClassList"] = {"Editor"};  // the composer lost its editor class, as after an update
    struct Case { const char* description; nlohmann::json page; int status; std::vector<std::string> said;
                  std::string unsaid; };
    const Case cases[] = {
        {"a tab with every marker passes", testing::claudePage(kClaudeURL, kExchange, true).json(), 0,
         {"── claude_ai (chromium)\n  PASS  messages (", "  PASS  composer (ProseMirror text area)\n",
          "  PASS  parser: 2 turn(s)\n  PASS  parser: roles resolved\n",
          "\nRESULT: PASS — every probed marker present.\n"}, "FAIL"},
        {"a moved marker fails its probe and the run", moved, 1,
         {"  FAIL  composer (ProseMirror text area)\n", "  PASS  messages (",
          "RESULT: FAIL — a contract marker moved; compare with the probes above.\n"}, "RESULT: PASS"},
        {"a tab without a conversation prints its probes but does not fail",
         testing::claudePage("https://claude.ai/new", kExchange, true).json(), 0,
         {"── claude_ai (chromium)  [no conversation open]\n  PASS  messages"}, "parser:"},
        {"a conversation whose parse finds no transcript fails",
         N("AXWebArea").url(kClaudeURL).kids({N("AXStaticText").value("Loading")}).json(), 1,
         {"  FAIL  parser: snapshot nil (container marker missing?)\n"}, "RESULT: PASS"},
        {"no page of a known surface: nothing to check", N("AXWebArea").url("https://example.com/").json(), 2, {},
         "RESULT"},
    };
    for (const auto& c : cases) {
        ToolDesktop d(c.page);
        EXPECT_EQ(AXDump::check(d.context), c.status) << c.description;
        for (const auto& s : c.said) EXPECT_THAT(d.output(), HasSubstr(s)) << c.description;
        EXPECT_THAT(d.output(), Not(HasSubstr(c.unsaid))) << c.description;
    }
}

TEST(AXDumpRecord, RecordsAFixtureThatTheFixtureCheckAccepts) {
    testing::TempDir dir;
    ToolDesktop d(testing::claudePage(kClaudeURL, kExchange, true).json());
    const std::vector<std::string> args = {"--surface", "claude_ai", "--scenario", "sim-one-exchange", "--out",
                                           dir.path().string()};
    ASSERT_EQ(AXDump::record(args, d.context), 0) << d.err.str();
    const auto file = dir.path() / "claude_ai" / (ToolTime::localDate(d.loop.now()) + "-sim-one-exchange.json");
    EXPECT_THAT(d.output(), HasSubstr("  round-trip: scrubbed tree parses identically."));

    const auto result = FixtureCheck::check(file, std::nullopt);
    EXPECT_TRUE(result.passed) << result.reason.value_or("");
    const auto doc = nlohmann::json::parse(std::ifstream(file));
    EXPECT_EQ(doc["meta"], (nlohmann::json{{"surface", "claude_ai"}, {"scenario", "sim-one-exchange"},
                                           {"recordedAt", "2026-01-01T00:00:00Z"}, {"agentVersion", "1.2.3"},
                                           {"browser", "chromium"}}));
    EXPECT_EQ(doc["tree"]["url"], "https://claude.ai/chat/00000000-0000-0000-0000-000000000000");
    EXPECT_THAT(doc.dump(), Not(HasSubstr("offsite"))) << "the conversation's words are scrubbed";
}

// The agent's executable becomes a tool only for these exact words, and only
// when trusted; the recorder refuses what it cannot record.
TEST(AXDumpDispatch, VerbsAreMatchedExactlyAndTrustComesFirst) {
    for (const char* verb : {"ax-check", "ax-record", "ax-turns", "capture-check"}) EXPECT_TRUE(AXDump::isVerb(verb));
    for (const char* other : {"AX-CHECK", "ax-check ", "", "--help"}) EXPECT_FALSE(AXDump::isVerb(other)) << other;
    const std::string recordUsage(AXDump::recordUsage);
    struct Case { const char* description; std::vector<std::string> args; bool trusted; Matcher<std::string> err; };
    const Case cases[] = {
        {"untrusted: the grant message only", {"ax-check"}, false, std::string(AXDump::missingTrustMessage())},
        {"untrusted, unknown verb: still the grant message", {"nope"}, false, std::string(AXDump::missingTrustMessage())},
        {"empty list", {}, true, std::string(AXDump::usage)},
        {"unknown verb", {"ax-chekc"}, true, std::string(AXDump::usage)},
        {"the words after the verb reach the harness", {"capture-check"}, true,
         "capture-check: --manifest is required\nusage: " + std::string(CaptureCheck::usage) + "\n"},
        {"record: no scenario", {"ax-record", "--surface", "claude_ai"}, true, recordUsage},
        {"record: a value missing", {"ax-record", "--surface", "claude_ai", "--scenario"}, true, recordUsage},
        {"record: an unknown word", {"ax-record", "--surface", "claude_ai", "--scenario", "s", "-v"}, true,
         "unknown argument -v\n"},
        {"record: an unknown browser", {"ax-record", "--surface", "claude_ai", "--scenario", "s", "--browser", "Chrome"},
         true, "unknown --browser Chrome; known: chrome, chromium, brave, edge, vivaldi, opera, firefox\n"},
        {"record: no such target", {"ax-record", "--surface", "gemini", "--scenario", "s"}, true,
         HasSubstr("no live gemini target")},
        {"record: open in two browsers", {"ax-record", "--surface", "claude_ai", "--scenario", "s"}, true,
         HasSubstr("claude_ai is open in more than one browser (chromium, chrome)")},
        {"record: no conversation to parse", {"ax-record", "--surface", "deepseek", "--scenario", "s"}, true,
         HasSubstr("live parse returned nil for deepseek")},
    };
    for (const auto& c : cases) {
        ToolDesktop d(testing::claudePage(kClaudeURL, kExchange, true).json());
        d.show(N("AXWebArea").url("https://chat.deepseek.com/a/chat/s/5c7e2b9f"));
        d.launchBrowser("google-chrome", 701);
        d.show(testing::claudePage(kClaudeURL, kExchange, true), 701);
        d.desktop.accessibility().setTrusted(c.trusted);
        EXPECT_EQ(AXDump::run(c.args, d.context), 2) << c.description;
        EXPECT_THAT(d.err.str(), c.err) << c.description;
        EXPECT_EQ(d.output(), "") << c.description;
    }
}

TEST(AXDumpTurns, PrintsWhatEveryTargetShowsNowAsJSONLinesOrReadably) {
    auto page = testing::chatgptPage("https://chatgpt.com/c/abc-123", {"Hi \"there\"", "Line one"}, false).json();
    page["title"] = "Greeting";
    ToolDesktop d(page);
    EXPECT_EQ(AXDump::run({"ax-turns", "--json"}, d.context), 0) << d.err.str();
    EXPECT_EQ(d.output(),
              R"({"surface":"chatgpt","browser":"chromium","conversationKey":"abc-123","title":"Greeting","ordinal":1,)"
              R"("role":"user","text":"Hi \"there\"","complete":false})" "\n"
              R"({"surface":"chatgpt","browser":"chromium","conversationKey":"abc-123","title":"Greeting","ordinal":2,)"
              R"("role":"assistant","text":"Line one","complete":false})" "\n");

    d.out.str("");
    EXPECT_EQ(AXDump::run({"ax-turns"}, d.context), 0);
    EXPECT_EQ(d.output(),
              "── chatgpt (chromium)  Greeting\n  key=abc-123 complete=false turns=2\n"
              "#1 user:\n    Hi \"there\"\n#2 assistant:\n    Line one\n");

    EXPECT_EQ(AXDump::run({"ax-turns", "--surface", "chatgpt", "--json"}, d.context), 0);
    EXPECT_EQ(AXDump::run({"ax-turns", "--surface", "gemini"}, d.context), 2) << "no target of that surface";
    EXPECT_EQ(AXDump::run({"ax-turns", "--send"}, d.context), 2) << "unknown option";
}

Json write(const sim::SimElementPtr& root, bool includeURL = false, int budget = AXDump::nodeBudget) {
    return AXDump::serializeNode(AXElement(root), includeURL, 0, budget);
}

// Texts scrubbed, interface vocabulary kept, empty texts and class lists left
// out; role, subrole and class names as read, broken text repaired; the
// address on the root only, scrubbed.
TEST(AXDumpTest, WritesEachNodeScrubbed) {
    const auto live = N("AXWebArea").url("https://claude.ai/chat/3f2a9c4e-1b2d-4e5f-8a9b-0c1d2e3f4a5b?x=1")
                          .subrole("AXLandmarkMain").classes({"user-42"})
                          .kids({N("AXButton").value("Retry").title("My notes").description("").placeholder("Ask me")
                                     .classes({}).url("https://claude.ai/chat/abc"),
                                 N("AX\xffGroup").value("pass\xff" "word 12").classes({"c\xfe"})});
    const auto root = live.buildSim();
    const auto json = write(root, true);
    EXPECT_EQ(json, R"({"role":"AXWebArea","subrole":"AXLandmarkMain","domClassList":["user-42"],
        "url":"https://claude.ai/chat/00000000-0000-0000-0000-000000000000",
        "children":[{"role":"AXButton","value":"Retry","title":"Xx xxxxx","placeholder":"Xxx xx"},
                    {"role":"AX\uFFFDGroup","value":"xxxx\uFFFDxxxx 00","domClassList":["c\uFFFD"]}]})"_json);
    EXPECT_EQ(write(live.buildSim(), false).count("url"), 0u) << "no address for native trees";

    // Every member is read once, the address on the root only, nothing else.
    const auto& log = *root->readLog();
    for (const auto& e : {root, root->childElements()[0], root->childElements()[1]}) {
        for (const char* attribute : {"AXRole", "AXSubrole", "AXValue", "AXTitle", "AXDescription",
                                      "AXPlaceholderValue", "AXDOMClassList", "AXChildren"}) {
            EXPECT_EQ(log.count(e.get(), attribute), 1u) << attribute;
        }
    }
    EXPECT_EQ(log.count("AXURL"), 1u);
    EXPECT_EQ(log.total(), 3u * 8 + 1);
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
    const struct { const char* description; int budget; std::string outline; int remaining; } cases[] = {
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
    EXPECT_EQ(log.count(chain[60].get(), "AXChildren"), 0u) << "children past the cut are not even read";
}

}  // namespace
}  // namespace velmar
