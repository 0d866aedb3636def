#include "platform/sim/SimMainLoop.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace velmar::sim {
namespace {

TEST(SimMainLoop, RunsDueWorkInTimeOrderAndSameInstantInSchedulingOrder) {
    SimMainLoop loop;
    std::vector<std::string> ran;
    loop.postDelayed(300ms, [&] { ran.push_back("c@300"); });
    loop.postDelayed(100ms, [&] { ran.push_back("a@100"); });
    loop.postDelayed(100ms, [&] { ran.push_back("b@100"); });
    loop.post([&] { ran.push_back("posted"); });

    EXPECT_EQ(loop.advance(99ms), 1u);
    EXPECT_EQ(ran, std::vector<std::string>{"posted"});
    loop.advance(1ms);
    EXPECT_EQ(ran, (std::vector<std::string>{"posted", "a@100", "b@100"}));
    loop.advance(1s);
    EXPECT_EQ(ran.back(), "c@300");
}

TEST(SimMainLoop, TimeSeenByWorkIsItsDueTimeAndChainsFallDueWithinOneAdvance) {
    SimMainLoop loop;
    const TimePoint start = loop.now();
    std::vector<Duration> seen;
    loop.postDelayed(700ms, [&] {
        seen.push_back(std::chrono::duration_cast<Duration>(loop.now() - start));
        loop.postDelayed(700ms, [&] { seen.push_back(std::chrono::duration_cast<Duration>(loop.now() - start)); });
    });
    loop.advance(5s);
    EXPECT_EQ(seen, (std::vector<Duration>{700ms, 1400ms}));
    EXPECT_EQ(loop.now() - start, 5s);
}

TEST(SimMainLoop, CancelledWorkNeverRunsAndReleasesWhatItHeld) {
    SimMainLoop loop;
    auto held = std::make_shared<int>(1);
    std::weak_ptr<int> watch = held;
    bool ran = false;
    TimerHandle h = loop.postDelayed(1s, [&ran, held] { ran = true; });
    held.reset();
    EXPECT_TRUE(h.active());
    h.cancel();
    h.cancel();
    EXPECT_FALSE(h.active());
    EXPECT_TRUE(watch.expired());
    loop.advance(2s);
    EXPECT_FALSE(ran);
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST(SimMainLoop, RepeatingTimerFiresEveryIntervalWithoutDriftUntilCancelled) {
    SimMainLoop loop;
    const TimePoint start = loop.now();
    std::vector<Duration> at;
    TimerHandle timer;
    timer = loop.repeating(5s, 500ms, [&] {
        at.push_back(std::chrono::duration_cast<Duration>(loop.now() - start));
        if (at.size() == 3) timer.cancel();  // a timer may cancel itself
    });
    loop.advance(60s);
    EXPECT_EQ(at, (std::vector<Duration>{5s, 10s, 15s}));
    EXPECT_EQ(loop.tolerances(), std::vector<Duration>{500ms});
}

TEST(SimMainLoop, ScopedTimerCancelsWithItsOwnerAndWeaklyHeldWorkSkipsAGoneOwner) {
    SimMainLoop loop;
    int fired = 0;
    {
        ScopedTimer t = loop.postDelayed(1s, [&] { ++fired; });
    }
    struct Owner { int hits = 0; };
    auto owner = std::make_shared<Owner>();
    loop.postDelayed(1s, weakly(owner, [](Owner& o) { ++o.hits; }));
    auto gone = std::make_shared<Owner>();
    loop.postDelayed(1s, weakly(gone, [&fired](Owner&) { ++fired; }));
    gone.reset();
    loop.advance(2s);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(owner->hits, 1);
}

TEST(SimMainLoop, RunJumpsToEachNextDueTaskUntilQuit) {
    SimMainLoop loop;
    const TimePoint start = loop.now();
    int beats = 0;
    loop.repeating(300s, 30s, [&] {
        if (++beats == 4) loop.quit();
    });
    loop.run();
    EXPECT_EQ(beats, 4);
    EXPECT_EQ(loop.now() - start, 1200s);
}

}  // namespace
}  // namespace velmar::sim
