// The bridge over real child processes and the real Node runtime, on GLib's
// loop in real time: each test is short and ends on what it waits for.

#include "runtime/NodeCoreProcess.hpp"

#include "platform/linux/system/GLibMainLoop.hpp"
#include "platform/linux/system/LinuxProcessLauncher.hpp"
#include "platform/sim/SimInstallLayout.hpp"
#include "platform/sim/SimLogSink.hpp"
#include "capture/CaptureDiag.hpp"
#include "runtime/CoreBridgeSupport.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <numeric>

using namespace std::chrono_literals;
using nlohmann::json;

namespace velmar {
namespace {

namespace fs = std::filesystem;
using testing::numberedTurn;

class NodeCoreProcessNodeTest : public ::testing::Test {
protected:
    std::shared_ptr<NodeCoreProcess> makeBridge(const fs::path& script, std::map<std::string, std::string> extra = {}) {
        sim::SimInstallLayout layout;  // no bundled runtime: node is found on the PATH
        std::map<std::string, std::string> env{{"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
                                               {"HOME", home.string()},
                                               {"XDG_DATA_HOME", (home / "data").string()}};
        env.insert(extra.begin(), extra.end());
        auto bridge = NodeCoreProcess::create(layout, script, env, home / "state", {loop, launcher, log, diag});
        bridge->onMessage = [this, raw = bridge.get()](const json& m) {
            messages.push_back(m);
            if (m["type"] == "ready") raw->sendSession(std::nullopt);
        };
        return bridge;
    }
    // Runs the loop until `done` holds or `limit` passes.
    bool runUntil(const std::function<bool()>& done, Duration limit = 10s) {
        const TimePoint deadline = loop.now() + limit;
        ScopedTimer poll = loop.repeating(5ms, 0ms, [&] {
            if (done() || loop.now() > deadline) loop.quit();
        });
        loop.run();
        return done();
    }
    std::vector<std::string> types() const {
        std::vector<std::string> t;
        for (const auto& m : messages) t.push_back(m.value("type", "?"));
        return t;
    }
    std::vector<int> storedTurnIndexes() const {
        std::vector<int> out;
        std::ifstream in(home / "data" / "velmar" / "turns.jsonl");
        for (std::string line; std::getline(in, line);) out.push_back(json::parse(line)["turn_index"].get<int>());
        return out;
    }

    testing::TempDir folder;
    fs::path home = folder.path();
    linux_backend::GLibMainLoop loop;
    linux_backend::LinuxProcessLauncher launcher;
    sim::SimLogSink log;
    CaptureDiag diag{loop.now()};
    std::vector<json> messages;
};

const fs::path cores = VELMAR_TEST_CORES_DIR;

// The whole path with the bundled local core: start, ready, session, turns
// stored and confirmed, shutdown, exit; then turns left in the journal at a
// shutdown reach the next run's core, every one stored exactly once.
TEST_F(NodeCoreProcessNodeTest, TheLocalCoreStoresEveryTurnOnceAcrossAnAgentRestart) {
    {
        auto bridge = makeBridge(VELMAR_CORE_SCRIPT);
        bridge->start();
        ASSERT_TRUE(runUntil([&] { return bridge->running() && !messages.empty(); }));
        for (int i = 1; i <= 50; ++i) bridge->send(numberedTurn(i));
        ASSERT_TRUE(runUntil([&] {
            const auto t = types();
            return std::count(t.begin(), t.end(), std::string("event_result")) == 50;
        }));
        EXPECT_EQ(bridge->queuedTurnCount(), 0u) << "all confirmed";
        // The next turns wait in the journal: the core is gone before a new
        // one can answer.
        bool done = false;
        const TimePoint asked = loop.now();
        bridge->shutdown([&] { done = true; });
        for (int i = 51; i <= 60; ++i) bridge->send(numberedTurn(i));
        ASSERT_TRUE(runUntil([&] { return done; }));
        EXPECT_LT(loop.now() - asked, 5s) << "the local core exits on its own";
        EXPECT_EQ(bridge->queuedTurnCount(), 10u);
    }
    EXPECT_EQ(storedTurnIndexes().size(), 50u);
    ASSERT_TRUE(fs::exists(home / "state" / "pending-turns.jsonl"));

    messages.clear();
    auto bridge = makeBridge(VELMAR_CORE_SCRIPT);
    bridge->start();
    ASSERT_TRUE(runUntil([&] { return bridge->queuedTurnCount() == 0 && !messages.empty(); }));
    bool done = false;
    bridge->shutdown([&] { done = true; });
    ASSERT_TRUE(runUntil([&] { return done; }));
    std::vector<int> expected(60);
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(storedTurnIndexes(), expected);
    EXPECT_EQ(fs::file_size(home / "state" / "pending-turns.jsonl"), 0u);
}

// A core that reads nothing for a while as 10,000 turns are captured: the
// loop keeps firing its timer, and once the core reads, every turn arrives
// once and in order.
TEST_F(NodeCoreProcessNodeTest, ACoreThatStopsReadingNeitherStallsTheLoopNorGetsATurnTwice) {
    auto bridge = makeBridge(cores / "stalling.mjs", {{"STALL_MS", "1500"}});
    bridge->start();
    ASSERT_TRUE(runUntil([&] { return !messages.empty(); }));
    int ticks = 0;
    ScopedTimer ticker = loop.repeating(20ms, 0ms, [&] { ++ticks; });
    int next = 1;
    // 200 turns every 20 ms: all 10,000 within the stall.
    ScopedTimer producer = loop.repeating(20ms, 0ms, [&] {
        for (int i = 0; i < 200 && next <= 10000; ++i) bridge->send(numberedTurn(next++, 2000));
    });
    const TimePoint began = loop.now();
    ASSERT_TRUE(runUntil([&] { return next > 10000; }, 30s)) << next;
    const auto producing = loop.now() - began;
    // Loose: the machine may be busy, but a loop blocked on a write would show
    // no ticks at all.
    EXPECT_GE(ticks, producing / 20ms / 4) << "the timer kept firing while the core did not read";
    EXPECT_LE(bridge->outgoingBytes(), NodeCoreProcess::maxOutgoingBytes);

    bool done = false;
    ASSERT_TRUE(runUntil([&] { return bridge->queuedTurnCount() == 0 && bridge->outgoingBytes() == 0; }, 30s))
        << bridge->queuedTurnCount() << " turns still waiting";
    bridge->shutdown([&] { done = true; });
    ASSERT_TRUE(runUntil([&] { return done; }));
    ASSERT_EQ(messages.back()["type"], "received");
    const auto got = messages.back()["turns"].get<std::vector<int>>();
    std::vector<int> all(10000);
    std::iota(all.begin(), all.end(), 1);
    EXPECT_EQ(got, all) << "every turn once, in order";
}

}  // namespace
}  // namespace velmar
