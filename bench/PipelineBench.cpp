// The stabilizer and the assembler over a 2,000- and a 20,000-turn
// conversation replayed window by window, as live capture reads it: after each
// prompt, while its reply streams, once it is complete; and a scroll from the
// top to the bottom of the finished conversation. Reports snapshots per second
// (the same at both lengths when the work per snapshot does not grow with the
// conversation), and the heap the per-conversation state holds once the whole
// conversation has gone through.
#include "capture/ConversationRouter.hpp"
#include "capture/OrdinalStabilizer.hpp"
#include "capture/TurnAssembler.hpp"
#include "VirtualWindow.hpp"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <map>
#include <memory>

namespace velmar {
namespace {

using testing::VirtualConversation;

constexpr int kWindow = 6;

using Reads = std::vector<SegmenterSnapshot>;

// Built once per length: the reads themselves are not what is measured.
const Reads& cached(int turns, Reads (*build)(int)) {
    static std::map<std::pair<Reads (*)(int), int>, Reads> built;
    auto [it, fresh] = built.try_emplace({build, turns});
    if (fresh) it->second = build(turns);
    return it->second;
}

// Snapshots of the window following the newest turn while the conversation grows.
Reads buildLiveReads(int turns) {
    Reads out;
    VirtualConversation conv("bench");
    conv.addSettledPair();
    out.push_back(conv.bottom(kWindow));
    while (conv.size() < turns) {
        conv.sendPrompt();
        out.push_back(conv.bottom(kWindow));
        conv.streamReply(0.5);
        out.push_back(conv.bottom(kWindow));
        conv.finishReply();
        out.push_back(conv.bottom(kWindow));
    }
    return out;
}

// The finished conversation scrolled through from the top, one turn at a time.
Reads buildScrollReads(int turns) {
    VirtualConversation conv("bench");
    while (conv.size() < turns) conv.addSettledPair();
    Reads out;
    for (int first = 1; first + kWindow - 1 <= turns; ++first) out.push_back(conv.window(first, kWindow));
    return out;
}

const Reads& liveReads(int turns) { return cached(turns, buildLiveReads); }
const Reads& scrollReads(int turns) { return cached(turns, buildScrollReads); }

std::size_t heapInUse() { return mallinfo2().uordblks; }

void BM_Stabilizer(benchmark::State& state, const Reads& (*reads)(int)) {
    const auto& snapshots = reads(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        OrdinalStabilizer stabilizer(false);
        for (const auto& s : snapshots) benchmark::DoNotOptimize(stabilizer.stabilize(s));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(snapshots.size()));
}

void BM_StabilizerAndAssembler(benchmark::State& state, const Reads& (*reads)(int)) {
    const auto& snapshots = reads(static_cast<int>(state.range(0)));
    std::size_t events = 0;
    for (auto _ : state) {
        OrdinalStabilizer stabilizer(false);
        TurnAssembler assembler("chatgpt", [&](const TurnEvent&) { ++events; });
        TimePoint t{};
        for (const auto& s : snapshots) {
            auto r = stabilizer.stabilize(s);
            if (r.snapshot) assembler.process(*r.snapshot, t += std::chrono::seconds(1), false);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(snapshots.size()));
    state.counters["events"] = static_cast<double>(events) / static_cast<double>(state.iterations());
}

// What one conversation's stabilizer and assembler hold after the whole live
// sequence, measured as heap growth (the reads themselves are built beforehand).
void BM_ConversationMemory(benchmark::State& state) {
    const int turns = static_cast<int>(state.range(0));
    const auto& snapshots = liveReads(turns);
    std::size_t grown = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::size_t before = heapInUse();
        state.ResumeTiming();
        auto router = std::make_unique<ConversationRouter>([](const TurnEvent&) {});
        TimePoint t{};
        for (const auto& s : snapshots) router->route("bench", "chatgpt", s, t += std::chrono::seconds(1), false);
        state.PauseTiming();
        grown = heapInUse() - before;
        router.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(snapshots.size()));
    state.counters["bytes_per_conversation"] = static_cast<double>(grown);
    state.counters["bytes_per_turn"] = static_cast<double>(grown) / turns;
}

BENCHMARK_CAPTURE(BM_Stabilizer, live, liveReads)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Stabilizer, scroll, scrollReads)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StabilizerAndAssembler, live, liveReads)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StabilizerAndAssembler, scroll, scrollReads)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConversationMemory)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmar
