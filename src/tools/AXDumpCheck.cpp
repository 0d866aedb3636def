// "ax-check" and "ax-record": the live capture targets, their probes and
// parses, and the recording of one target as a scrubbed fixture.
#include "ax/FixtureDocument.hpp"
#include "capture/AIAppAllowlist.hpp"
#include "capture/BrowserGate.hpp"
#include "parsing/FixtureParsing.hpp"
#include "platform/Accessibility.hpp"
#include "platform/Workspace.hpp"
#include "tools/AXDump.hpp"
#include "tools/ToolTime.hpp"

#include <algorithm>
#include <fstream>
#include <map>
#include <ostream>
#include <set>

namespace velmar {
namespace {

std::string joined(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (const auto& item : items) {
        if (!out.empty()) out += separator;
        out += item;
    }
    return out;
}

std::string knownBrowsers(DesktopPlatform platform) {
    std::vector<std::string> slugs;
    for (const auto& p : BrowserProfile::all(platform)) slugs.push_back(p.slug);
    return joined(slugs, ", ");
}

bool isKnownRole(const std::string& role) { return role == "user" || role == "assistant"; }

}  // namespace

std::string AXDump::noTargetsMessage() {
    const std::string browsers =
        BrowserProfile::runningPlatform() == DesktopPlatform::macOS ? "Chrome or Safari" : "Chrome or Chromium";
    return "No live capture targets — open Claude Desktop, the ChatGPT app, or a claude.ai / chatgpt.com / "
           "gemini.google.com / www.perplexity.ai / chat.deepseek.com tab (or a Google Doc / Sheet with its Gemini "
           "panel open) in " + browsers + ", focus the window, then re-run.\n";
}

std::vector<AXDump::Target> AXDump::liveTargets(ToolContext& context,
                                                const std::function<void(const std::string&)>& log) {
    std::vector<Target> out;
    const auto running = context.workspace.runningApplications();

    for (auto appId : {AIAppAllowlist::claudeDesktopAppId, AIAppAllowlist::chatgptDesktopAppId}) {
        for (const auto& app : running) {
            if (app.appId != appId) continue;
            auto spec = AIAppAllowlist::specForAppId(appId, nullptr, context.platform);
            auto element = context.accessibility.applicationElement(app.pid);
            if (!spec || !spec->nativeCase() || !element) break;
            AXElement root(element);
            auto window = root.focusedWindow();
            if (!window) break;
            const auto& segmenter = *spec->nativeCase()->segmenter;
            auto parse = segmenter.snapshot(root);
            out.push_back({segmenter.surface(), *window, parse ? parse->conversationKey : std::nullopt, "native",
                           std::move(parse), app.pid});
            break;  // the first running instance only
        }
    }

    for (const auto& app : running) {
        if (!app.appId) continue;
        auto spec = AIAppAllowlist::specForAppId(*app.appId, nullptr, context.platform);
        if (!spec || !spec->browserCase()) continue;
        const BrowserProfile& profile = spec->browserCase()->profile;
        // A browser of another session (or not yet on the accessibility bus) has nothing to show.
        if (!context.accessibility.applicationElement(app.pid)) continue;
        BrowserGate gate(app.pid, profile, context.accessibility);
        for (auto& tab : gate.allGatedTabs(8)) {
            if (!profile.captures(tab.surface)) {
                log(tab.surface + " (" + profile.slug + ")  [not captured on " + profile.slug +
                    " — BrowserProfile.uncapturedSurfaces]");
                continue;
            }
            auto segmenter = AIAppAllowlist::browserSegmenterForSurface(tab.surface);
            std::optional<SegmenterSnapshot> parse;
            if (segmenter) parse = segmenter->snapshot(tab.webArea, tab.conversationKey);
            out.push_back({tab.surface, tab.webArea, tab.conversationKey, profile.slug, std::move(parse), app.pid});
        }
    }
    return out;
}

int AXDump::check(ToolContext& context) {
    auto targets = liveTargets(context, [&](const std::string& line) { context.out << line << "\n"; });
    if (targets.empty()) {
        context.err << noTargetsMessage() << std::flush;
        return 2;
    }
    bool failed = false;
    auto& out = context.out;
    for (const auto& target : targets) {
        out << "── " << target.surface << " (" << target.origin << ")";
        if (!target.conversationKey) out << "  [no conversation open]";
        out << "\n";
        const auto scope = std::make_shared<AXElement>(target.scope);
        for (const auto& p : probes(target.surface)) {
            const bool ok = p.run(scope);
            failed = failed || !ok;
            out << "  " << (ok ? "PASS" : "FAIL") << "  " << p.name << "\n";
        }
        if (!target.conversationKey) continue;
        if (!target.parse) {
            out << "  FAIL  parser: snapshot nil (container marker missing?)\n";
            failed = true;
            continue;
        }
        const auto& parse = *target.parse;
        const bool someTurns = !parse.turns.empty();
        out << "  " << (someTurns ? "PASS" : "FAIL") << "  parser: " << parse.turns.size() << " turn(s)\n";
        int unknown = 0;
        for (const auto& turn : parse.turns) unknown += isKnownRole(turn.role) ? 0 : 1;
        out << "  " << (unknown ? "FAIL" : "PASS") << "  parser: roles resolved";
        if (unknown) out << " (" << unknown << " unknown)";
        out << "\n";
        out << "  INFO  model=" << parse.model.value_or("nil") << " complete=" << (parse.responseComplete ? "true" : "false")
            << " parityFallback=" << (parse.usedParityFallback ? "true" : "false") << "\n";
        failed = failed || !someTurns || unknown > 0;
    }
    if (failed) {
        out << "\nRESULT: FAIL — a contract marker moved; compare with the probes above.\n" << std::flush;
        return 1;
    }
    out << "\nRESULT: PASS — every probed marker present.\n" << std::flush;
    return 0;
}

int AXDump::record(const std::vector<std::string>& arguments, ToolContext& context) {
    std::optional<std::string> surface, scenario, browser;
    std::string outDir(defaultFixtureDirectory);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& word = arguments[i];
        std::optional<std::string>* slot = word == "--surface"    ? &surface
                                           : word == "--scenario" ? &scenario
                                           : word == "--browser"  ? &browser
                                                                  : nullptr;
        if ((slot || word == "--out") && i + 1 < arguments.size()) {
            if (slot) *slot = arguments[++i];
            else outDir = arguments[++i];
            continue;
        }
        if (slot || word == "--out") break;  // a value is missing: the usage text below
        context.err << "unknown argument " << word << "\n" << std::flush;
        return 2;
    }
    if (!surface || !scenario || surface->empty() || scenario->empty()) {
        context.err << recordUsage << std::flush;
        return 2;
    }
    if (browser && !BrowserProfile::profileForSlug(*browser, context.platform)) {
        context.err << "unknown --browser " << *browser << "; known: " << knownBrowsers(context.platform) << "\n"
                    << std::flush;
        return 2;
    }

    std::vector<Target> matching;
    for (auto& t : liveTargets(context, [](const std::string&) {})) {
        if (t.surface == *surface && (!browser || t.origin == *browser)) matching.push_back(std::move(t));
    }
    std::vector<std::string> origins;
    for (const auto& t : matching) {
        if (t.origin != "native" && std::find(origins.begin(), origins.end(), t.origin) == origins.end())
            origins.push_back(t.origin);
    }
    if (!browser && origins.size() > 1) {
        context.err << *surface << " is open in more than one browser (" << joined(origins, ", ")
                    << ") — pass --browser <slug>\n" << std::flush;
        return 2;
    }
    if (matching.empty()) {
        context.err << "no live " << *surface << " target — open and FOCUS it, then re-run "
                    << "(a minimized/never-focused browser window exposes no web areas)\n" << std::flush;
        return 2;
    }
    const Target& target = matching.front();
    if (!target.parse) {
        context.err << "live parse returned nil for " << *surface << " — is a conversation open? "
                    << "run ax-check first\n" << std::flush;
        return 2;
    }
    const auto& live = *target.parse;
    const bool isBrowser = target.origin != "native";

    int budget = nodeBudget;
    jsondecode::Json tree = serializeNode(target.scope, isBrowser, 0, budget);
    jsondecode::Json meta = {{"surface", *surface}, {"scenario", *scenario},
                             {"recordedAt", ToolTime::internetTime(context.clock.now())},
                             {"agentVersion", context.agentVersion.empty() ? "dev" : context.agentVersion}};
    if (isBrowser) meta["browser"] = target.origin;
    std::vector<std::string> roles;
    bool artifact = false;
    for (const auto& turn : live.turns) {
        roles.push_back(turn.role);
        artifact = artifact || turn.producedArtifact == true;
    }
    jsondecode::Json expect = {{"turnCount", live.turns.size()},
                               {"roles", roles},
                               {"modelPresent", live.model.has_value()},
                               {"responseComplete", live.responseComplete},
                               {"conversationKeyPresent", live.conversationKey.has_value()},
                               {"usedParityFallback", live.usedParityFallback},
                               {"producedArtifact", artifact}};
    if (live.inProject) expect["inProject"] = *live.inProject;
    std::string bytes;
    try {
        bytes = prettyJSON({{"meta", meta}, {"expect", expect}, {"tree", tree}});
    } catch (const std::exception&) {
        context.err << "JSON serialization failed\n" << std::flush;
        return 1;
    }

    // The scrubbed copy, read back as the fixture check reads it.
    std::optional<std::string> divergence;
    try {
        auto replayDoc = FixtureDocument::decodeText(bytes);
        replayDoc.tree->wireParents();
        auto replay = FixtureParsing::parse(*surface, *replayDoc.tree, target.conversationKey);
        std::vector<std::string> replayRoles;
        if (replay)
            for (const auto& turn : replay->turns) replayRoles.push_back(turn.role);
        if (!replay || replay->turns.size() != live.turns.size()) {
            divergence = "turnCount live=" + std::to_string(live.turns.size()) +
                         " replay=" + (replay ? std::to_string(replay->turns.size()) : std::string("nil-snapshot"));
        } else if (replayRoles != roles) {
            divergence = "roles diverged after scrubbing";
        }
    } catch (const std::exception&) {
        divergence = "fixture failed to decode";
    }

    const std::filesystem::path dir = std::filesystem::path(outDir) / *surface;
    const std::filesystem::path file = dir / (ToolTime::localDate(context.clock.now()) + "-" + *scenario + ".json");
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::ofstream stream;
    if (!ec) {
        stream.open(file, std::ios::binary | std::ios::trunc);
        stream << bytes;
        stream.close();
        if (!stream) ec = std::make_error_code(std::errc::io_error);
    }
    if (ec) {
        context.err << "write failed: " << ec.message() << "\n" << std::flush;
        return 1;
    }

    auto& out = context.out;
    out << "recorded " << file.string() << " (" << bytes.size() << " bytes)\n";
    out << "  live parse: " << live.turns.size() << " turn(s), model=" << live.model.value_or("nil") << ", "
        << "complete=" << (live.responseComplete ? "true" : "false") << "\n";
    if (!divergence) {
        out << "  round-trip: scrubbed tree parses identically. REVIEW THE JSON FOR LEAKED TEXT before committing.\n"
            << std::flush;
        return 0;
    }
    out << "  ⚠️ SCRUB DIVERGENCE: " << *divergence << " — the scrubber masked "
        << "something the parser depends on; inspect before committing.\n" << std::flush;
    return 1;
}

}  // namespace velmar
