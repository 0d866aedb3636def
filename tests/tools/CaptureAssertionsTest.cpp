// capture-check's verdicts, send judgements, the comparison of a run with
// the previous report, and the manifest it reads.
#include "tools/CaptureAssertions.hpp"

#include "parsing/FnvHash.hpp"
#include "support/ParserTrees.hpp"
#include "tools/CaptureManifest.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;
using Json = nlohmann::json;
using A = CaptureAssertions;
const std::string kSentinel = "Fernhollow capture baseline";

RawTurn turn(std::string role, std::string text) { return testing::turn(0, 0, std::move(role), std::move(text)); }

SegmenterSnapshot snapshot(std::vector<RawTurn> turns, std::optional<std::string> model = "Sonnet") {
    SegmenterSnapshot s;
    s.turns = std::move(turns);
    s.model = std::move(model);
    s.responseComplete = true;
    s.conversationKey = "k";
    return s;
}

TEST(CaptureAssertions, TheFirstFailingReasonWins) {
    const auto good = snapshot({turn("user", kSentinel + ": hello"), turn("assistant", "Hi there")});
    auto fallback = good;
    fallback.usedParityFallback = true;
    fallback.turns.clear();
    const auto noModel = snapshot({turn("user", kSentinel), turn("assistant", "Hi")}, std::nullopt);
    const std::vector<A::ProbeResult> allPass = {{"a", true}, {"b", true}};
    const std::vector<A::ProbeResult> bFails = {{"a", true}, {"b", false}, {"c", false}};
    struct Case { const char* description; std::optional<SegmenterSnapshot> snap;
                  std::vector<A::ProbeResult> probes; bool modelExpected; std::optional<std::string> reason; };
    const Case cases[] = {
        {"everything right", good, allPass, true, std::nullopt},
        {"no snapshot", std::nullopt, bFails, true, "parser: snapshot nil"},
        {"parity fallback before zero turns", fallback, allPass, true, "parser: parity fallback (structural markers gone)"},
        {"no turns", snapshot({}), allPass, true, "parser: 0 turns"},
        {"a role that is neither", snapshot({turn("user", kSentinel), turn("system", "x")}), allPass, true,
         "unknown role(s)"},
        {"no sentinel", snapshot({turn("user", "hello"), turn("assistant", "Hi")}), allPass, true,
         "text: no user turn carries the sentinel"},
        {"an empty reply", snapshot({turn("user", kSentinel), turn("assistant", " \n ")}), allPass, true,
         "text: assistant turn empty"},
        {"no model where one shows", noModel, allPass, true, "model: nil on a model-bearing surface"},
        {"no model where none is expected", noModel, allPass, false, std::nullopt},
        {"a failing probe last", good, bFails, true, "probe: b"},
    };
    for (const auto& c : cases) {
        A::EntryResult r;
        A::judge(r, c.snap, c.probes, kSentinel, c.modelExpected);
        EXPECT_EQ(r.reason, c.reason) << c.description;
        EXPECT_EQ(r.status, c.reason ? "FAIL" : "PASS") << c.description;
    }
}

TEST(CaptureAssertions, ASendNeedsANewCompletePairCarryingTheSentinel) {
    const auto before = snapshot({turn("user", kSentinel), turn("assistant", "Hi")});
    auto plus = [&](std::vector<RawTurn> more, bool complete = true) {
        auto s = before;
        for (auto& t : more) s.turns.push_back(t);
        s.responseComplete = complete;
        return s;
    };
    struct Case { const char* description; std::optional<SegmenterSnapshot> after; std::optional<std::string> reason; };
    const Case cases[] = {
        {"a complete pair", plus({turn("user", kSentinel + " ping"), turn("assistant", "OK")}), std::nullopt},
        {"no snapshot", std::nullopt, "snapshot nil after send"},
        {"only the prompt", plus({turn("user", kSentinel + " ping")}), "no new pair (+1 turn(s))"},
        {"fewer turns than before", snapshot({turn("user", kSentinel)}), "no new pair (+0 turn(s))"},
        {"someone else's prompt", plus({turn("user", "other"), turn("assistant", "OK")}),
         "newest user turn does not carry the sentinel"},
        {"an empty reply", plus({turn("user", kSentinel), turn("assistant", "  ")}), "newest assistant turn is empty"},
        {"still streaming", plus({turn("user", kSentinel), turn("assistant", "O")}, false), "response never read complete"},
    };
    for (const auto& c : cases) {
        const auto r = A::judgeSend(before, c.after, kSentinel, 1500);
        EXPECT_EQ(r.reason, c.reason) << c.description;
        EXPECT_EQ(r.ok, !c.reason) << c.description;
        EXPECT_EQ(r.turnsBefore, 2) << c.description;
    }
}

A::EntryResult result(std::string id, std::string status, std::vector<A::ProbeResult> probes = {}) {
    A::EntryResult r;
    r.id = std::move(id);
    r.status = std::move(status);
    r.probes = std::move(probes);
    return r;
}

TEST(CaptureAssertions, ARunComparedWithThePreviousReport) {
    // What the previous run wrote, read back from its report.
    A::Report earlier;
    earlier.ranAt = "2026-12-01T10:00:00Z";
    earlier.entries = {result("gpt", "PASS"), result("ds", "FAIL"), result("gem", "PASS"), result("pplx", "SKIP")};
    const auto previous = A::previousRun(A::toJSON(earlier));

    const std::vector<A::EntryResult> now = {result("gpt", "FAIL", {{"a", true}, {"b", false}}), result("ds", "PASS"),
                                             result("gem", "PASS"), result("pplx", "FAIL"), result("new", "SKIP")};
    const auto s = A::summarize(now, previous);
    EXPECT_EQ(s.pass, 2);
    EXPECT_EQ(s.fail, 2);
    EXPECT_EQ(s.skip, 1);
    EXPECT_EQ(s.newlyFailing, std::vector<std::string>{"gpt"}) << "a skip before is not a pass";
    EXPECT_EQ(s.newlyPassing, std::vector<std::string>{"ds"});
    EXPECT_EQ(s.firstFailingProbe, (std::map<std::string, std::string>{{"gpt", "b"}}));
    EXPECT_EQ(A::resultLine(s),
              "RESULT: FAIL — 2 passed, 2 failed (1 skipped). Newly failing since 2026-12-01T10:00:00Z: gpt. "
              "Recovered: ds.");

    // A report of another shape compares with nothing rather than failing.
    EXPECT_TRUE(A::previousRun(nlohmann::json::array()).statusById.empty());
    EXPECT_TRUE(A::previousRun({{"entries", {{{"id", 3}}, "x"}}}).statusById.empty());
}

// The manifest it reads: defaults, decoding errors with their place, and
// every validation rule with the message it prints.
Json entry(std::string id, std::string surface, std::string browser, std::string url, const Json& more = Json::object()) {
    Json e = {{"id", id}, {"surface", surface}, {"browser", browser}, {"url", url}};
    e.update(more);
    return e;
}

TEST(CaptureManifest, DecodingErrorsNameTheirPlace) {
    struct Case { const char* description; Json json; std::string error; } cases[] = {
        {"no entries", Json::object(), "missing key at entries"},
        {"an entry without url", {{"entries", {{{"id", "a"}, {"surface", "chatgpt"}, {"browser", "chrome"}}}}},
         "missing key at entries[0].url"},
        {"a mode that is not one", {{"entries", {entry("a", "gemini_docs", "chrome", "u", {{"mode", "zero"}})}}},
         "entries[0].mode"},
        {"a timeout that is text", {{"timeouts", {{"sendSec", "90"}}}, {"entries", Json::array()}}, "timeouts.sendSec"},
        {"a negative timeout", {{"timeouts", {{"openSec", -1}}}, {"entries", Json::array()}}, "timeouts.openSec"},
    };
    for (const auto& c : cases) {
        EXPECT_THAT([&] { CaptureManifest::decode(c.json); }, ThrowsMessage<jsondecode::DecodeError>(HasSubstr(c.error)))
            << c.description;
    }
}

TEST(CaptureManifest, ValidationTable) {
    struct Case { const char* description; std::vector<Json> entries; std::vector<std::string> problems; } cases[] = {
        {"a sound manifest: a zero-state panel, the ChatGPT app with the sentinel in its first prompt",
         {entry("gpt", "chatgpt", "chromium", "https://chatgpt.com/c/6750a1b2"),
          entry("ds", "deepseek", "chrome", "https://chat.deepseek.com/a/chat/s/8d1f0e2a"),
          entry("z", "gemini_docs", "chromium", "https://docs.google.com/document/d/1AbC/edit",
                {{"mode", "panel-zero-state"}}),
          entry("app", "chatgpt_desktop", "native", "https://chatgpt.com/c/1",
                {{"firstPrompt", kSentinel + ": warm up"}})},
         {}},
        {"duplicate ids", {entry("x", "chatgpt", "chromium", "https://chatgpt.com/c/1"),
                           entry("x", "chatgpt", "chromium", "https://chatgpt.com/c/2")}, {"x: duplicate entry id"}},
        {"an unknown browser", {entry("b", "chatgpt", "netscape", "https://chatgpt.com/c/1")},
         {"b: browser must be native or one of chrome, chromium, brave, edge, vivaldi, opera, firefox"}},
        {"a web surface marked native", {entry("n", "chatgpt", "native", "https://chatgpt.com/c/1")},
         {"n: surface chatgpt is not a native app surface"}},
        {"a surface without probes", {entry("p", "chatgpt_web", "chromium", "https://chatgpt.com/c/1")},
         {"p: no ax-check probe table for surface chatgpt_web", "p: url does not resolve to a chatgpt_web conversation key"}},
        {"zero state outside the panels",
         {entry("z", "gemini", "chromium", "https://gemini.google.com/app/3f2a", {{"mode", "panel-zero-state"}})},
         {"z: panel-zero-state applies to gemini_docs / gemini_sheets only"}},
        {"the ChatGPT app without its first prompt",
         {entry("app", "chatgpt_desktop", "native", "https://chatgpt.com/c/1")},
         {"app: chatgpt_desktop needs firstPrompt (the app keys on its hash)",
          "app: url does not resolve to a chatgpt_desktop conversation key"}},
        {"a first prompt without the sentinel",
         {entry("app", "chatgpt_desktop", "native", "https://chatgpt.com/c/1", {{"firstPrompt", "Hello there"}})},
         {"app: firstPrompt must contain the sentinel \"Fernhollow capture baseline\""}},
        {"an address without a conversation", {entry("home", "claude_ai", "chromium", "https://claude.ai/new")},
         {"home: url does not resolve to a claude_ai conversation key"}},
        {"example placeholders",
         {entry("c", "claude_ai", "chromium", "https://claude.ai/chat/00000000-0000-0000-0000-000000000000"),
          entry("d", "gemini_docs", "chromium", "https://docs.google.com/document/d/00000000/edit"),
          entry("g", "gemini", "chromium", "https://gemini.google.com/app/0000abcd")},
         {"c: url is still the example placeholder", "d: url is still the example placeholder",
          "g: url is still the example placeholder"}},
    };
    for (const auto& c : cases) {
        Json json = {{"entries", c.entries}};
        EXPECT_EQ(CaptureManifest::decode(json).validate(DesktopPlatform::linuxDesktop), c.problems) << c.description;
    }
}

TEST(CaptureManifest, TimeoutsExpectedKeysAndSelection) {
    const auto gpt = entry("gpt", "chatgpt", "chromium", "https://chatgpt.com/c/6750a1b2?model=x",
                           {{"unknownKey", true}, {"sendSec", 12}});
    const auto app =
        entry("app", "chatgpt_desktop", "native", "", {{"firstPrompt", "  Fernhollow capture baseline: hi \n"}});
    const auto m = CaptureManifest::decode(
        {{"timeouts", {{"openSec", 5}}},
         {"entries",
          {gpt, entry("docs", "gemini_docs", "chrome", "https://docs.google.com/document/d/1AbC/edit"), app}},
         {"extra", 1}});
    EXPECT_EQ(m.openSec, 5);
    EXPECT_EQ(m.sendSecFor(m.entries[0]), 12);
    EXPECT_EQ(m.sendSecFor(m.entries[1]), CaptureManifest::defaultSendSec) << "the send default stays";
    EXPECT_EQ(m.expectedKey(m.entries[0]), "6750a1b2");
    EXPECT_EQ(m.expectedKey(m.entries[1]), "1AbC");
    EXPECT_EQ(m.expectedKey(m.entries[2]), "apx:" + fnvHash("Fernhollow capture baseline: hi"));

    auto ids = [](const std::vector<CaptureManifest::Entry>& entries) {
        std::vector<std::string> out;
        for (const auto& e : entries) out.push_back(e.id);
        return out;
    };
    using L = std::vector<std::string>;
    EXPECT_EQ(ids(m.select(std::nullopt, std::nullopt)), (L{"gpt", "docs", "app"}));
    EXPECT_EQ(ids(m.select(L{"gemini_docs", "chatgpt"}, std::nullopt)), (L{"gpt", "docs"}));
    EXPECT_EQ(ids(m.select(std::nullopt, L{"chrome"})), (L{"docs"}));
    EXPECT_EQ(ids(m.select(L{"chatgpt"}, L{"chrome"})), L{});
}

}  // namespace
}  // namespace velmar
