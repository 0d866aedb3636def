// The Docs panel's editor check on a generated 30,000-node page, recorded and
// simulated live: once on the panel (accepted) and once on the page body.
// The body's only editor class sits on its last line, so only the node cap
// stops the walk from reading the whole document.
#include "Pages.hpp"

#include "ax/AXElement.hpp"
#include "parsing/WorkspaceGeminiPanel.hpp"

#include <benchmark/benchmark.h>

namespace velmar {
namespace {

using bench::group;
using bench::N;
using bench::text;

constexpr std::size_t kPageNodes = 30000;

nlohmann::json docsPage() {
    N editor = group({"doc-body"});
    const int lines = (kPageNodes - 1200) / 10;
    for (int i = 0; i < lines; ++i) {
        N line = i + 1 == lines ? group({"kix-lineview"}) : group({"doc-line"});
        for (int w = 0; w < 9; ++w) line.kid(text("xxxx"));
        editor.kid(line);
    }
    N feed = group({"appsElementsSidekickFeedEntries"});
    for (int i = 0; i < 100; ++i) {
        feed.kid(group({i % 2 ? "appsElementsSidekickAgentMessageRoot" : "appsElementsSidekickUserMessageRoot"})
                     .kids({group().kids({text("Xxxx"), text("xxxx"), text("xxxx")}), N("AXButton").description("Copy")}));
    }
    N panel = std::move(group({"appsElementsSidekickRoot"}).subrole("AXLandmarkComplementary").kids({feed}));
    return N("AXWebArea").kids({group().kids({group().kids({editor}), panel})}).json();
}

// state.range(0): 0 checks the panel, 1 the page body that holds the editor.
AXNodePtr editorCheckTarget(const AXNodePtr& page, bool body) {
    auto panel = WorkspaceGeminiPanel::locate(page);
    if (!body) return panel;
    return page->children().front();
}

void BM_EditorCheckRecorded(benchmark::State& state) {
    auto page = docsPage();
    AXNodePtr root = testing::fixtureTree(page);
    auto target = editorCheckTarget(root, state.range(0) == 1);
    bool disjoint = false;
    for (auto _ : state) {
        disjoint = WorkspaceGeminiPanel::isDisjointFromEditor(target, 4000);
        benchmark::DoNotOptimize(disjoint);
    }
    state.counters["page nodes"] = static_cast<double>(bench::countNodes(page));
    state.counters["disjoint"] = disjoint ? 1 : 0;
}

void BM_EditorCheckLive(benchmark::State& state) {
    auto page = docsPage();
    auto sim = testing::simTree(page);
    auto target = editorCheckTarget(std::make_shared<AXElement>(sim), state.range(0) == 1);
    auto log = sim->readLog();
    std::size_t reads = 0, visited = 0;
    bool disjoint = false;
    for (auto _ : state) {
        log->reset();
        disjoint = WorkspaceGeminiPanel::isDisjointFromEditor(target, 4000);
        benchmark::DoNotOptimize(disjoint);
        reads = log->total();
        visited = log->elementsRead();
    }
    state.counters["page nodes"] = static_cast<double>(bench::countNodes(page));
    state.counters["disjoint"] = disjoint ? 1 : 0;
    state.counters["reads/check"] = static_cast<double>(reads);
    state.counters["nodes visited"] = static_cast<double>(visited);
}

BENCHMARK(BM_EditorCheckRecorded)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EditorCheckLive)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velmar
