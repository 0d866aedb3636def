#include "tools/CaptureManifest.hpp"

#include "parsing/FnvHash.hpp"
#include "surfaces/AIWebURL.hpp"
#include "surfaces/SurfaceTraits.hpp"
#include "surfaces/WebAddress.hpp"
#include "text/Unicode.hpp"
#include "tools/AXDump.hpp"

#include <algorithm>
#include <set>

namespace velmar {
namespace jd = jsondecode;

namespace {

double seconds(const jd::Json& object, std::string_view key, const std::string& path, double fallback) {
    const auto* value = jd::optional(object, key);
    if (!value) return fallback;
    if (!value->is_number()) jd::fail("number", jd::child(path, key));
    const double v = value->get<double>();
    if (!(v >= 0) || v > 86400) jd::fail("number of seconds from 0 to 86400", jd::child(path, key));
    return v;
}

CaptureManifest::Entry decodeEntry(const jd::Json& json, const std::string& path) {
    jd::object(json, path);
    CaptureManifest::Entry e;
    e.id = jd::string(jd::required(json, "id", path), jd::child(path, "id"));
    e.surface = jd::string(jd::required(json, "surface", path), jd::child(path, "surface"));
    e.browser = jd::string(jd::required(json, "browser", path), jd::child(path, "browser"));
    e.url = jd::string(jd::required(json, "url", path), jd::child(path, "url"));
    if (auto mode = jd::optionalString(json, "mode", path)) {
        if (*mode == "panel-zero-state") e.mode = CaptureManifest::Mode::panelZeroState;
        else if (*mode != "conversation") jd::fail("\"conversation\" or \"panel-zero-state\"", jd::child(path, "mode"));
    }
    e.panelButtonLabels = jd::optionalStringList(json, "panelButtonLabels", path);
    e.deepLink = jd::optionalString(json, "deepLink", path);
    e.sidebarTitle = jd::optionalString(json, "sidebarTitle", path);
    e.firstPrompt = jd::optionalString(json, "firstPrompt", path);
    e.expectModel = jd::optionalBool(json, "expectModel", path);
    e.send = jd::optionalBool(json, "send", path).value_or(true);
    if (jd::optional(json, "sendSec")) e.sendSec = seconds(json, "sendSec", path, 0);
    return e;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) out += (out.empty() ? "" : ", ") + item;
    return out;
}

}  // namespace

CaptureManifest CaptureManifest::decode(const jd::Json& json) {
    jd::object(json, "");
    CaptureManifest m;
    if (auto schema = jd::optionalInteger(json, "schema", "", 0, 1000)) m.schema = static_cast<int>(*schema);
    if (auto s = jd::optionalString(json, "sentinel", "")) m.sentinel = *s;
    if (auto s = jd::optionalString(json, "sendPrompt", "")) m.sendPrompt = *s;
    if (const auto* timeouts = jd::optional(json, "timeouts")) {
        jd::object(*timeouts, "timeouts");
        m.openSec = seconds(*timeouts, "openSec", "timeouts", defaultOpenSec);
        m.sendSec = seconds(*timeouts, "sendSec", "timeouts", defaultSendSec);
    }
    const auto& entries = jd::array(jd::required(json, "entries", ""), "entries");
    for (std::size_t i = 0; i < entries.size(); ++i) m.entries.push_back(decodeEntry(entries[i], jd::element("entries", i)));
    return m;
}

CaptureManifest CaptureManifest::load(const std::filesystem::path& file) { return decode(jd::parseFile(file)); }

std::optional<std::string> CaptureManifest::expectedKey(const Entry& entry) const {
    if (entry.surface == SurfaceKey::chatgptDesktop) {
        if (!entry.firstPrompt) return std::nullopt;
        auto trimmed = text::trim(*entry.firstPrompt);
        if (trimmed.empty()) return std::nullopt;
        return "apx:" + fnvHash(trimmed);
    }
    const auto address = WebAddress::parse(entry.url);
    if (SurfaceTraits::isPanelSurface(entry.surface)) return AIWebURL::panelConversationId(address, entry.surface);
    // Claude's desktop app shows the conversations of its web app.
    const std::string_view surface =
        entry.surface == SurfaceKey::claudeDesktop ? SurfaceKey::claudeAI : std::string_view(entry.surface);
    return AIWebURL::conversationId(address, surface);
}

std::vector<std::string> CaptureManifest::validate(DesktopPlatform platform) const {
    std::vector<std::string> problems;
    std::set<std::string> seen;
    std::vector<std::string> slugs;
    for (const auto& p : BrowserProfile::all(platform)) slugs.push_back(p.slug);
    for (const auto& e : entries) {
        auto problem = [&](const std::string& message) { problems.push_back(e.id + ": " + message); };
        if (!seen.insert(e.id).second) problem("duplicate entry id");
        const auto* traits = SurfaceTraits::find(e.surface);
        if (!e.isNative()) {
            auto profile = BrowserProfile::profileForSlug(e.browser, platform);
            if (!profile) {
                problem("browser must be native or one of " + joined(slugs));
            } else if (!profile->captures(e.surface)) {
                problem(e.surface + " is not captured on " + e.browser +
                        " (BrowserProfile.uncapturedSurfaces) — drop this entry");
            }
        } else if (!traits || !traits->nativeApp) {
            problem("surface " + e.surface + " is not a native app surface");
        }
        if (!AXDump::hasProbes(e.surface)) problem("no ax-check probe table for surface " + e.surface);
        if (e.mode == Mode::panelZeroState && !e.surface.starts_with("gemini_"))
            problem("panel-zero-state applies to gemini_docs / gemini_sheets only");
        if (e.surface == SurfaceKey::chatgptDesktop) {
            if (!e.firstPrompt) problem("chatgpt_desktop needs firstPrompt (the app keys on its hash)");
            else if (e.firstPrompt->find(sentinel) == std::string::npos)
                problem("firstPrompt must contain the sentinel \"" + sentinel + "\"");
        }
        if (!expectedKey(e)) problem("url does not resolve to a " + e.surface + " conversation key");
        for (std::string_view placeholder : {"00000000-0000", "/d/00000", "cse_0000", "/app/0000"}) {
            if (e.url.find(placeholder) != std::string::npos) {
                problem("url is still the example placeholder");
                break;
            }
        }
    }
    return problems;
}

std::vector<CaptureManifest::Entry> CaptureManifest::select(const std::optional<std::vector<std::string>>& surfaces,
                                                            const std::optional<std::vector<std::string>>& browsers) const {
    auto within = [](const std::optional<std::vector<std::string>>& list, const std::string& value) {
        return !list || std::find(list->begin(), list->end(), value) != list->end();
    };
    std::vector<Entry> out;
    for (const auto& e : entries)
        if (within(surfaces, e.surface) && within(browsers, e.browser)) out.push_back(e);
    return out;
}

}  // namespace velmar
