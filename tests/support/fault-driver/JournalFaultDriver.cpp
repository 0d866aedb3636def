// The agent's delivery path without a desktop, for the fault soak: captures
// the turns 1..N of one conversation at random moments (bursts of 1-10, a
// pause of 0-5 ms, now and then 50-300 ms), through the real bridge, journal
// and local core, and remembers the last exchange handed over, as the agent
// does. Killed and started again at any moment, it goes on after the last
// remembered turn. Exits 0 once every turn is confirmed stored.
//
//   velmar-journal-fault-driver STATE_DIR DATA_DIR CORE_SCRIPT COUNT SEED

#include "capture/LastExchangeStore.hpp"
#include "platform/LogSink.hpp"
#include "platform/linux/system/GLibMainLoop.hpp"
#include "platform/linux/system/LinuxProcessLauncher.hpp"
#include "platform/sim/SimInstallLayout.hpp"
#include "capture/CaptureDiag.hpp"
#include "runtime/NodeCoreProcess.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>

using namespace velmar;
using namespace std::chrono_literals;

namespace {

struct StderrLog final : LogSink {
    void writeLine(std::string_view line) override { std::cerr << line << '\n'; }
};

TurnEvent turnNumber(int i) {
    TurnEvent e;
    e.surface = "claude";
    e.conversationKey = "soak";
    e.prompt = "prompt " + std::to_string(i) + " " + std::string(static_cast<std::size_t>(i % 7) * 40, 'p');
    e.response = "reply " + std::to_string(i) + " ünïcode";
    e.turnIndex = i;
    e.turnTotal = i;
    e.captureTier = 2;
    e.verdict = "ok";
    return e;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::cerr << "usage: velmar-journal-fault-driver STATE_DIR DATA_DIR CORE_SCRIPT COUNT SEED\n";
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const std::filesystem::path stateDir = argv[1];
    const int count = std::atoi(argv[4]);
    std::mt19937 random(static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)));

    linux_backend::GLibMainLoop loop;
    linux_backend::LinuxProcessLauncher launcher;
    StderrLog log;
    CaptureDiag diag(loop.now());
    sim::SimInstallLayout layout;
    std::map<std::string, std::string> env{{"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
                                           {"HOME", argv[2]},
                                           {"XDG_DATA_HOME", argv[2]}};
    auto bridge = NodeCoreProcess::create(layout, std::filesystem::path(argv[3]), env, stateDir, {loop, launcher, log, diag});
    if (!bridge) {
        std::cerr << "no core script at " << argv[3] << "\n";
        return 2;
    }
    bridge->onMessage = [raw = bridge.get()](const nlohmann::json& m) {
        if (m.value("type", "") == "ready") raw->sendSession(std::nullopt);
    };
    LastExchangeStore last(stateDir);
    int next = last.find("claude", "soak").value_or(LastExchangeStore::Exchange{}).ordinal + 1;
    bridge->start();

    bool savePosted = false;
    std::function<void()> produce = [&] {
        const int burst = std::uniform_int_distribution<int>(1, 10)(random);
        for (int k = 0; k < burst && next <= count; ++k, ++next) {
            bridge->send(turnNumber(next));
            last.remember("claude", "soak", {next, std::to_string(next)});
        }
        if (!savePosted) {
            // After the bridge's own sync of the journal, posted before this.
            savePosted = true;
            loop.post([&] {
                savePosted = false;
                last.save();
            });
        }
    };
    ScopedTimer producer;
    std::function<void()> schedule = [&] {
        if (next > count) return;
        // Mostly bursts close together, now and then a pause as between prompts.
        const int pause = std::uniform_int_distribution<int>(0, 9)(random) < 7
                              ? std::uniform_int_distribution<int>(0, 5)(random)
                              : std::uniform_int_distribution<int>(50, 300)(random);
        producer = loop.postDelayed(Duration(pause * 1ms), [&] {
            produce();
            schedule();
        });
    };
    schedule();
    ScopedTimer done = loop.repeating(20ms, 0ms, [&] {
        if (next > count && bridge->queuedTurnCount() == 0 && !last.dirty()) loop.quit();
    });
    loop.run();
    bool finished = false;
    bridge->shutdown([&] {
        finished = true;
        loop.quit();
    });
    if (!finished) loop.run();
    return 0;
}
