// Turn messages encoded and written to the core per second, for a short turn
// and a long one, through the whole bridge into a pipe that always has room;
// and the bytes one turn message costs on the wire.
#include "platform/sim/SimInstallLayout.hpp"
#include "platform/sim/SimLogSink.hpp"
#include "platform/sim/SimMainLoop.hpp"
#include "runtime/CaptureDiag.hpp"
#include "runtime/CoreBridgeSupport.hpp"
#include "runtime/NodeCoreProcess.hpp"

#include <benchmark/benchmark.h>

namespace velmar {
namespace {

// A child that takes every byte and keeps none.
struct DiscardingChild final : ChildProcess {
    std::size_t* total;
    explicit DiscardingChild(std::size_t* t) : total(t) {}
    std::size_t write(std::string_view bytes) override {
        *total += bytes.size();
        return bytes.size();
    }
    void closeInput() override {}
    void terminate() override {}
    void drainOutput() override {}
    bool exited() const override { return false; }
};

struct DiscardingLauncher final : ProcessLauncher {
    std::size_t total = 0;
    LaunchResult launch(const ProcessSpec&, ProcessCallbacks) override {
        return std::make_unique<DiscardingChild>(&total);
    }
};

TurnEvent realisticTurn(std::size_t promptChars, std::size_t replyChars) {
    TurnEvent e = testing::numberedTurn(12);
    e.prompt = std::string(promptChars, 'p') + "\n\"quoted\" ünïcode";
    e.response = std::string(replyChars, 'r');
    e.model = "Claude Sonnet";
    e.conversationKey = "3f2a9c1e-0d4b-4e7a-9b8c-1a2b3c4d5e6f";
    e.browser = "chrome";
    return e;
}

void BM_TurnMessageEncodeAndWrite(benchmark::State& state) {
    sim::SimMainLoop loop;
    DiscardingLauncher launcher;
    sim::SimLogSink log;
    CaptureDiag diag(loop.now());
    sim::SimInstallLayout layout;
    layout.setResource("core", "mjs", "");
    auto bridge = NodeCoreProcess::create(layout, std::nullopt, {}, "/nonexistent/state", {loop, launcher, log, diag});
    bridge->start();
    bridge->sendSession(std::nullopt);
    const TurnEvent turn = realisticTurn(static_cast<std::size_t>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    launcher.total = 0;
    for (auto _ : state) bridge->send(turn);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(launcher.total));
    state.counters["bytes_per_turn_message"] = static_cast<double>(turn.turnMessage().size());
}
// A one-line prompt with a paragraph of reply; a long prompt with a long reply.
BENCHMARK(BM_TurnMessageEncodeAndWrite)->Args({80, 600})->Args({4000, 16000});

}  // namespace
}  // namespace velmar
