// What one streamed reply costs in a real Chromium, with the real browser
// capture controller on a GLib loop, on chat pages whose history is grown to
// 10, 100 and 400 exchanges (and 1,000 for ChatGPT): a prompt is typed into
// the page, which streams its canned reply, and the measure runs from the
// Return key until the controller has sent the exchange and the page has
// been quiet for 3 s. Counters: the D-Bus requests the agent sent, its CPU,
// the browser's CPU over all its processes with the agent and, in the
// "/without" runs, the same reply without any agent; "to_event_s" is Return
// to the turn event, "decidable_to_stored_s" from the moment the completion
// rule could first decide (1.5 s after the page's last change, as its events
// tell) to the turn event. "RealChromiumStall" is the same reply on ChatGPT
// pages of 400 and 9,500 exchanges (about 200,000 accessible objects) with a
// probe on the loop: "first_read_stall_ms" is the longest the loop was held
// while the controller first read the page, "longest_stall_ms" during the
// reply. "RealChromiumIdle" is a minute of a quiet 400-exchange page that
// renames its tab every second. Inside the private desktop:
//   bash tests/support/desktop-session.sh build/velmar_bench --benchmark_filter='RealChromium(Reply|Idle|Stall)'

#include "capture/AIAppAllowlist.hpp"
#include "capture/BrowserCaptureController.hpp"
#include "capture/CaptureDebug.hpp"
#include "capture/CaptureDiag.hpp"
#include "platform/Accessibility.hpp"
#include "platform/linux/atspi/AtspiAccessibility.hpp"
#include "platform/linux/system/GLibMainLoop.hpp"
#include "platform/linux/system/LinuxEnvironment.hpp"
#include "platform/linux/system/StderrLogSink.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <thread>

std::size_t velmarDbusRequests();

namespace velmar {
namespace {

using namespace std::chrono_literals;
using linux_backend::GLibMainLoop;

double selfCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU of every process of the browser (its renderers and helpers share the executable).
double browserCpuSeconds() {
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    double total = 0;
    for (const auto& dir : std::filesystem::directory_iterator("/proc")) {
        std::ifstream in(dir.path() / "stat");
        std::string line;
        if (!std::getline(in, line)) continue;
        const auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        const std::string comm = line.substr(open + 1, close - open - 1);
        if (comm.rfind("chrom", 0) != 0) continue;
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        total += static_cast<double>(utime + stime) / tick;
    }
    return total;
}

// Focuses the page's composer through accessibility, as the capture tests do.
void focusComposer(const linux_backend::AtspiAccessibility& accessibility, int pid) {
    auto app = accessibility.applicationElement(pid);
    if (!app) return;
    std::function<std::optional<AXElement>(const AXElement&, int)> find = [&](const AXElement& n, int depth) -> std::optional<AXElement> {
        if (depth > 40) return std::nullopt;
        if (n.role() == "AXTextArea") return n;
        for (const auto& c : n.children())
            if (auto hit = find(static_cast<const AXElement&>(*c), depth + 1)) return hit;
        return std::nullopt;
    };
    for (const auto& w : AXElement(app).windows()) {
        if (auto composer = find(w, 0)) {
            composer->raw()->setBoolAttribute("AXFocused", true);
            std::this_thread::sleep_for(500ms);
            return;
        }
    }
}

bool sh(const std::string& command) { return std::system(command.c_str()) == 0; }

// The longest the loop went without running a 10 ms timer, beyond its 10 ms:
// how long the agent held it.
struct StallProbe {
    std::chrono::steady_clock::time_point last{};
    double longestMs = 0;
    void restart() { last = std::chrono::steady_clock::now(); }
    void tick() {
        const auto now = std::chrono::steady_clock::now();
        longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(now - last).count() - 10.0);
        last = now;
    }
};

void runFor(GLibMainLoop& loop, std::chrono::milliseconds limit, const std::function<bool()>& done,
            StallProbe* probe = nullptr) {
    ScopedTimer deadline = loop.postDelayed(limit, [&] { loop.quit(); });
    ScopedTimer ticks;
    if (probe) {
        probe->restart();
        ticks = loop.repeating(10ms, 0ms, [probe] { probe->tick(); });
    }
    ScopedTimer poll;
    if (done) {
        poll = loop.repeating(50ms, 0ms, [&] {
            if (done()) loop.quit();
        });
    }
    loop.run();
}

// One chat page loaded with `query` in the private desktop's Chromium, and,
// when asked, the real controller attached to the browser and past its first
// read of the page (the history is not what is measured).
struct Rig {
    linux_backend::AtspiAccessibility accessibility;
    GLibMainLoop loop;
    CaptureDiag diag{loop.now()};
    // The controller's trace with VELMAR_CAPTURE_DEBUG=1, as the agent's.
    linux_backend::StderrLogSink trace;
    CaptureDebug debug{linux_backend::LinuxEnvironment{}, trace};
    std::vector<TurnEvent> events;
    std::chrono::steady_clock::time_point storedAt{};
    std::unique_ptr<BrowserCaptureController> controller;
    int pid = std::atoi(std::getenv("VELMAR_CHROMIUM_PID"));
    StallProbe probe;
    double firstReadStallMs = 0;
    // The page's last change as its own events tell it, heard beside the controller.
    std::unique_ptr<AccessibilityObserver> changes;
    std::chrono::steady_clock::time_point lastChange{};

    // False when the browser could not be observed.
    bool open(const std::string& surface, const std::string& query, int exchanges, bool withAgent,
              bool withProbe = false) {
        std::ifstream in(std::string(std::getenv("VELMAR_SESSION_DIR")) + "/pages.json");
        const std::string url = nlohmann::json::parse(in).at(surface).get<std::string>() + query;
        sh("xdotool windowfocus --sync " + std::string(std::getenv("VELMAR_CHROMIUM_WINDOW")) +
           " && xdotool key --clearmodifiers ctrl+l && xdotool type --delay 2 '" + url + "' && xdotool key Delete Return");
        // The longest pages flood the bus while they load: attached after that.
        std::this_thread::sleep_for(std::chrono::milliseconds(3'000 + exchanges * (exchanges > 3'000 ? 20 : 8)));
        if (withAgent) {
            // A browser still loading a long page floods the accessibility
            // bus, and its registry may not answer in time: tried again, as
            // the agent's supervisor does.
            for (int tries = 0;; ++tries) {
                controller = std::make_unique<BrowserCaptureController>(
                    RunningApplication{pid, "chromium", "chromium", std::nullopt},
                    AIAppAllowlist::specForAppId("chromium")->browserCase()->profile, accessibility, loop, diag,
                    CaptureSchedule::Timings{}, [this](const TurnEvent& e) {
                        events.push_back(e);
                        storedAt = std::chrono::steady_clock::now();
                    }, nullptr, &debug);
                if (controller->start()) break;
                if (tries == 10) return false;
                std::this_thread::sleep_for(5s);
            }
            changes = accessibility.createObserver(pid, [this](const AXElementRef&, std::string_view) {
                if (events.empty()) lastChange = std::chrono::steady_clock::now();
            });
            if (changes) {
                auto app = accessibility.applicationElement(pid);
                for (const char* name : {"AXValueChanged", "AXLayoutChanged"}) changes->registerNotification(app, name);
            }
        }
        // Past the controller's first read of the page, however long the page.
        runFor(loop, exchanges > 1'000 ? 600s : 5s, [&] {
            return !controller || (controller->settleRuns() > 0 && !controller->settling() &&
                                   controller->mirroredElements() > static_cast<std::size_t>(exchanges));
        }, withProbe ? &probe : nullptr);
        if (controller) firstReadStallMs = probe.longestMs;
        runFor(loop, 5s, [] { return false; });
        return true;
    }
};

// What the agent and the browser spent between `start` and `stop`.
struct Costs {
    double agentCpu = 0, browserCpu = 0;
    std::size_t requests = 0;
    int settles = 0;
    double stallMs = 0;
    void start(Rig& rig) {
        rig.probe.longestMs = 0;
        agentCpu = selfCpuSeconds();
        browserCpu = browserCpuSeconds();
        requests = velmarDbusRequests();
        settles = rig.controller ? rig.controller->settleRuns() : 0;
    }
    void stop(const Rig& rig) {
        stallMs = rig.probe.longestMs;
        agentCpu = selfCpuSeconds() - agentCpu;
        browserCpu = browserCpuSeconds() - browserCpu;
        requests = velmarDbusRequests() - requests;
        settles = rig.controller ? rig.controller->settleRuns() - settles : 0;
    }
    void report(benchmark::State& state, int exchanges, bool withAgent) const {
        state.counters["exchanges"] = exchanges;
        state.counters["browser_cpu_s"] = browserCpu;
        if (!withAgent) return;
        state.counters["agent_cpu_s"] = agentCpu;
        state.counters["dbus_requests"] = static_cast<double>(requests);
        state.counters["settles"] = settles;
    }
};

bool inDesktop(benchmark::State& state) {
    if (std::getenv("VELMAR_DESKTOP_SESSION")) return true;
    state.SkipWithError("needs the private desktop (tests/support/desktop-session.sh)");
    return false;
}

// `probe`: a 10 ms timer on the loop measures how long the agent held it (its
// wake-ups are CPU of their own, so the cost figures come from runs without it).
// Without the agent, what the browser spends on its own: `untouched`, no
// client ever read the page; `read`, the controller read it whole and was
// gone before the prompt (the upkeep of a page a client has read); `heard`,
// the same with an observer of its text and children events left on.
enum class Alone { untouched, read, heard };

void reply(benchmark::State& state, const std::string& surface, bool withAgent, bool probe = false,
           Alone alone = Alone::untouched) {
    if (!inDesktop(state)) return;
    const int exchanges = static_cast<int>(state.range(0));
    const bool readFirst = !withAgent && alone != Alone::untouched;
    Rig rig;
    if (!rig.open(surface, "?history=" + std::to_string(exchanges), exchanges, withAgent || readFirst, probe)) {
        state.SkipWithError("no observer on the browser");
        return;
    }
    if (readFirst) {
        if (alone == Alone::read) rig.changes.reset();
        rig.controller->stop();
        rig.controller.reset();
    }
    Costs costs;
    double toEvent = 0;
    for (auto _ : state) {
        focusComposer(rig.accessibility, rig.pid);
        costs.start(rig);
        const auto start = std::chrono::steady_clock::now();
        sh("xdotool type --delay 5 'How long is a piece of string?' && xdotool key Return");
        if (withAgent) {
            runFor(rig.loop, 40s, [&] { return !rig.events.empty(); }, probe ? &rig.probe : nullptr);
            toEvent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        // The reply streams for about 6 s; 3 s of quiet after it.
        runFor(rig.loop, withAgent && !rig.events.empty() ? 3s : 12s, [] { return false; }, probe ? &rig.probe : nullptr);
        costs.stop(rig);
    }
    costs.report(state, exchanges, withAgent);
    if (withAgent) {
        state.counters["to_event_s"] = toEvent;
        // The completion rule can decide 1.5 s after the reply's last change.
        if (!rig.events.empty() && rig.lastChange.time_since_epoch().count() != 0)
            state.counters["decidable_to_stored_s"] =
                std::chrono::duration<double>(rig.storedAt - rig.lastChange).count() - 1.5;
        state.counters["turns_sent"] = static_cast<double>(rig.events.size());
        state.counters["mirrored"] = static_cast<double>(rig.controller->mirroredElements());
    }
    if (probe) {
        state.counters["longest_stall_ms"] = costs.stallMs;
        state.counters["first_read_stall_ms"] = rig.firstReadStallMs;
    }
    if (rig.controller) rig.controller->stop();
}

// A quiet page that renames its tab every second: what the agent and the
// browser spend on it over a minute, with the controller attached and without.
void idle(benchmark::State& state, bool withAgent) {
    if (!inDesktop(state)) return;
    const int exchanges = static_cast<int>(state.range(0));
    Rig rig;
    if (!rig.open("chatgpt", "?retitle=1&history=" + std::to_string(exchanges), exchanges, withAgent)) {
        state.SkipWithError("no observer on the browser");
        return;
    }
    // Only the agent's own work in the process: no observer of the
    // benchmark's, no poll of the loop.
    rig.changes.reset();
    Costs costs;
    for (auto _ : state) {
        costs.start(rig);
        runFor(rig.loop, 60s, {});
        costs.stop(rig);
    }
    costs.report(state, exchanges, withAgent);
    if (rig.controller) rig.controller->stop();
}

const int registered = [] {
    for (bool withAgent : {false, true}) {
        benchmark::RegisterBenchmark(
            (std::string("RealChromiumIdle/chatgpt") + (withAgent ? "/agent" : "/without")).c_str(),
            [withAgent](benchmark::State& s) { idle(s, withAgent); })
            ->Arg(400)
            ->Unit(benchmark::kSecond)
            ->Iterations(1);
    }
    for (int exchanges : {400, 3'000, 9'500}) {
        benchmark::RegisterBenchmark("RealChromiumStall/chatgpt/agent",
                                     [](benchmark::State& s) { reply(s, "chatgpt", true, true); })
            ->Arg(exchanges)
            ->Unit(benchmark::kSecond)
            ->Iterations(1);
    }
    for (const char* surface : {"chatgpt", "claude_ai"}) {
        for (int exchanges : {10, 100, 400, 1000}) {
            if (exchanges == 1000 && std::string(surface) != "chatgpt") continue;
            for (bool withAgent : {false, true}) {
                benchmark::RegisterBenchmark(
                    (std::string("RealChromiumReply/") + surface + (withAgent ? "/agent" : "/without")).c_str(),
                    [surface = std::string(surface), withAgent](benchmark::State& s) { reply(s, surface, withAgent); })
                    ->Arg(exchanges)
                    ->Unit(benchmark::kSecond)
                    ->Iterations(1);
            }
        }
        for (const auto& variant : {std::pair{"/read", Alone::read}, std::pair{"/listen", Alone::heard}}) {
            benchmark::RegisterBenchmark((std::string("RealChromiumReply/") + surface + variant.first).c_str(),
                                         [surface = std::string(surface), alone = variant.second](benchmark::State& s) {
                                             reply(s, surface, false, false, alone);
                                         })
                ->Arg(400)
                ->Unit(benchmark::kSecond)
                ->Iterations(1);
        }
    }
    return 0;
}();

}  // namespace
}  // namespace velmar
