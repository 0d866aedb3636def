#include "runtime/NodeCoreProcess.hpp"

#include "platform/sim/SimInstallLayout.hpp"
#include "platform/sim/SimLogSink.hpp"
#include "platform/sim/SimMainLoop.hpp"
#include "platform/sim/SimProcessLauncher.hpp"
#include "capture/CaptureDiag.hpp"
#include "runtime/CoreBridgeSupport.hpp"
#include "runtime/CoreContract.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <numeric>

using namespace std::chrono_literals;
using nlohmann::json;

namespace velmar {
namespace {

using testing::numberedTurn;
namespace fs = std::filesystem;

std::vector<int> turnIndexes(const std::vector<std::string>& lines) {
    std::vector<int> out;
    for (const auto& l : lines) {
        auto m = json::parse(l);
        if (m["type"] == "turn") out.push_back(m["turn_index"].get<int>());
    }
    return out;
}

class NodeCoreProcessTest : public ::testing::Test {
protected:
    NodeCoreProcessTest() { layout.setResource("core", "mjs", ""); }

    std::shared_ptr<NodeCoreProcess> makeBridge() {
        auto bridge = NodeCoreProcess::create(layout, std::nullopt, {{"PATH", "/usr/bin"}}, stateDir,
                                              {loop, launcher, log, diag});
        bridge->onMessage = [this](const json& m) { messages.push_back(m); };
        return bridge;
    }
    // Starts a bridge whose core says "ready" and gets its session.
    std::shared_ptr<NodeCoreProcess> startedBridge() {
        auto bridge = makeBridge();
        bridge->start();
        bridge->sendSession(std::nullopt);
        return bridge;
    }

    sim::SimMainLoop loop;
    sim::SimProcessLauncher launcher{loop};
    sim::SimLogSink log;
    CaptureDiag diag{loop.now()};
    sim::SimInstallLayout layout;
    testing::TempDir stateFolder;
    fs::path stateDir = stateFolder.path();
    std::vector<json> messages;
};

TEST_F(NodeCoreProcessTest, LocatesTheScriptAndTheRuntime) {
    const fs::path override = stateDir / "dev-core.mjs";
    std::ofstream(override) << "// dev\n";
    const std::string installed = "/opt/velmar/share/velmar/core.mjs";
    struct Case {
        const char* what;
        bool script, node;
        std::optional<fs::path> override;
        bool created;
        std::string executable;
        std::vector<std::string> arguments;
    } cases[] = {
        {"installed script, node through env", true, false, {}, true, "/usr/bin/env", {"node", installed}},
        {"bundled runtime", true, true, {}, true, "/opt/velmar/libexec/velmar/node", {installed}},
        {"no script anywhere", false, false, {}, false, "", {}},
        {"a development script wins over the installed one", true, false, override, true, "/usr/bin/env",
         {"node", override.string()}},
        {"a development script that does not exist fails", true, false, stateDir / "missing.mjs", false, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimInstallLayout l;
        if (c.script) l.setResource("core", "mjs", "");
        if (c.node) l.addAuxiliaryExecutable("node");
        auto bridge = NodeCoreProcess::create(l, c.override, {{"HOME", "/h"}}, stateDir, {loop, launcher, log, diag});
        ASSERT_EQ(bridge != nullptr, c.created);
        if (!bridge) continue;
        EXPECT_EQ(bridge->launchSpec().executable, c.executable);
        EXPECT_EQ(bridge->launchSpec().arguments, c.arguments);
        EXPECT_EQ(bridge->launchSpec().environment, (std::map<std::string, std::string>{{"HOME", "/h"}}));
    }
    EXPECT_EQ(launcher.launchCount(), 0u) << "creating starts nothing";
}

TEST_F(NodeCoreProcessTest, SplitsOutputIntoLinesAndPassesOnlyObjects) {
    struct Case {
        const char* what;
        std::vector<std::string> chunks;
        std::vector<std::size_t> deliveredAfterEachChunk;
    } cases[] = {
        {"an object in two reads arrives once", {"{\"type\":\"re", "ady\"}", "\n"}, {0, 0, 1}},
        {"two and a half messages in one read", {"{\"type\":\"a\"}\n{\"type\":\"b\"}\n{\"type\":", "\"c\"}\n"}, {2, 3}},
        {"blank lines, arrays, scalars and malformed lines are dropped",
         {"\n\n[1,2]\n\"s\"\n42\nnot json\n{\"type\":\"x\"}\n"},
         {1}},
        {"a carriage return is part of the line, and JSON white space", {"{\"type\":\"r\"}\r\n"}, {1}},
        {"a line over the bound is dropped, and reading goes on",
         {"{\"type\":\"before\"}\n{\"pad\":\"", std::string(17 << 20, 'x'), "\"}\n{\"type\":\"after\"}\n"},
         {1, 1, 2}},
        {"split inside a multi-byte character", {"{\"type\":\"gr\xC3", "\xBC\xC3\x9F\"}\n"}, {0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        auto bridge = startedBridge();
        for (std::size_t i = 0; i < c.chunks.size(); ++i) {
            launcher.latest()->emit(c.chunks[i]);
            loop.runUntilIdle();
            EXPECT_EQ(messages.size(), c.deliveredAfterEachChunk[i]) << "after chunk " << i;
        }
    }
    EXPECT_EQ(messages.back()["type"], "grüß");
    EXPECT_EQ(log.countContaining("dropped a line of core output longer than 16 MiB"), 1u) << "said once";
}

TEST_F(NodeCoreProcessTest, ACoreThatExitsAtOnceIsRelaunchedEveryTwoSeconds) {
    launcher.onLaunch = [](sim::SimProcess& p) { p.exit(1); };
    auto bridge = startedBridge();
    std::vector<std::size_t> launchesPerSecond;
    for (int s = 0; s < 7; ++s) {
        loop.advance(1s);
        launchesPerSecond.push_back(launcher.launchCount());
    }
    EXPECT_EQ(launchesPerSecond, (std::vector<std::size_t>{1, 2, 2, 3, 3, 4, 4}));

    launcher.launchError = "No such file or directory";
    loop.advance(4s);
    EXPECT_EQ(launcher.launchCount(), 6u) << "a failed launch is retried on the same clock";
}

// Completes once: at the core's exit (its last lines first), SIGTERM at 5 s or
// SIGKILL at 7 s; at once without a core.
TEST_F(NodeCoreProcessTest, ShutdownEndsTheCoreWithinSevenSeconds) {
    const auto answers = [](sim::SimProcess& p) {
        p.onLine = [](sim::SimProcess& self, const std::string& line) {
            if (json::parse(line)["type"] != "shutdown") return;
            self.emit("{\"type\":\"log\",\"message\":\"bye\"}\n{\"type\":\"la");
            self.emit("st\"}\n");
            self.exit(0);
        };
    };
    struct Case {
        const char* what;
        std::function<void(sim::SimProcess&)> onLaunch;
        Duration completesAfter;
        int terminateSignals, killSignals;
        std::vector<std::string> seenAtCompletion;
    } cases[] = {
        {"the core exits with its last output first", answers, 0ms, 0, 0, {"log", "last"}},
        {"ignores shutdown, dies on the signal", [](sim::SimProcess& p) { p.exitOnTerminate = true; }, 5000ms, 1, 0, {}},
        {"ignores the signal too", [](sim::SimProcess& p) { p.exitOnTerminate = false; }, 7000ms, 1, 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        launcher.onLaunch = c.onLaunch;
        auto bridge = startedBridge();
        auto* core = launcher.latest();
        const auto launches = launcher.launchCount();
        const TimePoint start = loop.now();
        std::vector<TimePoint> completions;
        std::vector<std::string> seen;
        bridge->shutdown([&] {
            completions.push_back(loop.now());
            for (const auto& m : messages) seen.push_back(m["type"]);
        });
        loop.advance(4999ms);
        EXPECT_EQ(core->terminateSignals(), 0);
        loop.advance(1ms);
        EXPECT_EQ(core->terminateSignals(), c.terminateSignals);
        loop.advance(60s);
        ASSERT_EQ(completions.size(), 1u);
        EXPECT_EQ(completions[0] - start, c.completesAfter);
        EXPECT_EQ(seen, c.seenAtCompletion);
        EXPECT_EQ(core->killSignals(), c.killSignals) << "never left behind";
        EXPECT_TRUE(core->hasExited());
        EXPECT_EQ(launcher.launchCount(), launches) << "no restart while shutting down";
    }

    auto idle = makeBridge();
    int completions = 0;
    idle->shutdown([&] { ++completions; });
    EXPECT_EQ(completions, 1) << "without a core at once";
    const auto launches = launcher.launchCount();
    idle->start();
    EXPECT_EQ(launcher.launchCount(), launches) << "nothing starts after shutdown";
}

// A simulated core answering every turn line with `status(index)`, by id unless `withIds` is false.
void answeringCore(sim::SimProcessLauncher& launcher, std::function<std::string(int)> status, bool withIds = true) {
    launcher.onLaunch = [status, withIds](sim::SimProcess& p) {
        p.onLine = [status, withIds](sim::SimProcess& self, const std::string& line) {
            auto m = json::parse(line);
            if (m["type"] != "turn") return;
            json answer{{"type", "event_result"}, {"status", status(m["turn_index"].get<int>())}};
            if (withIds) answer["turn_id"] = m["turn_id"];
            self.emit(answer.dump() + "\n");
        };
    };
}

// Turns are journaled before any core sees them, wait for the session, and
// leave the journal only when confirmed; every unconfirmed one goes again, in
// order, to the next core after a death, however it died.
TEST_F(NodeCoreProcessTest, UnconfirmedTurnsGoAgainInOrderToTheNextCore) {
    auto bridge = makeBridge();
    bridge->send(json{{"type", "beacon"}});  // no core: dropped
    bridge->send(numberedTurn(1));  // no core yet: journaled
    bridge->start();
    bridge->send(numberedTurn(2));  // core up, no "ready" answered yet
    loop.runUntilIdle();
    EXPECT_EQ(bridge->queuedTurnCount(), 2u);
    bridge->send(json{{"type", "agent_status"}});
    bridge->sendSession(json{{"token", "t"}});
    bridge->send(numberedTurn(3));
    EXPECT_EQ(turnIndexes(launcher.latest()->receivedLines()), (std::vector<int>{1, 2})) << "turn 3 waits for its sync";
    loop.runUntilIdle();
    auto* first = launcher.latest();
    EXPECT_EQ(json::parse(first->receivedLines()[0])["type"], "agent_status");
    EXPECT_EQ(json::parse(first->receivedLines()[1])["type"], "session") << "the session goes before held turns";
    EXPECT_EQ(turnIndexes(first->receivedLines()), (std::vector<int>{1, 2, 3}));

    // Turn 2 confirmed; turn 4 cut off in the pipe; the core dies.
    const json confirm2{{"type", "event_result"}, {"status", "stored"},
                        {"turn_id", core_contract::toJSON(numberedTurn(2))["turn_id"]}};
    first->emit(confirm2.dump() + "\n");
    loop.runUntilIdle();
    first->setReading(false);
    first->pipeCapacity = 40;
    bridge->send(numberedTurn(4));
    loop.runUntilIdle();
    first->exit(137);
    loop.runUntilIdle();
    for (int i = 5; i <= 7; ++i) bridge->send(numberedTurn(i));
    loop.runUntilIdle();
    EXPECT_EQ(bridge->queuedTurnCount(), 6u);
    loop.advance(2s);
    auto* second = launcher.latest();
    ASSERT_NE(second, first);
    EXPECT_TRUE(second->receivedLines().empty()) << "nothing before the new core's ready is answered";
    bridge->sendSession(std::nullopt);
    EXPECT_EQ(turnIndexes(second->receivedLines()), (std::vector<int>{1, 3, 4, 5, 6, 7}));

    // The agent dies too: a new bridge over the same folder sends them all
    // again (turn 2, confirmed but not yet compacted away, too: the core knows its id).
    bridge.reset();
    auto restarted = startedBridge();
    EXPECT_EQ(turnIndexes(launcher.latest()->receivedLines()), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
}

// A full disk on the core's side: failed turns go again after 2, 4, 8 … up to 60 s.
TEST_F(NodeCoreProcessTest, FailedStoresAreRetriedWithBackOffUntilTheyAreStored) {
    bool full = true;
    answeringCore(launcher, [&](int) { return full ? "failed" : "stored"; });
    auto bridge = startedBridge();
    auto* core = launcher.latest();
    for (int i = 1; i <= 3; ++i) bridge->send(numberedTurn(i));
    loop.runUntilIdle();
    std::vector<std::size_t> sentAt;  // turn lines the core has seen, second by second
    for (int s = 1; s <= 130; ++s) {
        loop.advance(1s);
        sentAt.push_back(turnIndexes(core->receivedLines()).size());
    }
    const std::vector<int> expectedRetrySeconds = {2, 6, 14, 30, 62, 122};
    for (std::size_t k = 0; k < expectedRetrySeconds.size(); ++k) {
        const int sec = expectedRetrySeconds[k];
        EXPECT_EQ(sentAt[sec - 2], 3 * (k + 1)) << "before the retry at " << sec << " s";
        EXPECT_EQ(sentAt[sec - 1], 3 * (k + 2)) << "at " << sec << " s";
    }
    EXPECT_TRUE(bridge->storageFull());
    EXPECT_EQ(bridge->queuedTurnCount(), 3u);
    bridge->send(numberedTurn(4));
    loop.runUntilIdle();
    EXPECT_EQ(turnIndexes(core->receivedLines()).size(), 21u) << "new turns wait for the retry too";
    full = false;
    loop.advance(60s);
    EXPECT_FALSE(bridge->storageFull());
    EXPECT_EQ(bridge->queuedTurnCount(), 0u);
    EXPECT_EQ(log.countContaining("could not store"), 1u) << "said once";
}

// A core that stops reading while 10,000 turns are captured: the loop keeps
// its timers, memory stays within the bounds, and when it reads again every
// turn arrives once, in order. This core answers without ids, in order, with
// a status other than "failed": each answer still confirms one turn.
TEST_F(NodeCoreProcessTest, ACoreThatStopsReadingCostsBoundedMemoryAndLosesNothing) {
    answeringCore(launcher, [](int) { return "queued"; }, /*withIds=*/false);
    auto bridge = startedBridge();
    auto* core = launcher.latest();
    core->setReading(false);
    int ticks = 0;
    ScopedTimer ticker = loop.repeating(100ms, 0ms, [&] { ++ticks; });
    std::size_t maxOutgoing = 0;
    for (int i = 1; i <= 10000; ++i) {
        bridge->send(numberedTurn(i, 2000));  // about 2.3 KB a line
        maxOutgoing = std::max(maxOutgoing, bridge->outgoingBytes());
        if (i % 100 == 0) loop.advance(600ms);
    }
    EXPECT_EQ(ticks, 600) << "a minute of virtual time, every tick on time";
    EXPECT_LE(maxOutgoing, NodeCoreProcess::maxOutgoingBytes);
    EXPECT_LE(core->bytesInPipe(), core->pipeCapacity);
    EXPECT_EQ(bridge->queuedTurnCount(), 10000u) << "held in the journal, a thousand of them in memory";

    core->setReading(true);
    loop.runUntilIdle();
    std::vector<int> all(10000);
    std::iota(all.begin(), all.end(), 1);
    EXPECT_EQ(turnIndexes(core->receivedLines()), all);
    EXPECT_EQ(bridge->queuedTurnCount(), 0u);
}

}  // namespace
}  // namespace velmar
