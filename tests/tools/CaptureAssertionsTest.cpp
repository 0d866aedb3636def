// capture-check's verdicts, send judgements, and the comparison of a run with
// the previous report.
#include "tools/CaptureAssertions.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using A = CaptureAssertions;
const std::string kSentinel = "Fernhollow capture baseline";

RawTurn turn(std::string role, std::string text) {
    RawTurn t;
    t.role = std::move(role);
    t.text = std::move(text);
    return t;
}

SegmenterSnapshot snapshot(std::vector<RawTurn> turns, std::optional<std::string> model = "Sonnet",
                           bool complete = true) {
    SegmenterSnapshot s;
    s.turns = std::move(turns);
    s.model = std::move(model);
    s.responseComplete = complete;
    s.conversationKey = "k";
    return s;
}

TEST(CaptureAssertions, TheFirstFailingReasonWins) {
    const auto good = snapshot({turn("user", kSentinel + ": hello"), turn("assistant", "Hi there")});
    auto fallback = good;
    fallback.usedParityFallback = true;
    fallback.turns.clear();
    const std::vector<A::ProbeResult> allPass = {{"a", true}, {"b", true}};
    const std::vector<A::ProbeResult> bFails = {{"a", true}, {"b", false}, {"c", false}};
    struct Case {
        const char* description;
        std::optional<SegmenterSnapshot> snap;
        std::vector<A::ProbeResult> probes;
        bool modelExpected;
        std::optional<std::string> reason;
    } cases[] = {
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
        {"no model where one shows", snapshot({turn("user", kSentinel), turn("assistant", "Hi")}, std::nullopt),
         allPass, true, "model: nil on a model-bearing surface"},
        {"no model where none is expected", snapshot({turn("user", kSentinel), turn("assistant", "Hi")}, std::nullopt),
         allPass, false, std::nullopt},
        {"a failing probe last", good, bFails, true, "probe: b"},
    };
    for (const auto& c : cases) {
        A::EntryResult r;
        r.id = "e";
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
    struct Case {
        const char* description;
        std::optional<SegmenterSnapshot> after;
        std::optional<std::string> reason;
    } cases[] = {
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
        EXPECT_EQ(r.waitedMs, 1500);
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
    EXPECT_EQ(previous.ranAt, "2026-12-01T10:00:00Z");

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

    const auto first = A::summarize({result("gpt", "PASS")}, std::nullopt);
    EXPECT_FALSE(first.previousRunAt);
    EXPECT_EQ(A::resultLine(first), "RESULT: PASS — 1 passed, 0 failed. Nothing newly failing since last run.");

    // A report of another shape compares with nothing rather than failing.
    EXPECT_TRUE(A::previousRun(nlohmann::json::array()).statusById.empty());
    EXPECT_TRUE(A::previousRun({{"entries", {{{"id", 3}}, "x"}}}).statusById.empty());
}

}  // namespace
}  // namespace velmar
