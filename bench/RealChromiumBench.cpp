// Snapshots of long chat pages in a real Chromium, read through AT-SPI: for
// every browser surface, a page of about 3,000 and of about 30,000 accessible
// objects (the page's own history grown with "?history=N"), its wall time per
// snapshot and the D-Bus round trips libatspi makes for it, beside the reads
// the simulated backend needs for the same tree. "one by one" reads each
// attribute in a request of its own (the backend before it learnt to read
// several at once); "several" is what the capture controller does now.
// Runs inside the private desktop:
//   bash tests/support/desktop-session.sh build/velmar_bench --benchmark_filter=RealChromium
// Elsewhere it reports itself skipped.
#include "ax/AXElement.hpp"
#include "ax/AXReadScope.hpp"
#include "capture/AIAppAllowlist.hpp"
#include "capture/BrowserGate.hpp"
#include "parsing/WorkspaceGeminiPanel.hpp"
#include "platform/linux/atspi/AtspiAccessibility.hpp"
#include "platform/sim/SimElement.hpp"
#include "surfaces/AIWebURL.hpp"
#include "surfaces/WebAddress.hpp"

#include <benchmark/benchmark.h>
#include <dbus/dbus.h>
#include <dlfcn.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

// Every D-Bus request the backend and libatspi make goes through one of these
// two libdbus calls; defined here, they count each request and pass it on, so
// the counts are the requests the browser really answered (or the cache
// saved).
namespace {
std::atomic<std::size_t> gRoundTrips{0};
}
std::size_t velmarDbusRequests() { return gRoundTrips.load(); }
extern "C" {
dbus_bool_t dbus_connection_send_with_reply(DBusConnection* c, DBusMessage* m, DBusPendingCall** p, int timeout) {
    using Fn = dbus_bool_t (*)(DBusConnection*, DBusMessage*, DBusPendingCall**, int);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "dbus_connection_send_with_reply"));
    if (dbus_message_get_type(m) == DBUS_MESSAGE_TYPE_METHOD_CALL) ++gRoundTrips;
    return real(c, m, p, timeout);
}
DBusMessage* dbus_connection_send_with_reply_and_block(DBusConnection* c, DBusMessage* m, int timeout, DBusError* e) {
    using Fn = DBusMessage* (*)(DBusConnection*, DBusMessage*, int, DBusError*);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "dbus_connection_send_with_reply_and_block"));
    if (dbus_message_get_type(m) == DBUS_MESSAGE_TYPE_METHOD_CALL) ++gRoundTrips;
    return real(c, m, timeout, e);
}
}

namespace velmar {
namespace {

using namespace std::chrono_literals;

// Hides the backend's several-at-once read, so a parse asks one attribute per request.
class OneByOne final : public PlatformElement {
public:
    explicit OneByOne(AXElementRef inner) : inner_(std::move(inner)) {}
    std::optional<AXAttributeValue> copyAttribute(std::string_view name) const override {
        auto value = inner_->copyAttribute(name);
        if (!value) return value;
        if (auto* one = std::get_if<AXElementRef>(&*value)) return AXAttributeValue(wrap(*one));
        if (auto* many = std::get_if<std::vector<AXElementRef>>(&*value)) {
            for (auto& e : *many) e = wrap(e);
        }
        return value;
    }
    bool setBoolAttribute(std::string_view name, bool value) const override { return inner_->setBoolAttribute(name, value); }
    bool sameElement(const PlatformElement& other) const override {
        auto* o = dynamic_cast<const OneByOne*>(&other);
        return inner_->sameElement(o ? *o->inner_ : other);
    }
    std::size_t identityHash() const override { return inner_->identityHash(); }

private:
    static AXElementRef wrap(const AXElementRef& e) { return e ? std::make_shared<OneByOne>(e) : e; }
    AXElementRef inner_;
};

std::optional<AXElement> findWebArea(const AXElement& node, std::string_view url, int depth) {
    if (depth > 40) return std::nullopt;
    if (node.role() == "AXWebArea") {
        auto value = node.attribute("AXURL");
        auto* address = value ? std::get_if<AXURLValue>(&*value) : nullptr;
        if (address && address->absoluteString == url) return node;
        return std::nullopt;
    }
    for (const auto& c : node.children()) {
        if (auto found = findWebArea(static_cast<const AXElement&>(*c), url, depth + 1)) return found;
    }
    return std::nullopt;
}

// The live tree as the recorded vocabulary, for the simulated backend.
nlohmann::json record(const AXNode& node, std::size_t& count) {
    ++count;
    nlohmann::json out{{"role", node.role()}};
    if (auto v = node.subrole()) out["subrole"] = *v;
    if (auto v = node.string("AXValue")) out["value"] = *v;
    if (auto v = node.string("AXTitle")) out["title"] = *v;
    if (auto v = node.string("AXDescription")) out["description"] = *v;
    if (auto c = node.domClassList(); !c.empty()) out["domClassList"] = c;
    auto& kids = out["children"] = nlohmann::json::array();
    for (const auto& c : node.children()) kids.push_back(record(*c, count));
    return out;
}

struct Loaded {
    AXElement area;
    std::optional<std::string> key;
    std::size_t nodes = 0;
    nlohmann::json tree;
};

std::map<std::string, Loaded>& loadedPages() {
    static std::map<std::string, Loaded> pages;
    return pages;
}

// Exchanges of history that give about 3,000 and 30,000 objects, per surface
// (measured on these pages: a ChatGPT exchange is about 20 objects, a Perplexity one about 60).
int historyFor(const std::string& surface, int objects) {
    static const std::map<std::string, int> perExchange = {
        {"chatgpt", 22}, {"claude_ai", 24}, {"gemini", 22},       {"perplexity", 60},
        {"deepseek", 22}, {"gemini_docs", 16}, {"gemini_sheets", 16}};
    return objects / perExchange.at(surface);
}

std::optional<Loaded> load(const std::string& surface, int objects) {
    const std::string id = surface + "/" + std::to_string(objects);
    if (auto it = loadedPages().find(id); it != loadedPages().end()) return it->second;
    std::ifstream in(std::string(std::getenv("VELMAR_SESSION_DIR")) + "/pages.json");
    const std::string base = nlohmann::json::parse(in).at(surface).get<std::string>();
    // The query goes before any fragment (the Sheets page's address ends in "#gid=0").
    const auto hash = base.find('#');
    const std::string url = base.substr(0, hash) + "?history=" + std::to_string(historyFor(surface, objects)) +
                            (hash == std::string::npos ? "" : base.substr(hash));
    const std::string window = std::getenv("VELMAR_CHROMIUM_WINDOW");
    std::system(("xdotool windowfocus --sync " + window + " && xdotool key --clearmodifiers ctrl+l && xdotool type --delay 2 '" +
                 url + "' && xdotool key Delete Return")
                    .c_str());
    linux_backend::AtspiAccessibility accessibility;
    auto app = accessibility.applicationElement(std::atoi(std::getenv("VELMAR_CHROMIUM_PID")));
    if (!app) return std::nullopt;
    std::optional<AXElement> area;
    for (int i = 0; i < 150 && !area; ++i) {
        std::this_thread::sleep_for(200ms);
        for (const auto& w : AXElement(app).windows()) {
            if ((area = findWebArea(w, url, 0))) break;
        }
    }
    if (!area) return std::nullopt;
    auto address = WebAddress::parse(url);
    Loaded page{*area, std::nullopt, 0, {}};
    if (surface.starts_with("gemini_")) {
        page.key = AIWebURL::panelConversationId(address, surface);
        auto panel = WorkspaceGeminiPanel::locate(std::make_shared<AXElement>(*area));
        if (!panel) return std::nullopt;
        page.area = static_cast<const AXElement&>(*panel);
    } else {
        page.key = AIWebURL::conversationId(address, surface);
    }
    // The page's script adds the history after load and the browser's tree
    // follows it: wait until the parse stops growing.
    auto segmenter = AIAppAllowlist::browserSegmenterForSurface(surface, nullptr);
    std::size_t seen = 0;
    for (int i = 0; i < 60; ++i) {
        std::this_thread::sleep_for(1s);
        auto snap = segmenter->snapshot(page.area, page.key);
        const std::size_t now = snap ? snap->turns.size() : 0;
        if (now > 8 && now == seen) break;
        seen = now;
    }
    {
        AXReadScope scope;
        page.tree = record(scope.read(AXElement(area->raw())), page.nodes);
    }
    loadedPages().clear();  // only the page shown now can be read
    loadedPages().emplace(id, page);
    return page;
}

void run(benchmark::State& state, const std::string& surface, bool oneByOne) {
    if (!std::getenv("VELMAR_DESKTOP_SESSION")) {
        state.SkipWithError("needs the private desktop (tests/support/desktop-session.sh)");
        return;
    }
    auto page = load(surface, static_cast<int>(state.range(0)));
    if (!page) {
        state.SkipWithError("the page did not load");
        return;
    }
    auto segmenter = AIAppAllowlist::browserSegmenterForSurface(surface, nullptr);
    AXElement area = oneByOne ? AXElement(std::make_shared<OneByOne>(page->area.raw())) : AXElement(page->area.raw());

    // The same page on the simulated backend: what the parse asks for there.
    auto log = std::make_shared<sim::SimReadLog>();
    auto simRoot = sim::SimElement::fromJSON(page->tree, log);
    std::optional<AXElement> simArea = AXElement(simRoot);
    if (surface.starts_with("gemini_")) {
        auto panel = WorkspaceGeminiPanel::locate(std::make_shared<AXElement>(*simArea));
        simArea = panel ? std::optional<AXElement>(static_cast<const AXElement&>(*panel)) : std::nullopt;
    }
    std::size_t simTrips = 0, simVisited = 0;
    if (simArea) {
        log->reset();
        auto simSnap = segmenter->snapshot(*simArea, page->key);
        simTrips = log->total();
        simVisited = log->elementsRead();
    }

    std::size_t trips = 0, turns = 0;
    for (auto _ : state) {
        const std::size_t before = gRoundTrips.load();
        auto snap = segmenter->snapshot(area, page->key);
        trips = gRoundTrips.load() - before;
        turns = snap ? snap->turns.size() : 0;
        benchmark::DoNotOptimize(snap);
    }
    // A whole settle as the controller runs it: the gate finds the tab, its segmenter reads it.
    double settleMs = 0;
    std::size_t settleTrips = 0, settleTurns = 0;
    if (!oneByOne) {
        linux_backend::AtspiAccessibility accessibility;
        auto spec = AIAppAllowlist::specForAppId("chromium");
        if (spec && spec->browserCase()) {
            BrowserGate gate(std::atoi(std::getenv("VELMAR_CHROMIUM_PID")), spec->browserCase()->profile, accessibility);
            const std::size_t before = gRoundTrips.load();
            const auto start = std::chrono::steady_clock::now();
            for (const auto& tab : gate.allGatedTabs(8)) {
                if (auto seg = AIAppAllowlist::browserSegmenterForSurface(tab.surface, nullptr)) {
                    auto snap = seg->snapshot(tab.webArea, tab.conversationKey);
                    settleTurns += snap ? snap->turns.size() : 0;
                }
            }
            settleMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            settleTrips = gRoundTrips.load() - before;
        }
    }
    state.counters["objects"] = static_cast<double>(page->nodes);
    state.counters["turns"] = static_cast<double>(turns);
    state.counters["dbus_round_trips"] = static_cast<double>(trips);
    if (!oneByOne) {
        state.counters["settle_ms"] = settleMs;
        state.counters["settle_round_trips"] = static_cast<double>(settleTrips);
        state.counters["settle_turns"] = static_cast<double>(settleTurns);
    }
    state.counters["sim_reads"] = static_cast<double>(simTrips);
    state.counters["sim_visited"] = static_cast<double>(simVisited);
    state.counters["trips/visited"] = simVisited ? static_cast<double>(trips) / static_cast<double>(simVisited) : 0;
}

const int registered = [] {
    // Page by page, so both ways of reading meet the page while it is shown.
    for (const char* surface : {"chatgpt", "claude_ai", "gemini", "perplexity", "deepseek", "gemini_docs", "gemini_sheets"}) {
        for (int objects : {3000, 30000}) {
            for (bool oneByOne : {true, false}) {
                benchmark::RegisterBenchmark(
                    (std::string("RealChromium/") + surface + (oneByOne ? "/one_by_one" : "/several")).c_str(),
                    [surface = std::string(surface), oneByOne](benchmark::State& s) { run(s, surface, oneByOne); })
                    ->Arg(objects)
                    ->Unit(benchmark::kMillisecond)
                    ->Iterations(objects > 3000 ? 1 : 3);
            }
        }
    }
    return 0;
}();

}  // namespace
}  // namespace velmar
