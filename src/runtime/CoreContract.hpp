#pragma once
// The agent's side of the core's line protocol in one place: `toJSON` for
// every message and part of one the agent sends, `fromJSON` for everything the
// core writes, reading each optional key the way the agent relies on it (a
// key of the wrong JSON type counts as absent). A message the agent cannot
// take throws jsondecode::DecodeError naming the path of the first problem
// ("expected string at url"); `decode` turns that into an ignored message.

#include "capture/CaptureDiag.hpp"
#include "capture/TurnEvent.hpp"
#include "runtime/CaptureDirective.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velmar::core_contract {

// --- agent to core ---

// The answer to every "ready": the stored session object, or null.
nlohmann::json session(const std::optional<nlohmann::json>& storedSession);
nlohmann::json beacon(const std::string& event, const std::string& deviceId);

struct AgentStatus {
    std::string deviceId;
    bool axGranted = false;
    int captureAttached = 0;
    bool edge = false;
    // Present when a statistics batch travels with this beat.
    std::optional<std::int64_t> statsSeq;
    std::vector<CaptureDiag::SurfaceStats> captureStats;  // sent only when non-empty
    std::map<std::string, std::string> providerVersions;  // sent only when non-empty
};
nlohmann::json toJSON(const AgentStatus& status);
// One surface's counts in a statistics batch: only the counters that moved.
nlohmann::json toJSON(const CaptureDiag::SurfaceStats& stats);

// The 18-member turn object (19 with a revision; "turn_id" among them, see
// TurnId); absent values are null and every text is repaired to valid UTF-8
// first, so encoding cannot fail.
nlohmann::json toJSON(const TurnEvent& event);
// A message as the core reads it: one compact line ending in exactly one
// "\n" (newlines and control characters inside strings are escaped).
std::string toLine(const nlohmann::json& message);
nlohmann::json flushActiveTime();
nlohmann::json signinDesktop();
nlohmann::json signinPassword(const std::string& email, const std::string& password);
nlohmann::json signout();
nlohmann::json shutdown();
// "engagement" and "activity" are built by the engagement monitor and passed
// through unchanged.

// --- core to agent ---

struct Ready {};
struct AuthState {
    bool signedIn = false;  // missing or not a Boolean: signed out
    std::optional<std::string> email;
};
struct SessionUpdated {
    nlohmann::json session;  // always an object
};
struct SessionCleared {};
struct OpenUrl {
    std::string url;  // a string; whether it parses is the caller's test
};
struct SigninResult {
    bool ok = false;
    std::optional<std::string> message;
};
struct BeaconResult {
    bool ok = false;
    std::optional<std::string> event;
};
struct EventResult {
    std::optional<std::string> status;  // "stored" or "failed" from the local core
    std::optional<std::string> label;   // "label", or else "function_label"
    // The "turn_id" of the turn line answered; absent from a core that does
    // not know ids, which answers each turn line in order.
    std::optional<std::string> turnId;
};
struct Log {
    std::string level = "info";
    std::string message;
    // The line to write to standard error, prefix included. Line feeds and
    // terminal control characters are escaped, so a core can neither forge a
    // second log line nor drive the terminal.
    std::string line() const;
};
struct CaptureDirectiveMessage {
    CaptureDirective directive;
};
struct UpdateCheck {};
struct StatusResult {
    std::int64_t statsSeq = 0;
    bool ok = false;
};

using CoreMessage = std::variant<Ready, AuthState, SessionUpdated, SessionCleared, OpenUrl, SigninResult,
                                 BeaconResult, EventResult, Log, CaptureDirectiveMessage, UpdateCheck, StatusResult>;

// Throws DecodeError for a message the agent ignores as a whole: no string
// "type", an unknown type, or a type whose required key is missing or of the
// wrong type ("session_updated" without an object, "open_url" without a
// string, "status_result" without an integer "stats_seq", an invalid directive).
void fromJSON(const nlohmann::json& message, CoreMessage& out);
// A "capture_directive" message: "capture" is "run" or "pause" (with an
// optional string "scope").
void fromJSON(const nlohmann::json& message, CaptureDirective& out);
// Absent when fromJSON throws; `why` (when given) then names the problem.
std::optional<CoreMessage> decode(const nlohmann::json& message, std::string* why = nullptr);

// One line of core output, decoded: absent unless it is a JSON object.
std::optional<nlohmann::json> parseLine(std::string_view line);

// Escapes line feeds, carriage returns and every other control character
// (C0, DEL, C1) so that the text stays on one terminal line and cannot carry
// escape sequences; invalid UTF-8 is repaired.
std::string oneLine(std::string_view text);

}  // namespace velmar::core_contract
