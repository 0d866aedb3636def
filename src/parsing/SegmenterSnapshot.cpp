#include "parsing/SegmenterSnapshot.hpp"

#include <climits>

namespace velmar {

namespace jd = jsondecode;

namespace {
template <typename T>
jd::Json orNull(const std::optional<T>& v) {
    return v ? jd::Json(*v) : jd::Json(nullptr);
}
}  // namespace

jd::Json toJSON(const RawTurn& turn) {
    return {{"index", turn.index},
            {"total", turn.total},
            {"role", turn.role},
            {"text", turn.text},
            {"collapsed", turn.collapsed},
            {"producedArtifact", orNull(turn.producedArtifact)},
            {"artifactTitle", orNull(turn.artifactTitle)},
            {"artifactType", orNull(turn.artifactType)}};
}

RawTurn rawTurnFromJSON(const jd::Json& json, const std::string& path) {
    jd::object(json, path);
    RawTurn t;
    t.index = jd::int32(jd::required(json, "index", path), jd::child(path, "index"));
    t.total = static_cast<int>(jd::optionalInteger(json, "total", path, INT_MIN, INT_MAX).value_or(t.index));
    t.role = jd::string(jd::required(json, "role", path), jd::child(path, "role"));
    t.text = jd::optionalString(json, "text", path).value_or("");
    t.collapsed = jd::optionalBool(json, "collapsed", path).value_or(false);
    t.producedArtifact = jd::optionalBool(json, "producedArtifact", path);
    t.artifactTitle = jd::optionalString(json, "artifactTitle", path);
    t.artifactType = jd::optionalString(json, "artifactType", path);
    return t;
}

jd::Json SegmenterSnapshot::toJSON() const {
    jd::Json turnList = jd::Json::array();
    for (const auto& t : turns) turnList.push_back(velmar::toJSON(t));
    return {{"conversationKey", orNull(conversationKey)},
            {"turns", std::move(turnList)},
            {"model", orNull(model)},
            {"responseComplete", responseComplete},
            {"inProject", orNull(inProject)},
            {"surface", orNull(surface)},
            {"usedParityFallback", usedParityFallback},
            {"composerDraft", orNull(composerDraft)}};
}

SegmenterSnapshot SegmenterSnapshot::fromJSON(const jd::Json& json, const std::string& path) {
    jd::object(json, path);
    SegmenterSnapshot s;
    s.conversationKey = jd::optionalString(json, "conversationKey", path);
    if (const auto* turns = jd::optional(json, "turns")) {
        auto turnsPath = jd::child(path, "turns");
        jd::array(*turns, turnsPath);
        for (std::size_t i = 0; i < turns->size(); ++i) {
            s.turns.push_back(rawTurnFromJSON((*turns)[i], jd::element(turnsPath, i)));
        }
    }
    s.model = jd::optionalString(json, "model", path);
    s.responseComplete = jd::optionalBool(json, "responseComplete", path).value_or(true);
    s.inProject = jd::optionalBool(json, "inProject", path);
    s.surface = jd::optionalString(json, "surface", path);
    s.usedParityFallback = jd::optionalBool(json, "usedParityFallback", path).value_or(false);
    s.composerDraft = jd::optionalString(json, "composerDraft", path);
    return s;
}

}  // namespace velmar
