// What one streamed reply costs in a real Chromium, with the real browser
// capture controller on a GLib loop, on chat pages whose history is grown to
// 10, 100 and 400 exchanges (and 1,000 for ChatGPT): a prompt is typed into
// the page, which streams its canned reply, and the measure runs from the
// Return key until the controller has sent the exchange and the page has
// been quiet for 3 s. Counters: the D-Bus requests the agent sent, its CPU,
// the browser's CPU over all its processes with the agent and, in the
// "/without" runs, the same reply without any agent; "to_event_s" is Return
// to the turn event. "RealChromiumIdle" is a minute of a quiet 400-exchange
// page that renames its tab every second. Inside the private desktop:
//   bash tests/support/desktop-session.sh build/velmar_bench --benchmark_filter='RealChromium(Reply|Idle)'

#include "capture/AIAppAllowlist.hpp"
#include "capture/BrowserCaptureController.hpp"
#include "capture/CaptureDiag.hpp"
#include "platform/linux/atspi/AtspiAccessibility.hpp"
#include "platform/linux/system/GLibMainLoop.hpp"

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

void runFor(GLibMainLoop& loop, std::chrono::milliseconds limit, const std::function<bool()>& done) {
    ScopedTimer deadline = loop.postDelayed(limit, [&] { loop.quit(); });
    ScopedTimer poll = loop.repeating(50ms, 0ms, [&] {
        if (done()) loop.quit();
    });
    loop.run();
}

void reply(benchmark::State& state, const std::string& surface, bool withAgent) {
    if (!std::getenv("VELMAR_DESKTOP_SESSION")) {
        state.SkipWithError("needs the private desktop (tests/support/desktop-session.sh)");
        return;
    }
    const int exchanges = static_cast<int>(state.range(0));
    std::ifstream in(std::string(std::getenv("VELMAR_SESSION_DIR")) + "/pages.json");
    const std::string url = nlohmann::json::parse(in).at(surface).get<std::string>() + "?history=" +
                            std::to_string(exchanges);
    const std::string window = std::getenv("VELMAR_CHROMIUM_WINDOW");
    const int pid = std::atoi(std::getenv("VELMAR_CHROMIUM_PID"));
    sh("xdotool windowfocus --sync " + window + " && xdotool key --clearmodifiers ctrl+l && xdotool type --delay 2 '" +
       url + "' && xdotool key Delete Return");
    std::this_thread::sleep_for(std::chrono::milliseconds(3'000 + exchanges * 8));

    linux_backend::AtspiAccessibility accessibility;
    GLibMainLoop loop;
    CaptureDiag diag(loop.now());
    std::vector<TurnEvent> events;
    auto spec = AIAppAllowlist::specForAppId("chromium");
    std::unique_ptr<BrowserCaptureController> controller;
    if (withAgent) {
        controller = std::make_unique<BrowserCaptureController>(
            RunningApplication{pid, "chromium", "chromium", std::nullopt}, spec->browserCase()->profile,
            accessibility, loop, diag, CaptureSchedule::Timings{}, [&](const TurnEvent& e) { events.push_back(e); });
        if (!controller->start()) {
            state.SkipWithError("no observer on the browser");
            return;
        }
        // The first read of the page (its history) is not the reply's cost.
        runFor(loop, 4s, [] { return false; });
    }
    int sent = 0;
    double agentCpu = 0, browserCpu = 0, toEvent = 0;
    std::size_t requests = 0;
    for (auto _ : state) {
        focusComposer(accessibility, pid);
        const double agent0 = selfCpuSeconds(), browser0 = browserCpuSeconds();
        const std::size_t requests0 = velmarDbusRequests();
        const auto start = std::chrono::steady_clock::now();
        sh("xdotool type --delay 5 'How long is a piece of string?' && xdotool key Return");
        if (withAgent) {
            runFor(loop, 40s, [&] { return !events.empty(); });
            toEvent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        // The reply streams for about 6 s; 3 s of quiet after it.
        runFor(loop, withAgent && !events.empty() ? 3s : 12s, [] { return false; });
        agentCpu = selfCpuSeconds() - agent0;
        browserCpu = browserCpuSeconds() - browser0;
        requests = velmarDbusRequests() - requests0;
        sent = static_cast<int>(events.size());
    }
    const double mirrored = controller ? static_cast<double>(controller->mirroredElements()) : 0;
    if (controller) controller->stop();
    state.counters["exchanges"] = exchanges;
    state.counters["browser_cpu_s"] = browserCpu;
    if (withAgent) {
        state.counters["agent_cpu_s"] = agentCpu;
        state.counters["dbus_requests"] = static_cast<double>(requests);
        state.counters["to_event_s"] = toEvent;
        state.counters["turns_sent"] = sent;
        state.counters["mirrored"] = mirrored;
        state.counters["settles"] = controller ? controller->settleRuns() : 0;
    }
}

// A quiet page that renames its tab every second: what the agent and the
// browser spend on it over a minute, with the controller attached and without.
void idle(benchmark::State& state, bool withAgent) {
    if (!std::getenv("VELMAR_DESKTOP_SESSION")) {
        state.SkipWithError("needs the private desktop (tests/support/desktop-session.sh)");
        return;
    }
    const int exchanges = static_cast<int>(state.range(0));
    std::ifstream in(std::string(std::getenv("VELMAR_SESSION_DIR")) + "/pages.json");
    const std::string url = nlohmann::json::parse(in).at("chatgpt").get<std::string>() + "?retitle=1&history=" +
                            std::to_string(exchanges);
    const int pid = std::atoi(std::getenv("VELMAR_CHROMIUM_PID"));
    sh("xdotool windowfocus --sync " + std::string(std::getenv("VELMAR_CHROMIUM_WINDOW")) +
       " && xdotool key --clearmodifiers ctrl+l && xdotool type --delay 2 '" + url + "' && xdotool key Delete Return");
    std::this_thread::sleep_for(std::chrono::milliseconds(3'000 + exchanges * 8));
    linux_backend::AtspiAccessibility accessibility;
    GLibMainLoop loop;
    CaptureDiag diag(loop.now());
    std::unique_ptr<BrowserCaptureController> controller;
    if (withAgent) {
        controller = std::make_unique<BrowserCaptureController>(
            RunningApplication{pid, "chromium", "chromium", std::nullopt},
            AIAppAllowlist::specForAppId("chromium")->browserCase()->profile, accessibility, loop, diag,
            CaptureSchedule::Timings{}, [](const TurnEvent&) {});
        if (!controller->start()) {
            state.SkipWithError("no observer on the browser");
            return;
        }
    }
    runFor(loop, 5s, [] { return false; });  // the first read of the page
    double agentCpu = 0, browserCpu = 0;
    std::size_t requests = 0;
    int settles = 0;
    for (auto _ : state) {
        const double agent0 = selfCpuSeconds(), browser0 = browserCpuSeconds();
        const std::size_t requests0 = velmarDbusRequests();
        const int settles0 = controller ? controller->settleRuns() : 0;
        runFor(loop, 60s, [] { return false; });
        agentCpu = selfCpuSeconds() - agent0;
        browserCpu = browserCpuSeconds() - browser0;
        requests = velmarDbusRequests() - requests0;
        settles = controller ? controller->settleRuns() - settles0 : 0;
    }
    if (controller) controller->stop();
    state.counters["exchanges"] = exchanges;
    state.counters["browser_cpu_s"] = browserCpu;
    if (withAgent) {
        state.counters["agent_cpu_s"] = agentCpu;
        state.counters["dbus_requests"] = static_cast<double>(requests);
        state.counters["settles"] = settles;
    }
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
    }
    return 0;
}();

}  // namespace
}  // namespace velmar
