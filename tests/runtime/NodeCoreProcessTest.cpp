#include "runtime/NodeCoreProcess.hpp"

#include "platform/sim/SimInstallLayout.hpp"
#include "platform/sim/SimLogSink.hpp"
#include "platform/sim/SimMainLoop.hpp"
#include "platform/sim/SimProcessLauncher.hpp"
#include "runtime/CaptureDiag.hpp"
#include "runtime/CoreBridgeSupport.hpp"

#include <gtest/gtest.h>

#include <fstream>

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

std::vector<int> range(int from, int to) {
    std::vector<int> v;
    for (int i = from; i <= to; ++i) v.push_back(i);
    return v;
}

class NodeCoreProcessTest : public ::testing::Test {
protected:
    NodeCoreProcessTest() {
        layout.setResource("core", "mjs", "");
        stateDir = testing::freshTempDir("bridge-state");
    }

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
    std::vector<std::string> types() const {
        std::vector<std::string> t;
        for (const auto& m : messages) t.push_back(m.value("type", "?"));
        return t;
    }

    sim::SimMainLoop loop;
    sim::SimProcessLauncher launcher{loop};
    sim::SimLogSink log;
    CaptureDiag diag{loop.now()};
    sim::SimInstallLayout layout;
    fs::path stateDir;
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
        {"installed script, no bundled runtime: found through env", true, false, {}, true, "/usr/bin/env",
         {"node", installed}},
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
        {"an object in two reads arrives once, with its line feed",
         {"{\"type\":\"re", "ady\"}", "\n"},
         {0, 0, 1}},
        {"two and a half messages in one read", {"{\"type\":\"a\"}\n{\"type\":\"b\"}\n{\"type\":", "\"c\"}\n"}, {2, 3}},
        {"blank lines, arrays, scalars and malformed lines are dropped",
         {"\n\n[1,2]\n\"s\"\n42\nnot json\n{\"type\":\"x\"}\n"},
         {1}},
        {"a carriage return is part of the line, and JSON allows it as white space",
         {"{\"type\":\"r\"}\r\n"},
         {1}},
        {"split inside a multi-byte character", {"{\"type\":\"gr\xC3", "\xBC\xC3\x9F\"}\n"}, {0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        auto bridge = makeBridge();
        bridge->start();
        for (std::size_t i = 0; i < c.chunks.size(); ++i) {
            launcher.latest()->emit(c.chunks[i]);
            loop.runUntilIdle();
            EXPECT_EQ(messages.size(), c.deliveredAfterEachChunk[i]) << "after chunk " << i;
        }
    }
    EXPECT_EQ(messages.back()["type"], "grüß");
}

TEST_F(NodeCoreProcessTest, DropsALineLongerThanTheBoundWithOneLogLineAndKeepsReading) {
    auto bridge = makeBridge();
    bridge->start();
    auto* core = launcher.latest();
    core->emit("{\"type\":\"before\"}\n{\"pad\":\"");
    const std::string mib(1024 * 1024, 'x');
    for (int i = 0; i < 17; ++i) core->emit(mib);
    core->emit("\"}\n{\"type\":\"after\"}\n");
    loop.runUntilIdle();
    EXPECT_EQ(types(), (std::vector<std::string>{"before", "after"}));
    EXPECT_EQ(std::count(log.lines().begin(), log.lines().end(), std::string("[agent] dropped a line of core output longer than 16 MiB")), 1);
}

TEST_F(NodeCoreProcessTest, ACoreThatExitsAtOnceIsRelaunchedEveryTwoSeconds) {
    launcher.onLaunch = [](sim::SimProcess& p) { p.exit(1); };
    auto bridge = makeBridge();
    bridge->start();
    std::vector<std::size_t> launchesPerSecond;
    for (int s = 0; s < 7; ++s) {
        loop.advance(1s);
        launchesPerSecond.push_back(launcher.launchCount());
    }
    EXPECT_EQ(launchesPerSecond, (std::vector<std::size_t>{1, 2, 2, 3, 3, 4, 4}));
    EXPECT_EQ(std::count(log.lines().begin(), log.lines().end(), std::string("[agent] node core exited — restarting in 2s")), 4);

    launcher.launchError = "No such file or directory";
    loop.advance(2s);
    EXPECT_EQ(log.lines().back(), "[agent] failed to start node core: No such file or directory");
    loop.advance(2s);
    EXPECT_EQ(launcher.launchCount(), 6u) << "a failed launch is retried on the same clock";
}

TEST_F(NodeCoreProcessTest, ShutdownCompletesOnceWhenTheCoreExitsWithItsLastOutputFirst) {
    launcher.onLaunch = [](sim::SimProcess& p) {
        p.onLine = [](sim::SimProcess& self, const std::string& line) {
            if (json::parse(line)["type"] == "shutdown") {
                self.emit("{\"type\":\"log\",\"message\":\"bye\"}\n{\"type\":\"la");
                self.emit("st\"}\n");
                self.exit(0);
            }
        };
    };
    auto bridge = startedBridge();
    int completions = 0;
    std::vector<std::string> seenAtCompletion;
    bridge->shutdown([&] {
        ++completions;
        seenAtCompletion = types();
    });
    loop.advance(10s);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(seenAtCompletion, (std::vector<std::string>{"log", "last"}));
    EXPECT_EQ(launcher.launchCount(), 1u) << "no restart while shutting down";
    EXPECT_EQ(launcher.latest()->terminateSignals(), 0);
}

TEST_F(NodeCoreProcessTest, ACoreIgnoringShutdownGetsSigtermAfterFiveSecondsAndCompletionAfterSeven) {
    struct Case {
        const char* what;
        bool exitsOnSigterm;
    } cases[] = {{"dies on the signal", true}, {"ignores the signal too", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        launcher.onLaunch = [&](sim::SimProcess& p) { p.exitOnTerminate = c.exitsOnSigterm; };
        auto bridge = startedBridge();
        auto* core = launcher.latest();
        const TimePoint start = loop.now();
        std::vector<TimePoint> completions;
        bridge->shutdown([&] { completions.push_back(loop.now()); });
        loop.advance(4999ms);
        EXPECT_EQ(core->terminateSignals(), 0);
        loop.advance(1ms);
        EXPECT_EQ(core->terminateSignals(), 1);
        loop.advance(60s);
        ASSERT_EQ(completions.size(), 1u);
        EXPECT_EQ(completions[0] - start, c.exitsOnSigterm ? 5000ms : 7000ms);
    }
}

TEST_F(NodeCoreProcessTest, ShutdownWithNoCoreCompletesAtOnce) {
    auto bridge = makeBridge();
    int completions = 0;
    bridge->shutdown([&] { ++completions; });
    EXPECT_EQ(completions, 1);
    bridge->start();
    EXPECT_EQ(launcher.launchCount(), 0u) << "nothing starts after shutdown";
}

TEST_F(NodeCoreProcessTest, TurnsWaitForTheSessionAndTheNextCoreAfterADeath) {
    auto bridge = makeBridge();
    bridge->send(numberedTurn(1));  // no core yet
    bridge->start();
    bridge->send(numberedTurn(2));  // core up, no "ready" answered yet
    EXPECT_EQ(bridge->queuedTurnCount(), 2u);
    bridge->send(json{{"type", "agent_status"}});
    bridge->sendSession(json{{"token", "t"}});
    bridge->send(numberedTurn(3));
    auto* first = launcher.latest();
    EXPECT_EQ(first->receivedLines().size(), 5u);
    EXPECT_EQ(json::parse(first->receivedLines()[1])["type"], "session") << "the session goes before held turns";
    EXPECT_EQ(turnIndexes(first->receivedLines()), range(1, 3));

    // Killed mid-session, with turn 4 cut off in the pipe.
    first->setReading(false);
    first->pipeCapacity = 40;
    bridge->send(numberedTurn(4));
    first->exit(137);
    loop.runUntilIdle();
    for (int i = 5; i <= 7; ++i) bridge->send(numberedTurn(i));
    EXPECT_EQ(bridge->queuedTurnCount(), 4u);
    loop.advance(2s);
    auto* second = launcher.latest();
    ASSERT_NE(second, first);
    EXPECT_TRUE(second->receivedLines().empty()) << "nothing before the new core's ready is answered";
    bridge->sendSession(std::nullopt);
    EXPECT_EQ(turnIndexes(second->receivedLines()), range(4, 7));
    EXPECT_EQ(bridge->queuedTurnCount(), 0u);
}

TEST_F(NodeCoreProcessTest, TheQueueKeepsTheNewestThousandAndCountsWhatItDrops) {
    auto bridge = makeBridge();
    for (int i = 1; i <= 1003; ++i) bridge->send(numberedTurn(i, 0, i % 2 ? "claude" : "chatgpt"));
    EXPECT_EQ(bridge->queuedTurnCount(), 1000u);
    EXPECT_EQ(diag.count("claude", CaptureDiag::Counter::turnsDropped), 2);  // 1 and 3
    EXPECT_EQ(diag.count("chatgpt", CaptureDiag::Counter::turnsDropped), 1);
    bridge->start();
    bridge->sendSession(std::nullopt);
    EXPECT_EQ(turnIndexes(launcher.latest()->receivedLines()), range(4, 1003));
}

// A core that stops reading for a minute while 10,000 turns are captured:
// the loop keeps its timers, memory stays within the bounds, and when it reads
// again every turn that was kept arrives once, in order, after the ones that
// went before.
TEST_F(NodeCoreProcessTest, ACoreThatStopsReadingCostsBoundedMemoryAndLosesOnlyCountedTurns) {
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
    EXPECT_LE(bridge->queuedTurnCount(), 1000u + NodeCoreProcess::maxOutgoingBytes / 2000);
    EXPECT_EQ(std::count(log.lines().begin(), log.lines().end(), std::string("[agent] node core is not reading its input — holding turns until it does")), 1);

    core->setReading(true);
    loop.runUntilIdle();
    const auto got = turnIndexes(core->receivedLines());
    const auto dropped = diag.count("claude", CaptureDiag::Counter::turnsDropped);
    ASSERT_EQ(got.size() + static_cast<std::size_t>(dropped), 10000u);
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end()) && std::adjacent_find(got.begin(), got.end()) == got.end())
        << "in order, none twice";
    EXPECT_EQ(got.back(), 10000);
    EXPECT_EQ(std::vector<int>(got.end() - 1000, got.end()), range(9001, 10000)) << "the newest thousand survive";
    EXPECT_EQ(bridge->queuedTurnCount(), 0u);
}

TEST_F(NodeCoreProcessTest, AStalledCoreThatDiesHandsItsUnwrittenTurnsToTheNextCore) {
    auto bridge = startedBridge();
    auto* core = launcher.latest();
    core->setReading(false);
    for (int i = 1; i <= 500; ++i) bridge->send(numberedTurn(i, 2000));
    const std::size_t inPipe = core->bytesInPipe();
    core->exit(9);
    loop.advance(2s);
    bridge->sendSession(std::nullopt);
    const auto second = turnIndexes(launcher.latest()->receivedLines());
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second.back(), 500);
    EXPECT_TRUE(std::is_sorted(second.begin(), second.end()));
    // Whole lines in the dead core's pipe count as delivered; the cut one is
    // the first the new core gets.
    int cut = 1;
    for (std::size_t whole = 0; (whole += numberedTurn(cut, 2000).turnMessage().size()) <= inPipe;) ++cut;
    EXPECT_EQ(second.front(), cut);
}

TEST_F(NodeCoreProcessTest, TurnsLeftAtShutdownAreSavedAndSentAfterTheNextStartsSession) {
    {
        launcher.onLaunch = [](sim::SimProcess& p) { p.exitOnTerminate = true; };
        auto bridge = makeBridge();
        bridge->start();  // never says ready
        for (int i = 1; i <= 5; ++i) bridge->send(numberedTurn(i));
        bool done = false;
        bridge->shutdown([&] { done = true; });
        bridge->send(numberedTurn(6));  // after the shutdown began
        loop.advance(8s);
        ASSERT_TRUE(done);
    }
    ASSERT_TRUE(fs::exists(stateDir / "pending-turns.jsonl"));
    auto bridge = makeBridge();
    EXPECT_EQ(bridge->queuedTurnCount(), 6u);
    bridge->start();
    EXPECT_TRUE(fs::exists(stateDir / "pending-turns.jsonl"));
    bridge->send(numberedTurn(7));
    bridge->sendSession(std::nullopt);
    EXPECT_EQ(turnIndexes(launcher.latest()->receivedLines()), range(1, 7));
    EXPECT_FALSE(fs::exists(stateDir / "pending-turns.jsonl")) << "sent turns leave the file";

    bool done = false;
    bridge->shutdown([&] { done = true; });
    loop.advance(8s);
    EXPECT_TRUE(done);
    EXPECT_FALSE(fs::exists(stateDir / "pending-turns.jsonl")) << "nothing left, no file";
}

TEST_F(NodeCoreProcessTest, AMessageSentWhileNoCoreRunsIsDropped) {
    auto bridge = makeBridge();
    bridge->send(json{{"type", "agent_status"}});
    bridge->start();
    bridge->send(json{{"type", "beacon"}});
    EXPECT_EQ(launcher.latest()->receivedLines(), (std::vector<std::string>{R"({"type":"beacon"})"}));
}

}  // namespace
}  // namespace velmar
