// Every parser on generated 3,000- and 30,000-node pages, recorded and
// simulated live. On a live desktop every read is a round trip to the chat
// application, so the live runs report round trips per visited node and the
// nodes visited; they also check that the live parse finds exactly what the
// recorded parse of the same page finds.
#include "Pages.hpp"

#include "ax/AXElement.hpp"
#include "ax/AXReadScope.hpp"
#include "parsing/ChatGPTDesktopSegmenter.hpp"
#include "parsing/ClaudeCodeTranscriptParser.hpp"
#include "parsing/ClaudeSegmenter.hpp"
#include "parsing/DeepSeekTranscriptParser.hpp"
#include "parsing/GeminiTranscriptParser.hpp"
#include "parsing/PerplexityTranscriptParser.hpp"
#include "parsing/WebSegmenter.hpp"
#include "parsing/WorkspaceGeminiTranscriptParser.hpp"

#include <benchmark/benchmark.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmar {
namespace {

using Snapshot = std::optional<SegmenterSnapshot>;
const std::optional<std::string> kKey = std::string("k");

// An application whose focused window is `window`, for the native segmenters.
AXElement applicationOf(const sim::SimElementPtr& window) {
    auto app = sim::SimElement::make("AXApplication", window->readLog());
    app->set("AXFocusedWindow", AXElementRef(window));
    return AXElement(app);
}

template <typename Parser>
std::function<Snapshot(const sim::SimElementPtr&)> web(const char* surface, Parser parser = Parser{}) {
    return [surface, parser](const sim::SimElementPtr& root) {
        return WebSegmenter<Parser>(surface, parser).snapshot(AXElement(root), kKey);
    };
}

struct Surface {
    const char* name;
    std::function<nlohmann::json(std::size_t)> page;
    // The live entry point the capture controllers use, on the simulated page.
    std::function<Snapshot(const sim::SimElementPtr&)> live;
    // The same parser on the recorded page.
    std::function<Snapshot(const AXNode&)> recorded;
};

const std::vector<Surface>& surfaces() {
    static const std::vector<Surface> all = {
        {"ChatGPT", [](std::size_t n) { return bench::chatgptPage(n, false); }, web("chatgpt", ChatGPTTranscriptParser::web()),
         [](const AXNode& root) { return ChatGPTTranscriptParser::web().snapshot(root, kKey); }},
        {"ChatGPTDesktop", [](std::size_t n) { return bench::chatgptPage(n, true); },
         [](const sim::SimElementPtr& window) { return ChatGPTDesktopSegmenter{}.snapshot(applicationOf(window)); },
         [](const AXNode& window) {
             return ChatGPTDesktopSegmenter::snapshot(window, ChatGPTTranscriptParser::desktop());
         }},
        {"Claude", [](std::size_t n) { return bench::claudePage(n, false); }, web<ClaudeTranscriptParser>("claude_ai"),
         [](const AXNode& root) { return ClaudeTranscriptParser{}.snapshot(root, kKey); }},
        {"ClaudeDesktop", [](std::size_t n) { return bench::claudePage(n, true); },
         [](const sim::SimElementPtr& window) { return ClaudeSegmenter{}.snapshot(applicationOf(window)); },
         [](const AXNode& window) { return ClaudeSegmenter{}.snapshotOfWindow(window); }},
        {"ClaudeCode", bench::claudeCodeWindow,
         // Recordings only: no capture controller reads this view, so the
         // benchmark opens the parse's read scope itself.
         [](const sim::SimElementPtr& window) {
             AXReadScope scope;
             return ClaudeCodeTranscriptParser{}.snapshot(scope.read(AXElement(window)), kKey);
         },
         [](const AXNode& window) { return ClaudeCodeTranscriptParser{}.snapshot(window, kKey); }},
        {"ClaudeDesign", bench::claudeDesignPage, web<ClaudeDesignTranscriptParser>("claude_design"),
         [](const AXNode& root) { return ClaudeDesignTranscriptParser{}.snapshot(root, kKey); }},
        {"Gemini", bench::geminiPage, web<GeminiTranscriptParser>("gemini"),
         [](const AXNode& root) { return GeminiTranscriptParser{}.snapshot(root, kKey); }},
        {"Perplexity", bench::perplexityPage, web<PerplexityTranscriptParser>("perplexity"),
         [](const AXNode& root) { return PerplexityTranscriptParser{}.snapshot(root, kKey); }},
        {"DeepSeek", bench::deepSeekPage, web<DeepSeekTranscriptParser>("deepseek"),
         [](const AXNode& root) { return DeepSeekTranscriptParser{}.snapshot(root, kKey); }},
        {"WorkspaceGeminiPanel", bench::workspacePanel,
         web<WorkspaceGeminiTranscriptParser>("gemini_docs"),
         [](const AXNode& panel) { return WorkspaceGeminiTranscriptParser{}.snapshot(panel, kKey); }},
    };
    return all;
}

void recordedRun(benchmark::State& state, const Surface& surface) {
    auto page = surface.page(static_cast<std::size_t>(state.range(0)));
    auto root = testing::fixtureTree(page);
    std::size_t turns = 0;
    for (auto _ : state) {
        auto snap = surface.recorded(*root);
        turns = snap ? snap->turns.size() : 0;
        benchmark::DoNotOptimize(snap);
    }
    state.counters["nodes"] = static_cast<double>(bench::countNodes(page));
    state.counters["turns"] = static_cast<double>(turns);
}

// `oneByOne`: the application answers one attribute per request, as AT-SPI does.
void liveRun(benchmark::State& state, const Surface& surface, bool oneByOne) {
    auto page = surface.page(static_cast<std::size_t>(state.range(0)));
    auto sim = testing::simTree(page);
    sim->answerOneByOne(oneByOne);
    auto log = sim->readLog();
    auto expected = surface.recorded(*testing::fixtureTree(page));
    if (!expected || expected->turns.empty()) {
        state.SkipWithError("the generated page has no transcript");
        return;
    }
    std::size_t roundTrips = 0, visited = 0, attributes = 0;
    for (auto _ : state) {
        log->reset();
        auto snap = surface.live(sim);
        roundTrips = log->total();
        visited = log->elementsRead();
        attributes = log->attributeReads();
        if (snap != expected) {
            state.SkipWithError("the live parse differs from the recorded one");
            return;
        }
        benchmark::DoNotOptimize(snap);
    }
    state.counters["nodes"] = static_cast<double>(bench::countNodes(page));
    state.counters["turns"] = static_cast<double>(expected->turns.size());
    state.counters["visited"] = static_cast<double>(visited);
    state.counters["round trips"] = static_cast<double>(roundTrips);
    state.counters["attributes read"] = static_cast<double>(attributes);
    state.counters["trips/visited"] = visited ? static_cast<double>(roundTrips) / static_cast<double>(visited) : 0;
}

const int registered = [] {
    for (const auto& surface : surfaces()) {
        benchmark::RegisterBenchmark((std::string("BM_Recorded/") + surface.name).c_str(),
                                     [&surface](benchmark::State& s) { recordedRun(s, surface); })
            ->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_Live/") + surface.name).c_str(),
                                     [&surface](benchmark::State& s) { liveRun(s, surface, false); })
            ->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_LiveOneByOne/") + surface.name).c_str(),
                                     [&surface](benchmark::State& s) { liveRun(s, surface, true); })
            ->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond);
    }
    return 0;
}();

}  // namespace
}  // namespace velmar
