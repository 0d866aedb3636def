#include "platform/linux/system/GLibMainLoop.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace velmar::linux_backend {
namespace {

// One run of the real loop: a delay fires after its time, a cancelled one
// never does, a repeating timer repeats until cancelled, work posted from
// another thread arrives on the loop.
TEST(GLibMainLoop, DelaysCancellationRepeatingTimersAndCrossThreadPostsWorkForReal) {
    GLibMainLoop loop;
    const TimePoint start = loop.now();
    std::vector<std::string> events;
    TimePoint delayedAt{};

    loop.postDelayed(50ms, [&] {
        delayedAt = loop.now();
        events.push_back("delayed");
    });
    TimerHandle cancelled = loop.postDelayed(20ms, [&] { events.push_back("cancelled"); });
    cancelled.cancel();
    EXPECT_FALSE(cancelled.active());

    int ticks = 0;
    TimerHandle ticker;
    ticker = loop.repeating(10ms, 0ms, [&] {
        if (++ticks == 3) ticker.cancel();
    });

    const auto mainThread = std::this_thread::get_id();
    std::thread other([&] {
        loop.post([&] {
            EXPECT_EQ(std::this_thread::get_id(), mainThread);
            events.push_back("posted");
        });
    });
    // Work aside runs on another thread while the loop goes on (it waits for
    // a task the loop runs meanwhile), then its follow-up runs on the loop;
    // a job cancelled before its follow-up never follows up.
    std::promise<void> loopRan;
    auto ran = loopRan.get_future();
    std::thread::id workThread;
    loop.runAside(
        [&] {
            workThread = std::this_thread::get_id();
            ran.wait();
        },
        [&] {
            EXPECT_EQ(std::this_thread::get_id(), mainThread);
            events.push_back("aside");
        });
    loop.post([&] { loopRan.set_value(); });
    auto dropped = loop.runAside([] {}, [&] { events.push_back("dropped"); });
    loop.post([&] { dropped->cancel(); });

    TimerHandle end = loop.postDelayed(200ms, [&] { loop.quit(); });
    loop.run();
    other.join();

    EXPECT_GE(delayedAt - start, 50ms);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(ticker.active());
    EXPECT_FALSE(end.active()) << "a one-shot that ran is no longer active";
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<std::string>{"aside", "delayed", "posted"}));
    EXPECT_NE(workThread, mainThread);
}

}  // namespace
}  // namespace velmar::linux_backend
