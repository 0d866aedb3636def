#include "capture/TurnEvent.hpp"

#include "text/Regex.hpp"
#include "text/Unicode.hpp"

#include <cstdio>

namespace velmar {

namespace {

nlohmann::json textOrNull(const std::optional<std::string>& s) {
    return s ? nlohmann::json(text::repairUtf8(*s)) : nlohmann::json(nullptr);
}

nlohmann::json boolOrNull(const std::optional<bool>& b) { return b ? nlohmann::json(*b) : nlohmann::json(nullptr); }

}  // namespace

nlohmann::json TurnEvent::turnMessageJSON() const {
    return {{"type", "turn"},
            {"surface", text::repairUtf8(surface)},
            {"prompt", text::repairUtf8(prompt)},
            {"response", text::repairUtf8(response)},
            {"model", textOrNull(model)},
            {"conversation_key", textOrNull(conversationKey)},
            {"turn_index", turnIndex},
            {"turn_total", turnTotal},
            {"observed_at", formatObservedAt(observedAt)},
            {"capture_tier", captureTier},
            {"capture_source", "ax"},
            {"verdict", text::repairUtf8(verdict)},
            {"in_project", boolOrNull(inProject)},
            {"produced_artifact", boolOrNull(producedArtifact)},
            {"artifact_title", textOrNull(artifactTitle)},
            {"artifact_type", textOrNull(artifactType)},
            {"browser", textOrNull(browser)}};
}

std::string TurnEvent::turnMessage() const {
    // Compact output escapes newlines and control characters inside strings,
    // so the object can never span lines.
    return turnMessageJSON().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string formatObservedAt(TimePoint t) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(t);
    const auto day = floor<days>(ms);
    const year_month_day ymd{day};
    const hh_mm_ss hms{ms - day};
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                  static_cast<int>(hms.seconds().count()), static_cast<int>(hms.subseconds().count()));
    return buf;
}

std::optional<TimePoint> parseObservedAt(std::string_view textValue) {
    using namespace std::chrono;
    static const text::Regex pattern(
        "^([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(?:\\.([0-9]{1,9}))?"
        "(?:(Z)|([+-])([0-9]{2}):([0-9]{2}))$");
    auto m = pattern.firstMatch(textValue);
    if (!m) return std::nullopt;
    auto num = [&](std::size_t g) { return std::stoi(*m->group(g)); };
    const year_month_day ymd{year{num(1)}, month{static_cast<unsigned>(num(2))}, day{static_cast<unsigned>(num(3))}};
    const int h = num(4), mi = num(5), s = num(6);
    if (!ymd.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;

    nanoseconds fraction{0};
    if (const auto& f = m->group(7)) {
        std::string digits = *f;
        digits.resize(9, '0');
        fraction = nanoseconds{std::stoll(digits)};
    }
    minutes offset{0};
    if (m->group(9)) {
        const int oh = num(10), om = num(11);
        if (oh > 23 || om > 59) return std::nullopt;
        offset = minutes{oh * 60 + om};
        if (*m->group(9) == "-") offset = -offset;
    }
    const auto local = sys_days{ymd} + hours{h} + minutes{mi} + seconds{s} + fraction;
    return time_point_cast<TimePoint::duration>(local - offset);
}

}  // namespace velmar
