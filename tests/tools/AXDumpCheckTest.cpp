// ax-check and ax-record over a simulated desktop: live targets, probes,
// parses, the report and its exit status; recording a fixture that the
// fixture check accepts.
#include "tools/AXDump.hpp"

#include "capture/AIAppAllowlist.hpp"
#include "tools/CaptureCheck.hpp"
#include "support/TempFiles.hpp"
#include "tools/FixtureCheck.hpp"
#include "tools/ToolTime.hpp"
#include "tools/ToolDesktop.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace velmar {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::N;
using testing::Texts;
using testing::ToolDesktop;

const std::string kClaudeURL = "https://claude.ai/chat/3f2a9c4e-1b2d-4e5f-8a9b-0c1d2e3f4a5b";
const Texts kExchange = {"Fernhollow capture baseline: plan the offsite", "Here is a plan."};
const std::string kClaudeMessages =
    "messages (first of: 'Message N of M' groups, 'You said:' / 'Claude responded:' headings, "
    "'Message actions' / 'Edit' closers)";

TEST(AXDumpCheck, ProbesAndParsesEachTargetAndFailsOnAMovedMarker) {
    auto moved = testing::claudePage(kClaudeURL, kExchange, true).json();
    moved["children"].back()["domClassList"] = {"Editor"};  // the composer lost its editor class, as after an update
    struct Case {
        const char* description;
        nlohmann::json page;
        int status;
        std::vector<std::string> said;
        std::string unsaid;
    } cases[] = {
        {"a tab with every marker passes", testing::claudePage(kClaudeURL, kExchange, true).json(), 0,
         {"── claude_ai (chromium)\n  PASS  " + kClaudeMessages + "\n  PASS  composer (ProseMirror text area)\n",
          "  PASS  parser: 2 turn(s)\n  PASS  parser: roles resolved\n",
          "\nRESULT: PASS — every probed marker present.\n"}, "FAIL"},
        {"a moved marker fails its probe and the run", moved, 1,
         {"  FAIL  composer (ProseMirror text area)\n", "  PASS  " + kClaudeMessages + "\n",
          "RESULT: FAIL — a contract marker moved; compare with the probes above.\n"}, "RESULT: PASS"},
        {"a tab without a conversation prints its probes but does not fail",
         testing::claudePage("https://claude.ai/new", kExchange, true).json(), 0,
         {"── claude_ai (chromium)  [no conversation open]\n  PASS  messages"}, "parser:"},
        {"a conversation whose parse finds no transcript fails",
         N("AXWebArea").url(kClaudeURL).kids({N("AXStaticText").value("Loading")}).json(), 1,
         {"  FAIL  parser: snapshot nil (container marker missing?)\n"}, "RESULT: PASS"},
    };
    for (const auto& c : cases) {
        ToolDesktop d;
        d.launchBrowser();
        d.show(c.page);
        EXPECT_EQ(AXDump::check(d.context), c.status) << c.description;
        for (const auto& s : c.said) EXPECT_THAT(d.output(), HasSubstr(s)) << c.description;
        EXPECT_THAT(d.output(), Not(HasSubstr(c.unsaid))) << c.description;
    }

    ToolDesktop d;
    d.launchBrowser();
    d.show(N("AXWebArea").url("https://example.com/"));
    EXPECT_EQ(AXDump::check(d.context), 2) << "nothing to check";
    EXPECT_EQ(d.err.str(), AXDump::noTargetsMessage());
}

TEST(AXDumpRecord, RecordsAFixtureThatTheFixtureCheckAccepts) {
    testing::TempDir dir;
    ToolDesktop d;
    d.launchBrowser();
    d.show(testing::claudePage(kClaudeURL, kExchange, true));
    const std::vector<std::string> args = {"--surface", "claude_ai", "--scenario", "sim-one-exchange", "--out",
                                           dir.path().string()};
    ASSERT_EQ(AXDump::record(args, d.context), 0) << d.err.str();
    const auto file = dir.path() / "claude_ai" / (ToolTime::localDate(d.loop.now()) + "-sim-one-exchange.json");
    ASSERT_TRUE(std::filesystem::exists(file)) << d.output();
    EXPECT_THAT(d.output(), HasSubstr("  round-trip: scrubbed tree parses identically."));

    const auto result = FixtureCheck::check(file, std::nullopt);
    EXPECT_TRUE(result.passed) << result.reason.value_or("");
    std::ifstream in(file);
    const auto doc = nlohmann::json::parse(in);
    EXPECT_EQ(doc["meta"], (nlohmann::json{{"surface", "claude_ai"}, {"scenario", "sim-one-exchange"},
                                           {"recordedAt", "2026-01-01T00:00:00Z"}, {"agentVersion", "1.2.3"},
                                           {"browser", "chromium"}}));
    EXPECT_EQ(doc["expect"]["roles"], (nlohmann::json{"user", "assistant"}));
    EXPECT_EQ(doc["tree"]["url"], "https://claude.ai/chat/00000000-0000-0000-0000-000000000000");
    EXPECT_THAT(doc.dump(), Not(HasSubstr("offsite"))) << "the conversation's words are scrubbed";
}

TEST(AXDumpRecord, RefusesWhatItCannotRecord) {
    struct Case {
        const char* description;
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {"no scenario", {"--surface", "claude_ai"}, std::string(AXDump::recordUsage)},
        {"a value missing", {"--surface", "claude_ai", "--scenario"}, std::string(AXDump::recordUsage)},
        {"an unknown word", {"--surface", "claude_ai", "--scenario", "s", "-v"}, "unknown argument -v\n"},
        {"an unknown browser", {"--surface", "claude_ai", "--scenario", "s", "--browser", "Chrome"},
         "unknown --browser Chrome; known: chrome, chromium, brave, edge, vivaldi, opera, firefox\n"},
        {"no such target", {"--surface", "gemini", "--scenario", "s"}, "no live gemini target"},
        {"open in two browsers", {"--surface", "claude_ai", "--scenario", "s"},
         "claude_ai is open in more than one browser (chromium, chrome)"},
        {"no conversation to parse", {"--surface", "deepseek", "--scenario", "s"}, "live parse returned nil for deepseek"},
    };
    for (const auto& c : cases) {
        ToolDesktop d;
        d.launchBrowser();
        d.show(testing::claudePage(kClaudeURL, kExchange, true));
        d.show(N("AXWebArea").url("https://chat.deepseek.com/a/chat/s/5c7e2b9f"));
        d.launchBrowser("google-chrome", 701);
        d.show(testing::claudePage(kClaudeURL, kExchange, true), 701);
        EXPECT_EQ(AXDump::record(c.args, d.context), 2) << c.description;
        EXPECT_THAT(d.err.str(), HasSubstr(c.err)) << c.description;
    }
}

// The agent's executable becomes a tool only for these exact words.
TEST(AXDumpDispatch, VerbsAreMatchedExactly) {
    for (const char* verb : {"ax-check", "ax-record", "ax-turns", "capture-check"}) EXPECT_TRUE(AXDump::isVerb(verb));
    for (const char* other : {"AX-CHECK", "ax-check ", "", "--help"}) EXPECT_FALSE(AXDump::isVerb(other)) << other;
}

TEST(AXDumpDispatch, TrustComesFirstThenTheVerb) {
    struct Case {
        const char* description;
        std::vector<std::string> arguments;
        bool trusted;
        std::string expected;
    } cases[] = {
        {"untrusted: the grant message only", {"ax-check"}, false, std::string(AXDump::missingTrustMessage())},
        {"untrusted, unknown verb: still the grant message", {"nope"}, false, std::string(AXDump::missingTrustMessage())},
        {"empty list", {}, true, std::string(AXDump::usage)},
        {"unknown verb", {"ax-chekc"}, true, std::string(AXDump::usage)},
        {"the words after the verb reach the recorder", {"ax-record", "--bogus"}, true, "unknown argument --bogus\n"},
        {"the words after the verb reach the harness", {"capture-check"}, true,
         "capture-check: --manifest is required\nusage: " + std::string(CaptureCheck::usage) + "\n"},
    };
    for (const auto& c : cases) {
        ToolDesktop d;
        d.desktop.accessibility().setTrusted(c.trusted);
        EXPECT_EQ(AXDump::run(c.arguments, d.context), 2) << c.description;
        EXPECT_EQ(d.err.str(), c.expected) << c.description;
        EXPECT_EQ(d.output(), "") << c.description;
    }
}

TEST(AXDumpTurns, PrintsWhatEveryTargetShowsNowAsJSONLinesOrReadably) {
    ToolDesktop d;
    d.launchBrowser();
    auto page = testing::chatgptPage("https://chatgpt.com/c/abc-123", {"Hi \"there\"", "Line one"}, false).json();
    page["title"] = "Greeting";
    d.show(page);
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

}  // namespace
}  // namespace velmar
