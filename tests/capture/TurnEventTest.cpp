#include "capture/TurnEvent.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace velmar {
namespace {

using namespace std::chrono;

TimePoint at(std::string_view iso) { return parseObservedAt(iso).value(); }

TurnEvent bareEvent() {
    TurnEvent e;
    e.surface = "chatgpt";
    e.observedAt = at("2026-01-02T03:04:05.678Z");
    e.verdict = "degraded";
    return e;
}

nlohmann::json readBack(const std::string& line) {
    EXPECT_TRUE(line.ends_with("\n"));
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "more than one line: " << line;
    return nlohmann::json::parse(line);
}

TEST(TurnEventTest, AbsentOptionalsAreNullAndAllMembersPresent) {
    auto json = readBack(bareEvent().turnMessage());
    EXPECT_EQ(json.size(), 17u);
    for (const char* key : {"model", "conversation_key", "in_project", "produced_artifact", "artifact_title",
                            "artifact_type", "browser"}) {
        ASSERT_TRUE(json.contains(key)) << key;
        EXPECT_TRUE(json[key].is_null()) << key;
    }
    EXPECT_EQ(json["type"], "turn");
    EXPECT_EQ(json["capture_source"], "ax");
    EXPECT_EQ(json["prompt"], "");
    EXPECT_EQ(json["observed_at"], "2026-01-02T03:04:05.678Z");
}

TEST(TurnEventTest, TextsSurviveTheLineUnchanged) {
    struct Case {
        const char* description;
        std::string text;
        std::string expected;  // what a JSON reader gets back
    };
    const Case cases[] = {
        {"quotes and backslashes", R"(say "hi" \ bye)", R"(say "hi" \ bye)"},
        {"newlines and tabs", "line1\nline2\r\n\tend", "line1\nline2\r\n\tend"},
        {"control characters", std::string("a\x01z\x1f\x7f", 5) + std::string(1, '\0') + "b",
         std::string("a\x01z\x1f\x7f", 5) + std::string(1, '\0') + "b"},
        {"non-BMP characters", "emoji \U0001F600 and \U00020000", "emoji \U0001F600 and \U00020000"},
        {"line separators", "a\u2028b\u2029c", "a\u2028b\u2029c"},
        {"invalid UTF-8 is repaired", "bad \xC3\x28 and \xFF end", "bad \uFFFD( and \uFFFD end"},
        {"truncated sequence at the end", "cut \xE2\x82", "cut \uFFFD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        auto e = bareEvent();
        e.prompt = c.text;
        e.response = c.text;
        e.model = c.text;
        e.artifactTitle = c.text;
        auto json = readBack(e.turnMessage());
        EXPECT_EQ(json["prompt"], c.expected);
        EXPECT_EQ(json["response"], c.expected);
        EXPECT_EQ(json["model"], c.expected);
        EXPECT_EQ(json["artifact_title"], c.expected);
    }
}

TEST(TurnEventTest, ObservedAtFormatting) {
    struct Case {
        const char* description;
        TimePoint t;
        const char* expected;
    };
    const auto base = sys_days{2026y / January / 2} + 3h + 4min + 5s;
    const Case cases[] = {
        {"milliseconds", base + 678ms, "2026-01-02T03:04:05.678Z"},
        {"whole second keeps three digits", base, "2026-01-02T03:04:05.000Z"},
        {"sub-millisecond precision truncates", base + 999999us, "2026-01-02T03:04:05.999Z"},
        {"epoch", TimePoint{}, "1970-01-01T00:00:00.000Z"},
        {"before the epoch floors", TimePoint{} - 1ms, "1969-12-31T23:59:59.999Z"},
        {"leap day", sys_days{2024y / February / 29} + 23h + 59min + 59s, "2024-02-29T23:59:59.000Z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatObservedAt(c.t), c.expected) << c.description;
    }
}

TEST(TurnEventTest, ObservedAtIgnoresTheLocalTimeZone) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "Pacific/Chatham", 1);
    tzset();
    auto formatted = formatObservedAt(at("2026-06-30T23:30:00.250Z"));
    if (old) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
    EXPECT_EQ(formatted, "2026-06-30T23:30:00.250Z");
}

TEST(TurnEventTest, ParseObservedAt) {
    struct Case {
        const char* description;
        const char* text;
        std::optional<std::string> expected;  // formatted back, or rejected
    };
    const Case cases[] = {
        {"canonical", "2026-01-02T03:04:05.678Z", "2026-01-02T03:04:05.678Z"},
        {"no fraction", "2026-01-02T03:04:05Z", "2026-01-02T03:04:05.000Z"},
        {"long fraction", "2026-01-02T03:04:05.123456789Z", "2026-01-02T03:04:05.123Z"},
        {"positive offset", "2026-01-02T03:04:05.678+02:00", "2026-01-02T01:04:05.678Z"},
        {"negative offset crosses midnight", "2026-01-02T23:00:00-01:30", "2026-01-03T00:30:00.000Z"},
        {"missing zone", "2026-01-02T03:04:05.678", std::nullopt},
        {"impossible date", "2026-02-30T03:04:05Z", std::nullopt},
        {"hour out of range", "2026-01-02T24:00:00Z", std::nullopt},
        {"space separator", "2026-01-02 03:04:05Z", std::nullopt},
        {"trailing text", "2026-01-02T03:04:05Zjunk", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto& c : cases) {
        auto t = parseObservedAt(c.text);
        EXPECT_EQ(t ? std::optional(formatObservedAt(*t)) : std::nullopt, c.expected) << c.description;
    }
}

}  // namespace
}  // namespace velmar
