#include "runtime/CoreContract.hpp"

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

}  // namespace

json session(const std::optional<json>& storedSession) {
    return {{"type", "session"}, {"session", storedSession ? *storedSession : json(nullptr)}};
}

json beacon(const std::string& event, const std::string& deviceId) {
    return {{"type", "beacon"}, {"event", event}, {"device_id", deviceId}};
}

json agentStatus(const AgentStatus& s) {
    json m = {{"type", "agent_status"},
              {"device_id", s.deviceId},
              {"ax_granted", s.axGranted},
              {"capture_attached", s.captureAttached}};
    if (s.edge) m["edge"] = true;
    if (!s.captureStats.empty()) m["capture_stats"] = s.captureStats;
    if (!s.providerVersions.empty()) m["provider_versions"] = s.providerVersions;
    if (s.statsSeq) m["stats_seq"] = *s.statsSeq;
    return m;
}

json turn(const TurnEvent& event) { return event.turnMessageJSON(); }
json flushActiveTime() { return {{"type", "flush_active_time"}, {"force", true}}; }
json signinDesktop() { return typed("signin_desktop"); }
json signinPassword(const std::string& email, const std::string& password) {
    return {{"type", "signin_password"}, {"email", email}, {"password", password}};
}
json signout() { return typed("signout"); }
json shutdown() { return typed("shutdown"); }

std::string Log::line() const { return "[core:" + oneLine(level) + "] " + oneLine(message); }

std::optional<CoreMessage> decode(const json& m) {
    if (!m.is_object()) return std::nullopt;
    const auto type = stringAt(m, "type");
    if (!type) return std::nullopt;
    const std::string& t = *type;

    if (t == "ready") return Ready{};
    if (t == "auth_state") return AuthState{trueAt(m, "signed_in"), stringAt(m, "email")};
    if (t == "session_updated") {
        auto it = m.find("session");
        if (it == m.end() || !it->is_object()) return std::nullopt;
        return SessionUpdated{*it};
    }
    if (t == "session_cleared") return SessionCleared{};
    if (t == "open_url") {
        auto url = stringAt(m, "url");
        if (!url) return std::nullopt;
        return OpenUrl{*url};
    }
    if (t == "signin_result") return SigninResult{trueAt(m, "ok"), stringAt(m, "message")};
    if (t == "beacon_result") return BeaconResult{trueAt(m, "ok"), stringAt(m, "event")};
    if (t == "event_result") {
        auto label = stringAt(m, "label");
        if (!label) label = stringAt(m, "function_label");
        return EventResult{stringAt(m, "status"), label, stringAt(m, "turn_id")};
    }
    if (t == "log") return Log{stringAt(m, "level").value_or("info"), stringAt(m, "message").value_or("")};
    if (t == "capture_directive") {
        auto directive = CaptureDirective::parse(m);
        if (!directive) return std::nullopt;
        return CaptureDirectiveMessage{*directive};
    }
    if (t == "update_check") return UpdateCheck{};
    if (t == "status_result") {
        auto it = m.find("stats_seq");
        if (it == m.end() || !it->is_number_integer()) return std::nullopt;
        return StatusResult{it->get<std::int64_t>(), trueAt(m, "ok")};
    }
    return std::nullopt;
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
