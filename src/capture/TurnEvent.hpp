#pragma once
// One captured prompt with the reply that answers it (either may be empty).
// Its wire form, the turn message, is written by CoreContract.

#include "platform/Clock.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace velmar {

struct TurnEvent {
    std::string surface;
    std::string prompt;    // empty when unknown
    std::string response;  // empty when there is none
    std::optional<std::string> model;
    std::optional<std::string> conversationKey;
    int turnIndex = 0;  // ordinal of the reply, or of the prompt without a reply; 0 unknown
    int turnTotal = 0;  // 0 unknown
    TimePoint observedAt{};
    int captureTier = 0;  // 2 prompt known, 1 only the reply known, 0 neither
    std::string verdict;  // "ok" or "degraded"
    std::optional<bool> inProject;
    std::optional<bool> producedArtifact;
    std::optional<std::string> artifactTitle;
    std::optional<std::string> artifactType;
    // Set by the browser controller on events from browser tabs.
    std::optional<std::string> browser;
    // How many times this turn was sent before with other text (a reply that
    // grew or was regenerated after it was sent); sent as "revision" when
    // above 0, and the core keeps the highest.
    int revision = 0;
    // Not sent. Set when the reply went out as last read, never judged
    // complete (its page went away, or the agent stopped): the prompt's
    // ordinal, from which a restarted agent resumes so the finished reply
    // still follows.
    std::optional<int> unconfirmedReplyAfter;

    bool operator==(const TurnEvent&) const = default;
};

// "2026-01-02T03:04:05.678Z": UTC, always three fractional digits, whatever the
// machine's time zone. Sub-millisecond precision is truncated.
std::string formatObservedAt(TimePoint t);

// Why a text is not an observed-at time.
enum class ObservedAtProblem {
    none,
    malformed,   // not an internet date-time, or no such date or time of day
    outOfRange,  // a real date-time, but outside what a TimePoint holds
};

// The span of time a TimePoint holds (nanoseconds in 64 bits): from
// 1677-09-21T00:12:43.145224192Z to 2262-04-11T23:47:16.854775807Z.
inline constexpr std::string_view kObservedAtRange = "1677-09-21T00:12:44Z to 2262-04-11T23:47:16Z";

// Reads an internet date-time ("Z" or a numeric offset, fractional seconds
// optional, up to nanoseconds) back into a time point. Absent when malformed,
// and when outside the span a TimePoint holds: never a wrong date.
std::optional<TimePoint> parseObservedAt(std::string_view text, ObservedAtProblem* problem = nullptr);

}  // namespace velmar
