#include "capture/TurnEvent.hpp"

#include "capture/TurnId.hpp"
#include "runtime/CoreContract.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace velmar {
namespace {

using namespace std::chrono;

TurnEvent bareEvent() {
    TurnEvent e;
    e.surface = "chatgpt";
    e.observedAt = sys_days{2026y / January / 2} + 3h + 4min + 5s + 678ms;
    e.verdict = "degraded";
    return e;
}

// One line, read back by a JSON parser.
nlohmann::json readBack(const std::string& line) {
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "not exactly one line: " << line;
    return nlohmann::json::parse(line);
}

// Every member goes, absent ones as null, and the texts come back unchanged (broken UTF-8 repaired).
TEST(TurnEventTest, EveryMemberAndTheTextsSurviveTheLine) {
    auto json = readBack(core_contract::toLine(core_contract::toJSON(bareEvent())));
    EXPECT_EQ(json.size(), 18u);
    for (const char* key : {"model", "conversation_key", "in_project", "produced_artifact", "artifact_title",
                            "artifact_type", "browser"}) {
        EXPECT_TRUE(json.contains(key) && json[key].is_null()) << key;
    }
    EXPECT_EQ(json["prompt"], "");
    EXPECT_EQ(json["observed_at"], "2026-01-02T03:04:05.678Z");

    const std::string controls = std::string("a\x01z\x1f\x7f", 5) + std::string(1, '\0') + "b";
    const std::pair<std::string, std::string> cases[] = {  // text, what a JSON reader gets back
        {R"(say "hi" \ bye)", R"(say "hi" \ bye)"},
        {"line1\nline2\r\n\tend", "line1\nline2\r\n\tend"},
        {controls, controls},
        {"emoji \U0001F600 and \U00020000", "emoji \U0001F600 and \U00020000"},
        {"a\u2028b\u2029c", "a\u2028b\u2029c"},
        {"bad \xC3\x28 and \xFF end", "bad \uFFFD( and \uFFFD end"},  // invalid UTF-8 is repaired
        {"cut \xE2\x82", "cut \uFFFD"},
    };
    for (const auto& [text, expected] : cases) {
        auto e = bareEvent();
        e.prompt = e.response = text;
        e.model = e.artifactTitle = text;
        json = readBack(core_contract::toLine(core_contract::toJSON(e)));
        for (const char* key : {"prompt", "response", "model", "artifact_title"}) EXPECT_EQ(json[key], expected) << key;
    }
}

TEST(TurnEventTest, TheTurnIdNamesTheExchangeNotTheCapture) {
    auto base = bareEvent();
    base.prompt = "ab";
    base.response = "c";
    base.conversationKey = "k";
    base.turnIndex = 3;
    const std::string id = core_contract::toJSON(base)["turn_id"];
    EXPECT_EQ(id.size(), 32u);
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
    const struct {
        const char* what;
        std::function<void(nlohmann::json&)> change;
        bool same;
    } cases[] = {
        {"another capture time, tier and verdict", [](auto& m) { m["observed_at"] = "2030-01-01T00:00:00.000Z"; m["capture_tier"] = 1; m["verdict"] = "ok"; }, true},
        {"revision 0 is the first version", [](auto& m) { m["revision"] = 0; }, true},
        {"a later revision", [](auto& m) { m["revision"] = 1; }, false},
        {"text moved across the prompt and the reply", [](auto& m) { m["prompt"] = "a"; m["response"] = "bc"; }, false},
        {"another ordinal", [](auto& m) { m["turn_index"] = 4; }, false},
        {"no conversation key", [](auto& m) { m["conversation_key"] = nullptr; }, false},
        {"an empty conversation key", [](auto& m) { m["conversation_key"] = ""; }, false},
        {"another surface", [](auto& m) { m["surface"] = "claude"; }, false},
    };
    for (const auto& c : cases) {
        auto m = core_contract::toJSON(base);
        m.erase("turn_id");
        c.change(m);
        EXPECT_EQ(turnIdOf(m) == id, c.same) << c.what;
    }
}

TEST(TurnEventTest, ParseObservedAt) {
    using P = ObservedAtProblem;
    const std::pair<const char*, const char*> parsed[] = {  // text, formatted back
        {"2026-01-02T03:04:05.123456789Z", "2026-01-02T03:04:05.123Z"},  // truncated, not rounded
        {"1969-12-31T23:59:59.999Z", "1969-12-31T23:59:59.999Z"},  // before the epoch
        {"2026-01-02T23:00:00-01:30", "2026-01-03T00:30:00.000Z"},
        {"2026-01-02T00:30:00+23:59", "2026-01-01T00:31:00.000Z"},
        {"2024-02-29T12:00:00.5Z", "2024-02-29T12:00:00.500Z"},
        {"2026-01-02T03:04:05Z\n", "2026-01-02T03:04:05.000Z"},  // one trailing line break, as ever
        {"2026-01-02T03:04:05Z\r\n", "2026-01-02T03:04:05.000Z"},
        // The whole span a time point holds, to the nanosecond, and no further.
        {"1677-09-21T00:12:43.145224192Z", "1677-09-21T00:12:43.145Z"},
        {"2262-04-11T23:47:16.854775807Z", "2262-04-11T23:47:16.854Z"},
        {"2262-04-12T00:30:00+01:00", "2262-04-11T23:30:00.000Z"},  // the offset brings it back in
    };
    for (const auto& [text, formatted] : parsed) {
        P problem = P::none;
        auto t = parseObservedAt(text, &problem);
        EXPECT_EQ(t ? std::optional(formatObservedAt(*t)) : std::nullopt, formatted) << text;
        EXPECT_EQ(problem, P::none) << text;
    }
    const std::pair<std::vector<const char*>, P> refused[] = {
        {{"1677-09-21T00:12:43.145224191Z", "2262-04-11T23:47:16.854775808Z", "0000-01-01T00:00:00Z",
          "1600-01-02T03:04:05Z", "9999-12-31T23:59:59.999999999Z"},
         P::outOfRange},
        {{"2026-01-02T03:04:05.678", "2026-02-30T03:04:05Z", "2025-02-29T03:04:05Z", "2026-01-02T03:04:05Zjunk",
          "2026-01-02T03:04:05Z\n\n", "2026-01-02T03:04:05Z ", " 2026-01-02T03:04:05Z", "2026-01-02 03:04:05Z",
          "2026-01-02t03:04:05z", "2026-1-02T03:04:05Z", "02026-01-02T03:04:05Z", "2026-13-02T03:04:05Z",
          "2026-00-02T03:04:05Z", "2026-01-00T03:04:05Z", "2026-01-02T24:00:00Z", "2026-01-02T03:60:05Z",
          "2026-01-02T03:04:60Z" /* no leap seconds */, "2026-01-02T03:04:05.Z", "2026-01-02T03:04:05.1234567890Z",
          "2026-01-02T03:04:05+0100", "2026-01-02T03:04:05+24:00", "2026-01-02T03:04:05+01:60",
          "2026-01-02T03:04:05+01", "2026-01-02T03:04",
          "\u0662\u0660\u0662\u0666-01-02T03:04:05Z" /* digits, but not ASCII */, ""},
         P::malformed},
    };
    for (const auto& [texts, expected] : refused) {
        for (const char* text : texts) {
            P problem = P::none;
            EXPECT_FALSE(parseObservedAt(text, &problem)) << text;
            EXPECT_EQ(problem, expected) << text;
        }
    }
}

}  // namespace
}  // namespace velmar
