#include "tools/FixtureCheck.hpp"

#include "tools/CommandLine.hpp"

#include "ax/FixtureDocument.hpp"
#include "parsing/FixtureParsing.hpp"
#include "surfaces/AIWebURL.hpp"
#include "surfaces/SurfaceTraits.hpp"
#include "surfaces/WebAddress.hpp"


#include <algorithm>
#include <iostream>
#include <sstream>

namespace velmar {

namespace fs = std::filesystem;

std::vector<fs::path> FixtureCheck::collect(const std::vector<std::string>& paths, std::vector<std::string>& missing) {
    std::vector<fs::path> out;
    for (const auto& p : paths) {
        std::error_code ec;
        fs::path path(p);
        if (fs::is_directory(path, ec)) {
            std::vector<fs::path> found;
            for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
                 it.increment(ec)) {
                if (it->is_regular_file(ec) && it->path().extension() == ".json") found.push_back(it->path());
            }
            std::sort(found.begin(), found.end());
            out.insert(out.end(), found.begin(), found.end());
        } else if (fs::is_regular_file(path, ec)) {
            out.push_back(path);
        } else {
            missing.push_back(p);
        }
    }
    return out;
}

std::optional<std::string> FixtureCheck::deriveKey(const FixtureDocument& doc, bool& derivable) {
    // Browser fixtures keep the page address on the root, so the key live
    // capture would have had follows from it; self-keying surfaces derive the
    // key inside the parser.
    const auto& surface = doc.meta.surface;
    auto address = doc.tree ? doc.tree->string("AXURL") : std::nullopt;
    if (SurfaceTraits::isBrowserSurface(surface) && address && !address->empty()) {
        derivable = true;
        auto parsed = WebAddress::parse(*address);
        if (SurfaceTraits::isPanelSurface(surface)) return AIWebURL::panelConversationId(parsed, surface);
        return AIWebURL::conversationId(parsed, surface);
    }
    derivable = FixtureParsing::keysItself(surface);
    return std::nullopt;
}

namespace {

std::string list(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out + "]";
}

std::string yesNo(bool b) { return b ? "true" : "false"; }

std::optional<std::string> firstMismatch(const FixtureDocument::Expect& expect, const SegmenterSnapshot& snap,
                                         bool checkKey) {
    auto mismatch = [](const char* what, const std::string& expected, const std::string& got) {
        return std::string(what) + ": expected " + expected + ", got " + got;
    };
    if (static_cast<long long>(snap.turns.size()) != expect.turnCount) {
        return mismatch("turnCount", std::to_string(expect.turnCount), std::to_string(snap.turns.size()));
    }
    if (expect.roles) {
        std::vector<std::string> roles;
        for (const auto& t : snap.turns) roles.push_back(t.role);
        if (roles != *expect.roles) return mismatch("roles", list(*expect.roles), list(roles));
    }
    if (expect.modelPresent && *expect.modelPresent != snap.model.has_value()) {
        return mismatch("modelPresent", yesNo(*expect.modelPresent), yesNo(snap.model.has_value()));
    }
    if (expect.responseComplete && *expect.responseComplete != snap.responseComplete) {
        return mismatch("responseComplete", yesNo(*expect.responseComplete), yesNo(snap.responseComplete));
    }
    if (checkKey && expect.conversationKeyPresent && *expect.conversationKeyPresent != snap.conversationKey.has_value()) {
        return mismatch("conversationKeyPresent", yesNo(*expect.conversationKeyPresent),
                        yesNo(snap.conversationKey.has_value()));
    }
    if (expect.usedParityFallback && *expect.usedParityFallback != snap.usedParityFallback) {
        return mismatch("usedParityFallback", yesNo(*expect.usedParityFallback), yesNo(snap.usedParityFallback));
    }
    if (expect.inProject && snap.inProject != expect.inProject) {
        return mismatch("inProject", yesNo(*expect.inProject), snap.inProject ? yesNo(*snap.inProject) : "absent");
    }
    if (expect.producedArtifact) {
        bool any = std::any_of(snap.turns.begin(), snap.turns.end(),
                               [](const RawTurn& t) { return t.producedArtifact.value_or(false); });
        if (any != *expect.producedArtifact) {
            return mismatch("producedArtifact", yesNo(*expect.producedArtifact), yesNo(any));
        }
    }
    return std::nullopt;
}

}  // namespace

FixtureCheck::Result FixtureCheck::check(const fs::path& file, const std::optional<std::string>& key) {
    Result result;
    result.path = file.string();
    auto read = jsondecode::readingFile([&] { return FixtureDocument::readFile(file); });
    if (const auto* problem = std::get_if<jsondecode::FileProblem>(&read)) {
        result.reason = (problem->unreadable ? "cannot read file: " : "fixture failed to decode: ") + problem->what;
        return result;
    }
    auto& doc = std::get<FixtureDocument>(read);
    result.surface = doc.meta.surface;
    doc.tree->wireParents();

    bool derivable = false;
    auto derived = deriveKey(doc, derivable);
    auto conversationKey = key ? key : derived;
    if (key) derivable = true;

    if (!FixtureParsing::hasParser(doc.meta.surface)) {
        result.reason = "no parser for surface " + doc.meta.surface;
        return result;
    }
    result.snapshot = FixtureParsing::parse(doc.meta.surface, *doc.tree, conversationKey);
    if (!result.snapshot) {
        result.reason = "snapshot nil (expected " + std::to_string(doc.expect.turnCount) + " turns)";
        return result;
    }
    result.reason = firstMismatch(doc.expect, *result.snapshot, derivable);
    result.passed = !result.reason;
    return result;
}

void FixtureCheck::printTurns(const Result& result, std::ostream& out) {
    if (!result.snapshot) return;
    const auto& s = *result.snapshot;
    out << "  " << result.surface.value_or("?") << "  key=" << s.conversationKey.value_or("(none)")
        << "  model=" << s.model.value_or("(none)") << "  complete=" << yesNo(s.responseComplete) << '\n';
    for (const auto& t : s.turns) {
        out << "  [" << t.index << "/" << t.total << "] " << t.role << (t.collapsed ? " (collapsed)" : "") << ":";
        std::istringstream lines(t.text);
        std::string line;
        bool first = true;
        while (std::getline(lines, line)) {
            out << (first ? " " : "\n      ") << line;
            first = false;
        }
        out << '\n';
    }
}

int FixtureCheck::run(const std::vector<std::string>& paths, const std::optional<std::string>& key, Output output,
                      std::ostream& out, std::ostream& err) {
    std::vector<std::string> missing;
    auto files = collect(paths, missing);
    for (const auto& m : missing) err << "no such file or directory: " << m << '\n';
    std::size_t passed = 0, failed = missing.size();
    for (const auto& file : files) {
        auto r = check(file, key);
        r.passed ? ++passed : ++failed;
        if (output == Output::Json) {
            jsondecode::Json line = {{"path", r.path},
                                     {"surface", r.surface ? jsondecode::Json(*r.surface) : nullptr},
                                     {"result", r.passed ? "pass" : "fail"},
                                     {"reason", r.reason ? jsondecode::Json(*r.reason) : nullptr},
                                     {"snapshot", r.snapshot ? r.snapshot->toJSON() : nullptr}};
            out << line.dump(-1, ' ', false, jsondecode::Json::error_handler_t::replace) << '\n';
        } else {
            if (r.passed) out << "PASS " << r.path << '\n';
            else out << "FAIL " << r.path << ": " << r.reason.value_or("") << '\n';
            if (output == Output::Turns) printTurns(r, out);
        }
    }
    if (output != Output::Json) out << passed << " passed, " << failed << " failed" << '\n';
    return failed ? 1 : 0;
}

int FixtureCheck::run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Parses recorded accessibility trees and checks them against their expectations."};
    app.name("velmar-fixture-check");
    bool json = false, turns = false;
    std::optional<std::string> key;
    std::vector<std::string> paths;
    app.add_flag("--json", json, "one JSON object per fixture");
    app.add_flag("--turns", turns, "print each conversation's turns under its result line");
    app.add_option("--key", key, "conversation key to parse with");
    app.add_option("paths", paths, "fixture files or directories")->required();
    if (auto status = parseCommandLine(app, argc, argv, out, err, "velmar-fixture-check [--json] [--turns] [--key KEY] PATH...")) return *status;
    return run(paths, key, json ? Output::Json : turns ? Output::Turns : Output::Lines, out, err);
}

}  // namespace velmar
