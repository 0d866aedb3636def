// The bridge over a real child process and the bundled core under Node, on
// GLib's loop in real time: the test ends on what it waits for. How a core
// that stops reading is handled is the simulated bridge's and the real
// launcher's test.

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
    std::shared_ptr<NodeCoreProcess> makeBridge() {
        sim::SimInstallLayout layout;  // no bundled runtime: node is found on the PATH
        const std::map<std::string, std::string> env{
            {"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
            {"HOME", home.string()},
            {"XDG_DATA_HOME", (home / "data").string()}};
        auto bridge = NodeCoreProcess::create(layout, fs::path(VELMAR_CORE_SCRIPT), env, home / "state", {loop, launcher, log, diag});
        bridge->onMessage = [this, raw = bridge.get()](const json& m) {
            messages.push_back(m);
            if (m["type"] == "ready") raw->sendSession(std::nullopt);
        };
        return bridge;
    }
    // Runs the loop until `done` holds or ten seconds pass.
    bool runUntil(const std::function<bool()>& done) {
        const TimePoint deadline = loop.now() + 10s;
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

// The whole path with the bundled local core: start, ready, session, turns
// stored and confirmed, shutdown, exit; then turns left in the journal at a
// shutdown reach the next run's core, every one stored exactly once.
TEST_F(NodeCoreProcessNodeTest, TheLocalCoreStoresEveryTurnOnceAcrossAnAgentRestart) {
    {
        auto bridge = makeBridge();
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
    auto bridge = makeBridge();
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

}  // namespace
}  // namespace velmar
