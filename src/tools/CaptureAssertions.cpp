#include "tools/CaptureAssertions.hpp"

#include "text/Unicode.hpp"

#include <algorithm>

namespace velmar {
namespace jd = jsondecode;

namespace {

bool known(const std::string& role) { return role == "user" || role == "assistant"; }

const RawTurn* newest(const SegmenterSnapshot& s, std::string_view role) {
    for (auto it = s.turns.rbegin(); it != s.turns.rend(); ++it)
        if (it->role == role) return &*it;
    return nullptr;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) out += (out.empty() ? "" : ", ") + item;
    return out;
}

}  // namespace

CaptureAssertions::ParseSummary CaptureAssertions::summarize(const SegmenterSnapshot& s) {
    ParseSummary out;
    out.turns = static_cast<int>(s.turns.size());
    for (const auto& t : s.turns) {
        out.roles.push_back(t.role);
        out.unknownRoles += known(t.role) ? 0 : 1;
    }
    out.modelPresent = s.model.has_value();
    out.responseComplete = s.responseComplete;
    out.usedParityFallback = s.usedParityFallback;
    return out;
}

CaptureAssertions::TextCheck CaptureAssertions::checkText(const SegmenterSnapshot& s, const std::string& sentinel,
                                                          bool modelExpected) {
    TextCheck out;
    for (const auto& t : s.turns)
        if (t.role == "user" && t.text.find(sentinel) != std::string::npos) out.sentinelUserTurn = true;
    if (const auto* a = newest(s, "assistant"))
        out.assistantChars = static_cast<int>(text::graphemeCount(text::trim(a->text)));
    out.modelPresent = s.model.has_value();
    out.modelExpected = modelExpected;
    return out;
}

void CaptureAssertions::judge(EntryResult& entry, const std::optional<SegmenterSnapshot>& snapshot,
                              const std::vector<ProbeResult>& probes, const std::string& sentinel, bool modelExpected) {
    entry.probes = probes;
    std::optional<std::string> reason;
    if (!snapshot) {
        reason = "parser: snapshot nil";
    } else {
        entry.parse = summarize(*snapshot);
        entry.textCheck = checkText(*snapshot, sentinel, modelExpected);
        if (snapshot->usedParityFallback) reason = "parser: parity fallback (structural markers gone)";
        else if (snapshot->turns.empty()) reason = "parser: 0 turns";
        else if (entry.parse->unknownRoles > 0) reason = "unknown role(s)";
        else if (!entry.textCheck->sentinelUserTurn) reason = "text: no user turn carries the sentinel";
        else if (entry.textCheck->assistantChars == 0) reason = "text: assistant turn empty";
        else if (modelExpected && !snapshot->model) reason = "model: nil on a model-bearing surface";
    }
    if (!reason) {
        for (const auto& p : probes) {
            if (!p.ok) {
                reason = "probe: " + p.name;
                break;
            }
        }
    }
    entry.status = reason ? "FAIL" : "PASS";
    entry.reason = reason;
}

CaptureAssertions::SendResult CaptureAssertions::judgeSend(const std::optional<SegmenterSnapshot>& before,
                                                           const std::optional<SegmenterSnapshot>& after,
                                                           const std::string& sentinel, long long waitedMs) {
    SendResult out;
    out.waitedMs = waitedMs;
    out.turnsBefore = before ? static_cast<int>(before->turns.size()) : 0;
    if (!after) {
        out.reason = "snapshot nil after send";
        return out;
    }
    out.turnsAfter = static_cast<int>(after->turns.size());
    const int added = std::max(0, out.turnsAfter - out.turnsBefore);
    const auto* user = newest(*after, "user");
    const auto* assistant = newest(*after, "assistant");
    if (added < 2) out.reason = "no new pair (+" + std::to_string(added) + " turn(s))";
    else if (!user || user->text.find(sentinel) == std::string::npos)
        out.reason = "newest user turn does not carry the sentinel";
    else if (!assistant || text::trim(assistant->text).empty()) out.reason = "newest assistant turn is empty";
    else if (!after->responseComplete) out.reason = "response never read complete";
    out.ok = !out.reason;
    return out;
}

CaptureAssertions::Summary CaptureAssertions::summarize(const std::vector<EntryResult>& entries,
                                                        const std::optional<PreviousRun>& previous) {
    Summary out;
    for (const auto& e : entries) {
        if (e.status == "PASS") ++out.pass;
        else if (e.status == "FAIL") ++out.fail;
        else ++out.skip;
        for (const auto& p : e.probes) {
            if (!p.ok) {
                out.firstFailingProbe.emplace(e.id, p.name);
                break;
            }
        }
        if (!previous) continue;
        auto was = previous->statusById.find(e.id);
        if (was == previous->statusById.end()) continue;
        if (e.status == "FAIL" && was->second == "PASS") out.newlyFailing.push_back(e.id);
        if (e.status == "PASS" && was->second == "FAIL") out.newlyPassing.push_back(e.id);
    }
    if (previous) out.previousRunAt = previous->ranAt;
    return out;
}

std::string CaptureAssertions::resultLine(const Summary& s) {
    std::string line = std::string("RESULT: ") + (s.fail ? "FAIL" : "PASS") + " — " + std::to_string(s.pass) +
                       " passed, " + std::to_string(s.fail) + " failed";
    if (s.skip) line += " (" + std::to_string(s.skip) + " skipped)";
    if (!s.newlyFailing.empty())
        line += ". Newly failing since " + s.previousRunAt.value_or("last run") + ": " + joined(s.newlyFailing);
    else
        line += ". Nothing newly failing since last run";
    if (!s.newlyPassing.empty()) line += ". Recovered: " + joined(s.newlyPassing);
    return line + ".";
}

jd::Json CaptureAssertions::toJSON(const Report& r) {
    jd::Json entries = jd::Json::array();
    for (const auto& e : r.entries) {
        jd::Json j = {{"id", e.id}, {"surface", e.surface}, {"browser", e.browser}, {"status", e.status}};
        if (e.reason) j["reason"] = *e.reason;
        if (e.note) j["note"] = *e.note;
        if (e.conversationKey) j["conversationKey"] = *e.conversationKey;
        if (e.openMs) j["openMs"] = *e.openMs;
        if (e.window) j["window"] = *e.window;
        j["probes"] = jd::Json::array();
        for (const auto& p : e.probes) j["probes"].push_back({{"name", p.name}, {"ok", p.ok}});
        if (e.parse) {
            j["parse"] = {{"turns", e.parse->turns},
                          {"roles", e.parse->roles},
                          {"unknownRoles", e.parse->unknownRoles},
                          {"modelPresent", e.parse->modelPresent},
                          {"responseComplete", e.parse->responseComplete},
                          {"usedParityFallback", e.parse->usedParityFallback}};
        }
        if (e.textCheck) {
            j["textCheck"] = {{"sentinelUserTurn", e.textCheck->sentinelUserTurn},
                              {"assistantChars", e.textCheck->assistantChars},
                              {"modelPresent", e.textCheck->modelPresent},
                              {"modelExpected", e.textCheck->modelExpected}};
        }
        if (e.send) {
            j["send"] = {{"ok", e.send->ok},
                         {"turnsBefore", e.send->turnsBefore},
                         {"turnsAfter", e.send->turnsAfter},
                         {"waitedMs", e.send->waitedMs}};
            if (e.send->reason) j["send"]["reason"] = *e.send->reason;
        }
        if (e.cleanup) j["cleanup"] = *e.cleanup;
        entries.push_back(std::move(j));
    }
    jd::Json args = {{"send", r.send}};
    if (r.surfaces) args["surfaces"] = *r.surfaces;
    if (r.browsers) args["browsers"] = *r.browsers;
    jd::Json summary = {{"pass", r.summary.pass},
                        {"fail", r.summary.fail},
                        {"skip", r.summary.skip},
                        {"firstFailingProbe", r.summary.firstFailingProbe},
                        {"newlyFailing", r.summary.newlyFailing},
                        {"newlyPassing", r.summary.newlyPassing}};
    if (r.summary.previousRunAt) summary["previousRunAt"] = *r.summary.previousRunAt;
    return {{"schema", r.schema}, {"ranAt", r.ranAt},       {"agentVersion", r.agentVersion},
            {"args", args},       {"entries", entries}, {"summary", summary}};
}

CaptureAssertions::PreviousRun CaptureAssertions::previousRun(const jd::Json& report) {
    PreviousRun out;
    if (!report.is_object()) return out;
    if (auto it = report.find("ranAt"); it != report.end() && it->is_string()) out.ranAt = it->get<std::string>();
    if (auto it = report.find("entries"); it != report.end() && it->is_array()) {
        for (const auto& e : *it) {
            if (!e.is_object()) continue;
            auto id = e.find("id");
            auto status = e.find("status");
            if (id != e.end() && id->is_string() && status != e.end() && status->is_string())
                out.statusById[id->get<std::string>()] = status->get<std::string>();
        }
    }
    return out;
}

}  // namespace velmar
