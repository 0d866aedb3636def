// Recording a large simulated window: every node written through the scrubber,
// children cut below depth 60, the whole walk on the shared node budget.
#include "ax/AXElement.hpp"
#include "platform/sim/SimElement.hpp"
#include "tools/AXDump.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

namespace velmar {
namespace {

using sim::SimElement;
using sim::SimElementPtr;

constexpr int kSpineDepth = 70;      // deeper than the cut, so the cut is exercised
constexpr int kTranscriptDepth = 20;  // where the conversation hangs off the spine
constexpr int kNodesPerTurn = 10;

// A window of exactly `total` nodes: a spine of nested groups 70 deep, with a
// conversation of mixed-script turns hanging off it at depth 20.
SimElementPtr window(int total) {
    const std::string paragraphs[] = {
        "Could you summarise the quarterly report for the board meeting on 14 March? Keep it under 300 words.",
        "Конечно! Вот краткое изложение отчёта за квартал: выручка выросла на 12%, расходы снизились.",
        "Ich brauche eine Übersicht über die wichtigsten Kennzahlen und Risiken für 2025.",
        "当然可以，这里是季度报告的摘要：收入增长了百分之十二。",
        "Ok 👍 — next steps: 1) review, 2) sign-off, 3) publish.",
    };
    auto root = SimElement::make("AXWindow");
    root->setString("AXTitle", "Quarterly report — Chat");
    int nodes = 1;
    SimElementPtr spine = root, transcript;
    for (int depth = 1; depth <= kSpineDepth; ++depth) {
        spine = spine->append("AXGroup");
        spine->set("AXDOMClassList", std::vector<std::string>{"flex", "flex-col", "depth-" + std::to_string(depth)});
        ++nodes;
        if (depth == kTranscriptDepth) transcript = spine;
    }
    transcript->setString("AXDescription", "Chat messages");
    for (int turn = 0; nodes + kNodesPerTurn <= total; ++turn) {
        auto group = transcript->append("AXGroup");
        group->setString("AXDescription", "Message " + std::to_string(turn + 1) + " of 9999");
        auto heading = group->append("AXHeading");
        heading->setString("AXTitle", turn % 2 ? "Claude responded:" : "You said:");
        heading->append("AXStaticText")->setString("AXValue", turn % 2 ? "Claude responded:" : "You said:");
        for (int p = 0; p < 5; ++p) {
            group->append("AXStaticText")->setString("AXValue", paragraphs[(turn + p) % 5]);
        }
        group->append("AXButton")->setString("AXDescription", "Copy");
        group->append("AXButton")->setString("AXDescription", "Retry");
        nodes += kNodesPerTurn;
    }
    while (nodes < total) {
        transcript->append("AXStaticText")->setString("AXValue", "Thought for 12 seconds");
        ++nodes;
    }
    // The read log is a test aid; the benchmark measures the writer, not the bookkeeping.
    root->adoptLog(nullptr);
    return root;
}

struct Written {
    int nodes = 0;
    int deepest = 0;
};

void count(const jsondecode::Json& node, int depth, Written& w) {
    ++w.nodes;
    w.deepest = std::max(w.deepest, depth);
    if (auto it = node.find("children"); it != node.end()) {
        for (const auto& c : *it) count(c, depth + 1, w);
    }
}

void report(benchmark::State& state, const jsondecode::Json& tree, int budgetLeft) {
    Written w;
    count(tree, 0, w);
    state.counters["nodes_in_tree"] = static_cast<double>(state.range(0));
    state.counters["nodes_written"] = w.nodes;
    state.counters["deepest_written"] = w.deepest;
    state.counters["budget_left"] = budgetLeft;
}

void BM_WriteSimulatedTree(benchmark::State& state) {
    auto root = window(static_cast<int>(state.range(0)));
    AXElement scope(root);
    jsondecode::Json tree;
    int budget = 0;
    for (auto _ : state) {
        budget = AXDump::nodeBudget;
        tree = AXDump::serializeNode(scope, true, 0, budget);
        benchmark::DoNotOptimize(tree);
    }
    report(state, tree, budget);
}

void BM_WriteAndPrintDocument(benchmark::State& state) {
    auto root = window(static_cast<int>(state.range(0)));
    AXElement scope(root);
    std::size_t bytes = 0;
    for (auto _ : state) {
        int budget = AXDump::nodeBudget;
        jsondecode::Json doc;
        doc["tree"] = AXDump::serializeNode(scope, true, 0, budget);
        auto text = AXDump::prettyJSON(doc);
        bytes = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_WriteSimulatedTree)->Arg(30000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteAndPrintDocument)->Arg(30000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmar
