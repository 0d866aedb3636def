// Turns per second through the whole delivery path on this machine: encoded,
// appended to the journal and synced, written to the real local core (Node),
// stored and synced there, confirmed by id and taken out of the journal.
//   /0: one turn at a time, each waiting for its confirmation (the latency
//       of one turn: both syncs and the round trip, nothing shared);
//   /1: 200 turns captured one per loop pass, each with its own journal
//       sync, without waiting for the core (it syncs what one read brings);
//   /2: bursts of 20 turns sharing one journal sync.
#include "platform/linux/system/GLibMainLoop.hpp"
#include "platform/linux/system/LinuxProcessLauncher.hpp"
#include "platform/sim/SimInstallLayout.hpp"
#include "platform/sim/SimLogSink.hpp"
#include "capture/CaptureDiag.hpp"
#include "runtime/CoreBridgeSupport.hpp"
#include "runtime/CoreContract.hpp"
#include "runtime/NodeCoreProcess.hpp"

#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace std::chrono_literals;

namespace velmar {
namespace {

TurnEvent realisticTurn(int index) {
    TurnEvent e = testing::numberedTurn(index);
    e.prompt = std::string(80, 'p') + "\n\"quoted\" ünïcode";
    e.response = std::string(600, 'r');
    e.model = "Claude Sonnet";
    e.conversationKey = "3f2a9c1e-0d4b-4e7a-9b8c-1a2b3c4d5e6f";
    e.browser = "chrome";
    return e;
}

void BM_TurnsThroughJournalAndLocalCore(benchmark::State& state) {
    const auto home = testing::freshTempDir("bench-delivery");
    linux_backend::GLibMainLoop loop;
    linux_backend::LinuxProcessLauncher launcher;
    sim::SimLogSink log;
    CaptureDiag diag(loop.now());
    sim::SimInstallLayout layout;
    std::map<std::string, std::string> env{{"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
                                           {"HOME", home.string()},
                                           {"XDG_DATA_HOME", (home / "data").string()}};
    auto bridge = NodeCoreProcess::create(layout, std::filesystem::path(VELMAR_CORE_SCRIPT), env, home / "state",
                                          {loop, launcher, log, diag});
    bool ready = false;
    bool awaitingAll = false;
    // The loop stops as soon as the awaited answer arrives: no polling.
    bridge->onMessage = [&](const nlohmann::json& m) {
        const auto type = m.value("type", "");
        if (type == "ready") {
            bridge->sendSession(std::nullopt);
            ready = true;
            loop.quit();
        } else if (type == "event_result" && awaitingAll && bridge->queuedTurnCount() == 0) {
            loop.quit();
        }
    };
    bridge->start();
    loop.run();
    if (!ready) {
        state.SkipWithError("the local core did not start");
        return;
    }
    const auto mode = state.range(0);
    const int perIteration = mode == 0 ? 1 : mode == 1 ? 200 : 20;
    int next = 1;
    for (auto _ : state) {
        for (int i = 0; i < perIteration; ++i) {
            bridge->send(realisticTurn(next++));
            if (mode == 1) {
                // This pass ends: the journal syncs this turn alone and hands it over.
                loop.post([&] { loop.quit(); });
                loop.run();
            }
        }
        awaitingAll = true;
        if (bridge->queuedTurnCount() > 0) loop.run();
        awaitingAll = false;
    }
    state.SetItemsProcessed(state.iterations() * perIteration);
    state.counters["turns_per_second"] = benchmark::Counter(static_cast<double>(state.iterations() * perIteration),
                                                            benchmark::Counter::kIsRate);
    state.counters["bytes_per_turn_message"] = static_cast<double>(core_contract::toLine(core_contract::toJSON(realisticTurn(12))).size());
    bool finished = false;
    bridge->shutdown([&] {
        finished = true;
        loop.quit();
    });
    if (!finished) loop.run();
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_TurnsThroughJournalAndLocalCore)->Arg(0)->Arg(1)->Arg(2)->UseRealTime()->MinTime(2.0);

}  // namespace
}  // namespace velmar
