#include "runtime/CoreContract.hpp"

#include "capture/TurnId.hpp"
#include "json/JsonDecoding.hpp"
#include "text/Unicode.hpp"

#include <cstdio>

namespace velmar::core_contract {

using nlohmann::json;

namespace {

std::optional<std::string> stringAt(const json& m, const char* key) {
    auto it = m.find(key);
    if (it == m.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

bool trueAt(const json& m, const char* key) {
    auto it = m.find(key);
    return it != m.end() && it->is_boolean() && it->get<bool>();
}

json typed(const char* type) { return json{{"type", type}}; }

json textOrNull(const std::optional<std::string>& s) { return s ? json(text::repairUtf8(*s)) : json(nullptr); }

json boolOrNull(const std::optional<bool>& b) { return b ? json(*b) : json(nullptr); }

// The member the message cannot do without, as a string.
std::string requiredString(const json& m, const char* key) {
    return jsondecode::string(jsondecode::required(m, key, ""), key);
}

}  // namespace

json session(const std::optional<json>& storedSession) {
    return {{"type", "session"}, {"session", storedSession ? *storedSession : json(nullptr)}};
}

json beacon(const std::string& event, const std::string& deviceId) {
    return {{"type", "beacon"}, {"event", event}, {"device_id", deviceId}};
}

json toJSON(const CaptureDiag::SurfaceStats& stats) {
    json entry = {{"surface", stats.surface}, {"window_seconds", stats.windowSeconds}};
    for (auto [counter, value] : stats.counts) entry[std::string(CaptureDiag::name(counter))] = value;
    return entry;
}

json toJSON(const AgentStatus& s) {
    json m = {{"type", "agent_status"},
              {"device_id", s.deviceId},
              {"ax_granted", s.axGranted},
              {"capture_attached", s.captureAttached}};
    if (s.edge) m["edge"] = true;
    if (!s.captureStats.empty()) {
        json stats = json::array();
        for (const auto& entry : s.captureStats) stats.push_back(toJSON(entry));
        m["capture_stats"] = std::move(stats);
    }
    if (!s.providerVersions.empty()) m["provider_versions"] = s.providerVersions;
    if (s.statsSeq) m["stats_seq"] = *s.statsSeq;
    return m;
}

json toJSON(const TurnEvent& e) {
    json m = {{"type", "turn"},
              {"surface", text::repairUtf8(e.surface)},
              {"prompt", text::repairUtf8(e.prompt)},
              {"response", text::repairUtf8(e.response)},
              {"model", textOrNull(e.model)},
              {"conversation_key", textOrNull(e.conversationKey)},
              {"turn_index", e.turnIndex},
              {"turn_total", e.turnTotal},
              {"observed_at", formatObservedAt(e.observedAt)},
              {"capture_tier", e.captureTier},
              {"capture_source", "ax"},
              {"verdict", text::repairUtf8(e.verdict)},
              {"in_project", boolOrNull(e.inProject)},
              {"produced_artifact", boolOrNull(e.producedArtifact)},
              {"artifact_title", textOrNull(e.artifactTitle)},
              {"artifact_type", textOrNull(e.artifactType)},
              {"browser", textOrNull(e.browser)}};
    if (e.revision > 0) m["revision"] = e.revision;
    m["turn_id"] = turnIdOf(m);
    return m;
}

std::string toLine(const json& message) {
    return message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

json flushActiveTime() { return {{"type", "flush_active_time"}, {"force", true}}; }
json signinDesktop() { return typed("signin_desktop"); }
json signinPassword(const std::string& email, const std::string& password) {
    return {{"type", "signin_password"}, {"email", email}, {"password", password}};
}
json signout() { return typed("signout"); }
json shutdown() { return typed("shutdown"); }

std::string Log::line() const { return "[core:" + oneLine(level) + "] " + oneLine(message); }

void fromJSON(const json& m, CaptureDirective& out) {
    jsondecode::object(m, "");
    if (requiredString(m, "type") != "capture_directive") jsondecode::fail("\"capture_directive\"", "type");
    const auto capture = requiredString(m, "capture");
    if (capture == "run") {
        out = CaptureDirective::run();
    } else if (capture == "pause") {
        out = CaptureDirective::pause(stringAt(m, "scope"));
    } else {
        jsondecode::fail("\"run\" or \"pause\"", "capture");
    }
}

void fromJSON(const json& m, CoreMessage& out) {
    jsondecode::object(m, "");
    const auto t = requiredString(m, "type");
    if (t == "ready") {
        out = Ready{};
    } else if (t == "auth_state") {
        out = AuthState{trueAt(m, "signed_in"), stringAt(m, "email")};
    } else if (t == "session_updated") {
        out = SessionUpdated{jsondecode::object(jsondecode::required(m, "session", ""), "session")};
    } else if (t == "session_cleared") {
        out = SessionCleared{};
    } else if (t == "open_url") {
        out = OpenUrl{requiredString(m, "url")};
    } else if (t == "signin_result") {
        out = SigninResult{trueAt(m, "ok"), stringAt(m, "message")};
    } else if (t == "beacon_result") {
        out = BeaconResult{trueAt(m, "ok"), stringAt(m, "event")};
    } else if (t == "event_result") {
        auto label = stringAt(m, "label");
        if (!label) label = stringAt(m, "function_label");
        out = EventResult{stringAt(m, "status"), label, stringAt(m, "turn_id")};
    } else if (t == "log") {
        out = Log{stringAt(m, "level").value_or("info"), stringAt(m, "message").value_or("")};
    } else if (t == "capture_directive") {
        CaptureDirective directive;
        fromJSON(m, directive);
        out = CaptureDirectiveMessage{directive};
    } else if (t == "update_check") {
        out = UpdateCheck{};
    } else if (t == "status_result") {
        // Strictly an integer: a sequence written as 4.0 is not one the agent sent.
        const auto& seq = jsondecode::required(m, "stats_seq", "");
        if (!seq.is_number_integer()) jsondecode::fail("integer", "stats_seq");
        out = StatusResult{seq.get<std::int64_t>(), trueAt(m, "ok")};
    } else {
        jsondecode::fail("a known message type", "type");
    }
}

std::optional<CoreMessage> decode(const json& m, std::string* why) {
    try {
        CoreMessage message;
        fromJSON(m, message);
        return message;
    } catch (const jsondecode::DecodeError& error) {
        if (why) *why = error.what();
        return std::nullopt;
    }
}

std::optional<json> parseLine(std::string_view line) {
    json parsed = json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (!parsed.is_object()) return std::nullopt;
    return parsed;
}

std::string oneLine(std::string_view input) {
    const std::string text = text::repairUtf8(input);
    std::string out;
    out.reserve(text.size());
    char buf[8];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(buf, sizeof buf, "\\u%04X", c);
            out += buf;
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // C1 controls (U+0080..U+009F) include the single-byte CSI.
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned char>(text[i + 1]));
            out += buf;
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace velmar::core_contract
