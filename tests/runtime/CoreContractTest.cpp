#include "runtime/CoreContract.hpp"

#include <gtest/gtest.h>

using nlohmann::json;

namespace velmar::core_contract {
namespace {

// What the decoder makes of a message, in a form a table can hold.
std::string describe(const nlohmann::json& message) {
    std::string why;
    const auto m = decode(message, &why);
    if (!m) return "ignored: " + why;
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            auto opt = [](const std::optional<std::string>& s) { return s ? *s : "-"; };
            if constexpr (std::is_same_v<T, Ready>) return "ready";
            else if constexpr (std::is_same_v<T, AuthState>) return "auth " + std::to_string(v.signedIn) + " " + opt(v.email);
            else if constexpr (std::is_same_v<T, SessionUpdated>) return "session " + v.session.dump();
            else if constexpr (std::is_same_v<T, SessionCleared>) return "cleared";
            else if constexpr (std::is_same_v<T, OpenUrl>) return "open " + v.url;
            else if constexpr (std::is_same_v<T, SigninResult>) return "signin " + std::to_string(v.ok) + " " + opt(v.message);
            else if constexpr (std::is_same_v<T, BeaconResult>) return "beacon " + std::to_string(v.ok) + " " + opt(v.event);
            else if constexpr (std::is_same_v<T, EventResult>) return "event " + opt(v.status) + " " + opt(v.label) + (v.turnId ? " " + *v.turnId : "");
            else if constexpr (std::is_same_v<T, Log>) return v.line();
            else if constexpr (std::is_same_v<T, CaptureDirectiveMessage>) return std::string("directive ") + (v.directive.isPause() ? "pause " : "run ") + opt(v.directive.scope);
            else if constexpr (std::is_same_v<T, UpdateCheck>) return "update";
            else return "status " + std::to_string(v.statsSeq) + " " + std::to_string(v.ok);
        },
        *m);
}

TEST(CoreContract, DecodesEachTypeReadingWrongTypedKeysAsAbsent) {
    struct Case {
        const char* what;
        const char* line;
        const char* expected;
    } cases[] = {
        {"no type", R"({"signed_in":true})", "ignored: missing key at type"},
        {"unknown type", R"({"type":"telemetry"})", "ignored: expected a known message type at type"},
        {"ready", R"({"type":"ready","extra":1})", "ready"},
        {"auth_state signed in", R"({"type":"auth_state","signed_in":true,"email":"a@b"})", "auth 1 a@b"},
        {"auth_state: signed_in missing means signed out", R"({"type":"auth_state"})", "auth 0 -"},
        {"auth_state: a string is not a Boolean", R"({"type":"auth_state","signed_in":"true","email":5})", "auth 0 -"},
        {"session_updated with an object", R"({"type":"session_updated","session":{"t":1}})", R"(session {"t":1})"},
        {"session_updated without an object", R"({"type":"session_updated","session":"t"})", "ignored: expected object at session"},
        {"open_url without a string", R"({"type":"open_url","url":null})", "ignored: expected string at url"},
        {"signin_result: ok not a Boolean", R"({"type":"signin_result","ok":1})", "signin 0 -"},
        {"event_result answering a turn id", R"({"type":"event_result","status":"failed","turn_id":"ab12"})", "event failed - ab12"},
        {"event_result: a turn id not a string is absent", R"({"type":"event_result","status":"stored","turn_id":7})", "event stored -"},
        {"event_result falls back to function_label", R"({"type":"event_result","label":3,"function_label":"f"})", "event - f"},
        {"log with defaults", R"({"type":"log"})", "[core:info] "},
        {"log that tries to forge a line and drive the terminal",
         "{\"type\":\"log\",\"level\":\"warn\\n[agent] x\",\"message\":\"a\\nb\\r\\u001b[31mred\\u009b2J\\\\n\"}",
         "[core:warn\\n[agent] x] a\\nb\\r\\u001B[31mred\\u009B2J\\\\n"},
        {"pause directive", R"({"type":"capture_directive","capture":"pause","scope":"org"})", "directive pause org"},
        {"pause directive: a scope not a string is absent", R"({"type":"capture_directive","capture":"pause","scope":3})", "directive pause -"},
        {"run directive drops the scope", R"({"type":"capture_directive","capture":"run","scope":"device"})", "directive run -"},
        {"directive in another case", R"({"type":"capture_directive","capture":"Pause"})", "ignored: expected \"run\" or \"pause\" at capture"},
        {"directive without capture", R"({"type":"capture_directive"})", "ignored: missing key at capture"},
        {"update_check", R"({"type":"update_check"})", "update"},
        {"status_result", R"({"type":"status_result","stats_seq":4,"ok":true})", "status 4 1"},
        {"status_result without an integer sequence", R"({"type":"status_result","stats_seq":4.0,"ok":true})", "ignored: expected integer at stats_seq"},
    };
    for (const auto& c : cases) {
        auto parsed = parseLine(c.line);
        ASSERT_TRUE(parsed) << c.what;
        EXPECT_EQ(describe(*parsed), c.expected) << c.what;
    }
}

TEST(CoreContract, AgentStatusCarriesOptionalMembersOnlyWhenThereIsSomethingToSay) {
    AgentStatus routine;
    routine.deviceId = "dev-1";
    routine.axGranted = true;
    routine.captureAttached = 2;
    EXPECT_EQ(toJSON(routine),
              (json{{"type", "agent_status"}, {"device_id", "dev-1"}, {"ax_granted", true}, {"capture_attached", 2}}));

    AgentStatus withStats = routine;
    withStats.edge = true;
    withStats.statsSeq = 9;
    EXPECT_EQ(toJSON(CaptureDiag::SurfaceStats{"gemini", 5, {{CaptureDiag::Counter::parsedOk, 3}}}),
              (json{{"surface", "gemini"}, {"window_seconds", 5}, {"parsed_ok", 3}}))
        << "only the counters that moved";
    const json m = toJSON(withStats);
    EXPECT_EQ(m["edge"], true);
    EXPECT_EQ(m["stats_seq"], 9);
    EXPECT_FALSE(m.contains("capture_stats")) << "an empty delta list is left out, its sequence is not";
}

}  // namespace
}  // namespace velmar::core_contract
