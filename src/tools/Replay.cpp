#include "tools/Replay.hpp"

#include "tools/CommandLine.hpp"

#include "capture/ConversationRouter.hpp"
#include "runtime/CoreContract.hpp"
#include "surfaces/SurfaceTraits.hpp"


#include <initializer_list>
#include <iostream>
#include <sstream>

namespace velmar {

namespace jd = jsondecode;

namespace {

// A misspelt member would otherwise be ignored and silently change the replay.
void onlyKeys(const jd::Json& object, std::initializer_list<std::string_view> allowed, const std::string& path) {
    for (const auto& [key, value] : object.items()) {
        bool known = false;
        for (auto a : allowed) known = known || key == a;
        if (!known) throw jd::DecodeError("unexpected key at " + jd::child(path, key));
    }
}

std::string surfaceKey(const jd::Json& value, const std::string& path) {
    std::string surface = jd::string(value, path);
    if (!SurfaceTraits::isKnown(surface)) jd::fail("surface key", path);
    return surface;
}

SegmenterSnapshot decodeSnapshot(const jd::Json& json, const std::string& path) {
    jd::object(json, path);
    onlyKeys(json,
             {"conversationKey", "turns", "model", "responseComplete", "inProject", "surface", "usedParityFallback",
              "composerDraft"},
             path);
    if (const auto* turns = jd::optional(json, "turns")) {
        const auto turnsPath = jd::child(path, "turns");
        jd::array(*turns, turnsPath);
        for (std::size_t i = 0; i < turns->size(); ++i) {
            const auto turnPath = jd::element(turnsPath, i);
            jd::object((*turns)[i], turnPath);
            onlyKeys((*turns)[i],
                     {"index", "total", "role", "text", "collapsed", "producedArtifact", "artifactTitle",
                      "artifactType"},
                     turnPath);
        }
    }
    SegmenterSnapshot snapshot = SegmenterSnapshot::fromJSON(json, path);
    // In replay files a missing flag is false, the completion flag included.
    if (!jd::optional(json, "responseComplete")) snapshot.responseComplete = false;
    if (const auto* surface = jd::optional(json, "surface")) surfaceKey(*surface, jd::child(path, "surface"));
    return snapshot;
}

Replay::Step decodeStep(const jd::Json& json, const std::string& path) {
    jd::object(json, path);
    Replay::Step step;
    step.flush = jd::optionalBool(json, "flush", path).value_or(false);
    if (step.flush) {
        onlyKeys(json, {"flush"}, path);
        return step;
    }
    onlyKeys(json, {"flush", "observedAt", "fromNewChat", "draft", "snapshot"}, path);
    const auto timePath = jd::child(path, "observedAt");
    ObservedAtProblem problem;
    auto observedAt = parseObservedAt(jd::string(jd::required(json, "observedAt", path), timePath), &problem);
    if (problem == ObservedAtProblem::outOfRange) {
        jd::fail("date-time from " + std::string(kObservedAtRange), timePath);
    }
    if (!observedAt) jd::fail("date-time like 2026-01-02T03:04:05.678Z", timePath);
    step.observedAt = *observedAt;
    step.fromNewChat = jd::optionalBool(json, "fromNewChat", path).value_or(false);
    step.draft = jd::optionalString(json, "draft", path);
    step.snapshot = decodeSnapshot(jd::required(json, "snapshot", path), jd::child(path, "snapshot"));
    return step;
}

}  // namespace

Replay::Script Replay::decode(const jd::Json& document) {
    jd::object(document, "");
    onlyKeys(document, {"surface", "steps"}, "");
    Script script;
    script.surface = surfaceKey(jd::required(document, "surface", ""), "surface");
    const auto& steps = jd::array(jd::required(document, "steps", ""), "steps");
    script.steps.reserve(steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) script.steps.push_back(decodeStep(steps[i], jd::element("steps", i)));
    return script;
}

Replay::Script Replay::decodeText(std::string_view text) { return decode(jd::parse(text)); }

void Replay::play(const Script& script, const std::function<void(const TurnEvent&)>& onEvent) {
    ConversationRouter router(onEvent);
    for (const auto& step : script.steps) {
        if (step.flush) {
            router.flushEach();
            continue;
        }
        const auto& key = step.snapshot.conversationKey;
        if (!key) continue;  // a view without a conversation: nothing to assemble
        const std::string surface = step.snapshot.surface.value_or(script.surface);
        router.route(surface + ":" + *key, surface, step.snapshot, step.observedAt, step.fromNewChat, step.draft);
    }
}

int Replay::runFile(const std::string& path, std::ostream& out, std::ostream& err) {
    auto read = jd::readingFile([&] { return decode(jd::parseFile(path)); });
    if (const auto* problem = std::get_if<jd::FileProblem>(&read)) {
        err << "velmar-replay: " << path << ": " << (problem->unreadable ? "cannot read the file: " : "")
            << problem->what << '\n';
        return 2;
    }
    play(std::get<Script>(read), [&](const TurnEvent& e) { out << core_contract::toLine(core_contract::toJSON(e)); });
    out.flush();
    return 0;
}

int Replay::run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Feeds a recorded snapshot sequence through the capture pipeline and prints the turn lines."};
    app.name("velmar-replay");
    std::string file;
    app.add_option("FILE", file, "replay file (JSON)")->required();
    if (auto status = parseCommandLine(app, argc, argv, out, err, "velmar-replay FILE")) return *status;
    return runFile(file, out, err);
}

}  // namespace velmar
