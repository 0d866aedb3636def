#include "platform/sim/SimMainLoop.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace velmar::sim {
namespace {

// Due work runs in time order, work due at the same instant in scheduling
// order; each sees its own due time as now, and work it schedules that falls
// due within the same advance runs in that advance.
TEST(SimMainLoop, RunsDueWorkInTimeOrderAtItsDueTime) {
    SimMainLoop loop;
    const TimePoint start = loop.now();
    std::vector<std::string> ran;
    auto at = [&](std::string name) {
        return [&, name] { ran.push_back(name + "@" + std::to_string((loop.now() - start) / 1ms)); };
    };
    loop.postDelayed(300ms, at("c"));
    loop.postDelayed(100ms, at("a"));
    loop.postDelayed(100ms, at("b"));
    loop.post(at("posted"));
    loop.postDelayed(700ms, [&] { loop.postDelayed(700ms, at("chained")); });

    EXPECT_EQ(loop.advance(99ms), 1u);
    EXPECT_EQ(ran, std::vector<std::string>{"posted@0"});
    loop.advance(1ms);
    EXPECT_EQ(ran, (std::vector<std::string>{"posted@0", "a@100", "b@100"}));
    loop.advance(5s);
    EXPECT_EQ(ran, (std::vector<std::string>{"posted@0", "a@100", "b@100", "c@300", "chained@1400"}));
    EXPECT_EQ(loop.now() - start, 5100ms);
}

// Cancelled work never runs and releases what it held at once; a scoped
// timer cancels with its owner; weakly held work skips an owner that is gone.
TEST(SimMainLoop, CancelledScopedAndWeaklyHeldWork) {
    SimMainLoop loop;
    auto held = std::make_shared<int>(1);
    std::weak_ptr<int> watch = held;
    int ran = 0;
    TimerHandle h = loop.postDelayed(1s, [&ran, held] { ++ran; });
    held.reset();
    EXPECT_TRUE(h.active());
    h.cancel();
    h.cancel();
    EXPECT_FALSE(h.active());
    EXPECT_TRUE(watch.expired());
    {
        ScopedTimer t = loop.postDelayed(1s, [&] { ++ran; });
    }
    struct Owner { int hits = 0; };
    auto owner = std::make_shared<Owner>();
    loop.postDelayed(1s, weakly(owner, [](Owner& o) { ++o.hits; }));
    auto gone = std::make_shared<Owner>();
    loop.postDelayed(1s, weakly(gone, [&ran](Owner&) { ++ran; }));
    gone.reset();
    loop.advance(2s);
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(owner->hits, 1);
    EXPECT_EQ(loop.pendingCount(), 0u);
}

// run() jumps to each next due task until quit; a repeating timer keeps its
// interval without drift until it cancels itself.
TEST(SimMainLoop, RepeatingTimerFiresEveryIntervalWithoutDriftUntilCancelled) {
    SimMainLoop loop;
    const TimePoint start = loop.now();
    std::vector<Duration> at;
    TimerHandle timer;
    timer = loop.repeating(5s, 500ms, [&] {
        at.push_back(std::chrono::duration_cast<Duration>(loop.now() - start));
        if (at.size() == 3) loop.quit();
        if (at.size() == 4) timer.cancel();
    });
    loop.run();
    EXPECT_EQ(at, (std::vector<Duration>{5s, 10s, 15s}));
    EXPECT_EQ(loop.now() - start, 15s);
    loop.advance(60s);
    EXPECT_EQ(at, (std::vector<Duration>{5s, 10s, 15s, 20s}));
    EXPECT_EQ(loop.tolerances(), std::vector<Duration>{500ms});
}

}  // namespace
}  // namespace velmar::sim
