#include "tools/CaptureCheck.hpp"

#include "capture/AIAppAllowlist.hpp"
#include "capture/ReplyCompletion.hpp"
#include "parsing/StopControls.hpp"
#include "platform/Accessibility.hpp"
#include "platform/Input.hpp"
#include "platform/Workspace.hpp"
#include "surfaces/SurfaceTraits.hpp"
#include "text/Unicode.hpp"
#include "tools/AXDump.hpp"
#include "tools/CommandLine.hpp"
#include "tools/ToolTime.hpp"

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <sstream>

namespace velmar {
namespace {

using Assert = CaptureAssertions;
using Entry = CaptureManifest::Entry;
using namespace std::chrono_literals;

std::vector<std::string> splitList(const std::string& value) {
    std::vector<std::string> out;
    std::stringstream in(value);
    for (std::string item; std::getline(in, item, ',');) {
        item = text::trim(item);
        if (!item.empty()) out.push_back(item);
    }
    return out;
}

std::string origin(const Entry& e) { return e.isNative() ? "native" : e.browser; }

long long millisSince(const Clock& clock, TimePoint start) { return (clock.now() - start) / 1ms; }

// The live targets that may be the entry's: its surface, shown by its app or browser.
std::vector<AXDump::Target> targetsFor(ToolContext& context, const Entry& e) {
    std::vector<AXDump::Target> out;
    for (auto& t : AXDump::liveTargets(context, [](const std::string&) {}))
        if (t.surface == e.surface && t.origin == origin(e)) out.push_back(std::move(t));
    return out;
}

std::optional<AXDump::Target> targetWithKey(ToolContext& context, const Entry& e, const std::optional<std::string>& key) {
    for (auto& t : targetsFor(context, e))
        if (t.conversationKey == key) return std::move(t);
    return std::nullopt;
}

// The window holding an element: its nearest ancestor (or itself) of role "AXWindow".
std::optional<AXElement> windowOf(const AXElement& element) {
    AXNodePtr node = std::make_shared<AXElement>(element);
    for (int depth = 0; node && depth <= 80; ++depth) {
        if (node->role() == "AXWindow") return *static_cast<const AXElement*>(node.get());
        node = node->parent();
    }
    return std::nullopt;
}

// The running application of the entry's browser that this session's
// accessibility bus knows, and where its program is.
struct BrowserApp {
    RunningApplication app;
    std::filesystem::path executable;
};

std::optional<BrowserApp> runningBrowser(ToolContext& context, const std::string& slug) {
    for (const auto& app : context.workspace.runningApplications()) {
        if (!app.appId) continue;
        auto spec = AIAppAllowlist::specForAppId(*app.appId, nullptr, context.platform);
        if (!spec || !spec->browserCase() || spec->browserCase()->profile.slug != slug) continue;
        if (!context.accessibility.applicationElement(app.pid)) continue;
        return BrowserApp{app, app.bundleLocation.value_or(std::filesystem::path(*app.appId))};
    }
    return std::nullopt;
}

AXNodePtr firstWhere(const AXNodePtr& root, int maxDepth, std::function<bool(const NodeView&)> test) {
    FirstHit hit(maxDepth, std::move(test));
    findEach(root, {&hit});
    return hit.node;
}

AXNodePtr composerIn(const AXElement& scope) {
    return firstWhere(std::make_shared<AXElement>(scope), 60, [](const NodeView& v) { return v.role() == "AXTextArea"; });
}

bool isFocused(const AXNodePtr& node) {
    auto* element = dynamic_cast<const AXElement*>(node.get());
    if (!element) return false;
    auto value = element->attribute("AXFocused");
    return value && std::holds_alternative<bool>(*value) && std::get<bool>(*value);
}

// What has the focus instead: its role, never its text (it may be the user's).
std::string describeFocus(const AXElement& scope) {
    std::string found;
    std::function<bool(const AXNodePtr&, int)> walk = [&](const AXNodePtr& node, int depth) {
        if (depth > 40) return false;
        if (isFocused(node)) {
            found = node->role() + " in the page";
            return true;
        }
        for (const auto& child : node->children())
            if (walk(child, depth + 1)) return true;
        return false;
    };
    walk(std::make_shared<AXElement>(scope), 0);
    return found.empty() ? "something outside the page" : found;
}

struct NativeApp {
    std::string_view appId;
    std::string name;
};

std::optional<NativeApp> nativeApp(std::string_view surface) {
    if (surface == SurfaceKey::claudeDesktop) return NativeApp{AIAppAllowlist::claudeDesktopAppId, "Claude Desktop"};
    if (surface == SurfaceKey::chatgptDesktop) return NativeApp{AIAppAllowlist::chatgptDesktopAppId, "the ChatGPT app"};
    return std::nullopt;
}

class Run {
public:
    Run(ToolContext& context, const CaptureManifest& manifest, const CaptureCheck::Options& options)
        : c_(context), m_(manifest), o_(options) {}

    Assert::EntryResult entry(const Entry& e) {
        Assert::EntryResult r;
        r.id = e.id;
        r.surface = e.surface;
        r.browser = e.browser;
        const auto key = m_.expectedKey(e);
        const auto started = c_.clock.now();

        std::optional<AXElement> openedWindow;
        if (!open(e, r, openedWindow)) return r;
        const auto found = await(e, key, r, started);
        if (!found) {
            closeIfOpened(openedWindow, r);
            return r;
        }
        const auto& target = *found;
        auto window = windowOf(target.scope);
        if (window) r.window = window->label().empty() ? std::optional<std::string>() : window->label();
        // Only a window that was not there before is the harness's to close.
        if (!e.isNative() && window &&
            std::none_of(before_.begin(), before_.end(), [&](const AXElement& w) { return w == *window; }))
            openedWindow = window;

        if (e.mode == CaptureManifest::Mode::panelZeroState) {
            r.status = "PASS";
            r.note = "zero-state";
        } else {
            std::vector<Assert::ProbeResult> probeResults;
            const auto scope = std::make_shared<AXElement>(target.scope);
            for (const auto& p : AXDump::probes(e.surface)) probeResults.push_back({p.name, p.run(scope)});
            const bool modelExpected = SurfaceTraits::modelExpected(e.surface) && e.expectModel != false;
            Assert::judge(r, target.parse, probeResults, m_.sentinel, modelExpected);
        }

        if (o_.send && e.send && e.mode == CaptureManifest::Mode::conversation) {
            r.send = send(e, key, target, window);
            if (!r.send->ok && r.status != "FAIL") {
                r.status = "FAIL";
                r.reason = "send: " + r.send->reason.value_or("failed");
            }
        }
        closeIfOpened(openedWindow, r);
        return r;
    }

private:
    // Opens the entry's conversation; false (with the entry skipped) when it cannot be.
    bool open(const Entry& e, Assert::EntryResult& r, std::optional<AXElement>& openedWindow) {
        if (e.isNative()) {
            auto native = nativeApp(e.surface);
            if (!native) return skip(r, "no native driver for " + e.surface);
            const auto apps = c_.workspace.runningApplications();
            auto app = std::find_if(apps.begin(), apps.end(),
                                    [&](const auto& a) { return a.appId == native->appId; });
            if (app == apps.end()) return skip(r, native->name + " is not running");
            auto element = c_.accessibility.applicationElement(app->pid);
            auto window = element ? AXElement(element).focusedWindow() : std::nullopt;
            if (!window || !c_.input.raiseWindow(window->raw())) return skip(r, "app never became frontmost (nothing typed)");
            if (e.sidebarTitle) {
                auto row = firstWhere(std::make_shared<AXElement>(*window), 60, [&](const NodeView& v) {
                    return (v.role() == "AXButton" || v.role() == "AXLink" || v.role() == "AXRow") &&
                           text::trim(v.label()) == *e.sidebarTitle;
                });
                if (row) c_.input.clickCentre(static_cast<const AXElement&>(*row).raw());
            }
            return true;
        }
        auto browser = runningBrowser(c_, e.browser);
        std::optional<int> pid;
        std::filesystem::path executable;
        before_.clear();
        if (browser) {
            pid = browser->app.pid;
            executable = browser->executable;
            before_ = AXElement(c_.accessibility.applicationElement(browser->app.pid)).windows();
        } else if (auto profile = BrowserProfile::profileForSlug(e.browser, c_.platform)) {
            executable = c_.workspace.installedApplicationLocation(profile->appId).value_or(profile->appId);
        }
        if (!c_.input.openURLInNewWindow(executable, pid, e.url)) {
            return skip(r, "could not open the address in " + executable.string() +
                               (pid ? " (running as " + std::to_string(*pid) + ")" : std::string(" (not running)")));
        }
        if (e.mode == CaptureManifest::Mode::panelZeroState) pressPanelButton(e);
        return true;
    }

    void pressPanelButton(const Entry& e) {
        if (!e.panelButtonLabels) return;
        const auto deadline = c_.clock.now() + std::chrono::milliseconds(static_cast<long long>(m_.openSec * 1000));
        while (c_.clock.now() < deadline) {
            if (auto browser = runningBrowser(c_, e.browser)) {
                AXElement app(c_.accessibility.applicationElement(browser->app.pid));
                for (const auto& window : app.windows()) {
                    auto button = firstWhere(std::make_shared<AXElement>(window), 60, [&](const NodeView& v) {
                        const auto& labels = *e.panelButtonLabels;
                        return v.role() == "AXButton" &&
                               std::find(labels.begin(), labels.end(), text::trim(v.label())) != labels.end();
                    });
                    if (button) {
                        c_.input.clickCentre(static_cast<const AXElement&>(*button).raw());
                        return;
                    }
                }
            }
            c_.pause(CaptureCheck::pollInterval);
        }
    }

    // Waits for the target to appear on the expected conversation, and for its
    // reply to be complete as capture judges it.
    std::optional<AXDump::Target> await(const Entry& e, const std::optional<std::string>& key, Assert::EntryResult& r,
                                        TimePoint started) {
        const auto deadline = started + std::chrono::milliseconds(static_cast<long long>(m_.openSec * 1000));
        std::optional<AXDump::Target> match;
        ReplyCompletion completion;
        bool otherConversation = false;
        std::optional<TimePoint> appeared;
        while (true) {
            for (auto& t : targetsFor(c_, e)) {
                const bool zeroState = e.mode == CaptureManifest::Mode::panelZeroState;
                if (t.conversationKey == key || zeroState) {
                    match = std::move(t);
                    break;
                }
                otherConversation = true;
            }
            if (match && !appeared) {
                appeared = c_.clock.now();
                r.openMs = millisSince(c_.clock, started);
                r.conversationKey = match->conversationKey;
                c_.out << "  target appeared on " << e.surface << " (" << origin(e) << ") after " << *r.openMs
                       << " ms\n";
            }
            if (match) {
                const auto& parse = match->parse;
                const auto stopShown = [&] {
                    return StopControls::shownIn(match->surface, std::make_shared<AXElement>(match->scope));
                };
                const bool settled = parse && completion.judge(e.id, *parse, c_.clock.now(), stopShown).complete;
                // A page that never parses is judged as it is after a short grace.
                if (settled || e.mode == CaptureManifest::Mode::panelZeroState ||
                    c_.clock.now() - *appeared >= std::chrono::seconds(3) || c_.clock.now() >= deadline)
                    return match;
                match.reset();
            } else if (c_.clock.now() >= deadline) {
                break;
            }
            c_.pause(CaptureCheck::pollInterval);
        }
        if (otherConversation) {
            r.status = "FAIL";
            r.reason = "tab found but on a different conversation (key mismatch — wrong URL in the manifest, or the "
                       "app did not navigate)";
        } else {
            skip(r, "not reachable: no live " + e.surface + " target within " +
                        std::to_string(static_cast<long long>(m_.openSec)) + " s");
        }
        return std::nullopt;
    }

    Assert::SendResult send(const Entry& e, const std::optional<std::string>& key, const AXDump::Target& target,
                            const std::optional<AXElement>& window) {
        Assert::SendResult refused;
        auto refuse = [&](std::string reason) {
            refused.reason = std::move(reason);
            refused.turnsBefore = target.parse ? static_cast<int>(target.parse->turns.size()) : 0;
            return refused;
        };
        if (window && !c_.input.raiseWindow(window->raw()) && e.isNative())
            return refuse("app never became frontmost (nothing typed)");
        auto composer = composerIn(target.scope);
        if (!composer) return refuse("composer not found");
        const auto& composerElement = static_cast<const AXElement&>(*composer);
        c_.input.clickCentre(composerElement.raw());
        c_.pause(300ms);
        if (!isFocused(composer)) {
            // The accessibility tree can move the focus where a click missed.
            composerElement.raw()->setBoolAttribute("AXFocused", true);
            c_.pause(200ms);
        }
        if (!isFocused(composer))
            return refuse("composer did not take focus (nothing typed; focus is on " + describeFocus(target.scope) + ")");

        auto before = targetWithKey(c_, e, key);
        const std::optional<SegmenterSnapshot> beforeParse = before ? before->parse : target.parse;
        c_.input.typeText(m_.sendPrompt);
        c_.pause(300ms);
        const auto typed = composerElement.string("AXValue").value_or("");
        if (text::normalizeWhitespace(typed).find(text::normalizeWhitespace(m_.sendPrompt)) == std::string::npos)
            return refuse("composer read-back mismatch (typed text did not land) — clear the composer by hand");
        c_.input.pressKey("Return");

        const auto sentAt = c_.clock.now();
        const auto limit = std::chrono::milliseconds(static_cast<long long>(m_.sendSecFor(e) * 1000));
        Assert::SendResult result;
        std::optional<SegmenterSnapshot> after;
        while (true) {
            c_.pause(CaptureCheck::pollInterval);
            auto now = targetWithKey(c_, e, key);
            after = now ? now->parse : std::nullopt;
            result = Assert::judgeSend(beforeParse, after, m_.sentinel, millisSince(c_.clock, sentAt));
            if (result.ok || c_.clock.now() - sentAt >= limit) break;
        }
        // A capturing agent reads a reply once its window has been quiet for a
        // while (at most a few seconds): the window stays open that long.
        if (result.ok) c_.pause(CaptureCheck::captureGrace);
        if (!result.ok && after) {
            const bool landed = std::any_of(after->turns.begin() + std::min(after->turns.size(), beforeParse ? beforeParse->turns.size() : 0),
                                            after->turns.end(), [&](const RawTurn& t) {
                                                return t.role == "user" && t.text.find(m_.sentinel) != std::string::npos;
                                            });
            if (landed) *result.reason += " (prompt landed, no reply yet — slow provider? raise sendSec on this entry)";
        }
        return result;
    }

    void closeIfOpened(const std::optional<AXElement>& window, Assert::EntryResult& r) {
        if (!o_.close || !window) return;
        if (c_.input.closeWindow(window->raw())) {
            r.cleanup = "closed";
            c_.pause(CaptureCheck::pollInterval);
        } else {
            r.cleanup = "close failed: the window did not take the close request";
        }
    }

    static bool skip(Assert::EntryResult& r, std::string reason) {
        r.status = "SKIP";
        r.reason = std::move(reason);
        return false;
    }

    ToolContext& c_;
    const CaptureManifest& m_;
    const CaptureCheck::Options& o_;
    std::vector<AXElement> before_;  // the browser's windows before the entry was opened
};

std::string cell(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

void printTable(std::ostream& out, const std::vector<Assert::EntryResult>& entries, bool withSend) {
    std::size_t idWidth = 5;
    for (const auto& e : entries) idWidth = std::max(idWidth, e.id.size());
    out << "\n" << cell("entry", idWidth) << "  " << cell("open", 8) << cell("markers", 9) << cell("text", 6)
        << cell("model", 7);
    if (withSend) out << cell("send", 6);
    out << cell("result", 8) << "reason\n";
    for (const auto& e : entries) {
        int okProbes = 0;
        for (const auto& p : e.probes) okProbes += p.ok ? 1 : 0;
        const std::string open = e.openMs ? std::to_string(*e.openMs) + "ms" : "-";
        const std::string markers =
            e.probes.empty() ? "-" : std::to_string(okProbes) + "/" + std::to_string(e.probes.size());
        const std::string textCell =
            e.textCheck ? (e.textCheck->sentinelUserTurn && e.textCheck->assistantChars > 0 ? "ok" : "FAIL") : "-";
        const std::string model = e.textCheck ? (e.textCheck->modelPresent ? "yes" : "no") : "-";
        out << cell(e.id, idWidth) << "  " << cell(open, 8) << cell(markers, 9) << cell(textCell, 6) << cell(model, 7);
        if (withSend) out << cell(e.send ? (e.send->ok ? "ok" : "FAIL") : "-", 6);
        out << cell(e.status, 8) << e.reason.value_or("") << "\n";
    }
}

}  // namespace

std::optional<int> CaptureCheck::parseArguments(const std::vector<std::string>& arguments, Options& o,
                                                ToolContext& context) {
    CLI::App app("Opens each baseline conversation of a manifest and checks what capture reads there.",
                 "capture-check");
    std::string surfaces, browsers;
    int close = 1;
    app.add_option("--manifest", o.manifest, "the baseline conversations")->required();
    app.add_option("--out", o.out, "where the JSON report is written");
    app.add_option("--surfaces", surfaces, "only these surfaces (comma-separated)");
    app.add_option("--browsers", browsers, "only these browsers (comma-separated)");
    app.add_flag("--send", o.send, "type a ping prompt and wait for the reply");
    app.add_option("--close", close, "close the windows it opened (1) or leave them (0)")->check(CLI::Range(0, 1));
    std::vector<const char*> argv{"capture-check"};
    for (const auto& a : arguments) argv.push_back(a.c_str());
    if (auto status = parseCommandLine(app, static_cast<int>(argv.size()), argv.data(), context.out, context.err,
                                       usage)) {
        return *status;
    }
    if (app.count("--surfaces")) o.surfaces = splitList(surfaces);
    if (app.count("--browsers")) o.browsers = splitList(browsers);
    o.close = close == 1;
    return std::nullopt;
}

int CaptureCheck::run(const std::vector<std::string>& arguments, ToolContext& context) {
    Options options;
    if (auto status = parseArguments(arguments, options, context)) return *status;
    auto& out = context.out;
    auto& err = context.err;

    CaptureManifest manifest;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(options.manifest, ec)) {
        err << "manifest not found: " << options.manifest << "\n"
            << "  cp capture-baseline.example.json capture-baseline.local.json and fill in "
            << "YOUR baseline conversation URLs (first prompt must start with the sentinel).\n" << std::flush;
        return 2;
    }
    try {
        manifest = CaptureManifest::load(options.manifest);
    } catch (const std::exception& e) {
        err << "manifest invalid:\n  " << e.what() << "\n" << std::flush;
        return 2;
    }
    if (auto problems = manifest.validate(context.platform); !problems.empty()) {
        err << "manifest invalid:\n";
        for (const auto& p : problems) err << "  " << p << "\n";
        err << std::flush;
        return 2;
    }
    const auto selected = manifest.select(options.surfaces, options.browsers);
    if (selected.empty()) {
        err << "no manifest entries match the selection\n" << std::flush;
        return 1;
    }

    std::optional<Assert::PreviousRun> previous;
    if (std::filesystem::is_regular_file(options.out, ec)) {
        try {
            previous = Assert::previousRun(jsondecode::parseFile(options.out));
        } catch (const std::exception& e) {
            err << "previous report unreadable (" << e.what() << "); comparing with nothing\n";
        }
    }

    out << "capture-check: " << selected.size() << (selected.size() == 1 ? " entry" : " entries")
        << (options.send ? " + SEND" : "") << " — hands off the mouse until RESULT prints.\n" << std::flush;

    Assert::Report report;
    report.ranAt = ToolTime::internetTime(context.clock.now());
    report.agentVersion = context.agentVersion;
    report.surfaces = options.surfaces;
    report.browsers = options.browsers;
    report.send = options.send;
    Run run(context, manifest, options);
    for (const auto& entry : selected) {
        out << "▶ " << entry.id << " (" << entry.surface << ", " << entry.browser << ")\n" << std::flush;
        report.entries.push_back(run.entry(entry));
        const auto& r = report.entries.back();
        out << "  " << r.status << "  " << r.id << (r.reason ? "  " + *r.reason : std::string()) << "\n" << std::flush;
    }
    report.summary = Assert::summarize(report.entries, previous);
    printTable(out, report.entries, options.send);
    out << "\n" << Assert::resultLine(report.summary) << "\n";

    const std::filesystem::path reportPath(options.out);
    if (reportPath.has_parent_path()) std::filesystem::create_directories(reportPath.parent_path(), ec);
    std::ofstream file(reportPath, std::ios::binary | std::ios::trunc);
    file << AXDump::prettyJSON(Assert::toJSON(report));
    file.close();
    if (!file) {
        err << "report not written: " << reportPath.string() << "\n" << std::flush;
        return 1;
    }
    out << "wrote " << reportPath.string() << "\n" << std::flush;
    return report.summary.fail ? 1 : 0;
}

}  // namespace velmar
