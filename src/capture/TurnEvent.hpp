#pragma once
// One captured prompt with the reply that answers it (either may be empty),
// and its wire form for the core process: the turn message.

#include "platform/Clock.hpp"

#include <nlohmann/json.hpp>

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

    bool operator==(const TurnEvent&) const = default;

    // The 17-member object sent to the core; absent values are null and every
    // text is repaired to valid UTF-8 first, so encoding cannot fail.
    nlohmann::json turnMessageJSON() const;
    // That object as one compact line, ending in exactly one "\n".
    std::string turnMessage() const;
};

// "2026-01-02T03:04:05.678Z": UTC, always three fractional digits, whatever the
// machine's time zone. Sub-millisecond precision is truncated.
std::string formatObservedAt(TimePoint t);

// Reads an internet date-time ("Z" or a numeric offset, fractional seconds
// optional) back into a time point; absent when malformed.
std::optional<TimePoint> parseObservedAt(std::string_view text);

}  // namespace velmar
