// The native capture controller on a simulated desktop and virtual time:
// when it reads the window, what a new chat carries into its conversation,
// and how conversations end (evicted, idle, after sleep).
#include "capture/CaptureController.hpp"

#include "capture/Turns.hpp"
#include "platform/sim/SimDesktop.hpp"
#include "capture/CaptureDiag.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace std::chrono_literals;

// A segmenter over a scripted window: whatever the test says it shows now.
struct ScriptedSegmenter final : Segmenter {
    std::string surfaceKey = "claude_desktop";
    std::optional<SegmenterSnapshot> shows;
    std::optional<std::string> draft;
    const MainLoop* loop = nullptr;
    mutable std::vector<TimePoint> reads;

    std::string surface() const override { return surfaceKey; }
    std::optional<SegmenterSnapshot> snapshot(const AXElement&) const override {
        reads.push_back(loop->now());
        return shows;
    }
    std::vector<int> primeDelaysMs() const override { return {0, 150, 400, 900}; }
    std::optional<std::string> composerDraft(const AXElement&) const override { return draft; }
};

class NativeRig {
public:
    sim::SimMainLoop loop;
    sim::SimDesktop desktop{loop};
    CaptureDiag diag{loop.now()};
    std::shared_ptr<ScriptedSegmenter> segmenter = std::make_shared<ScriptedSegmenter>();
    RunningApplication app{101, "com.anthropic.claudefordesktop", "Claude", std::nullopt};
    std::vector<TurnEvent> events;
    std::unique_ptr<CaptureController> controller;
    const TimePoint t0 = loop.now();

    explicit NativeRig(CaptureSchedule::Timings timings = {}) {
        desktop.launch(app);
        segmenter->loop = &loop;
        controller = std::make_unique<CaptureController>(app, segmenter, desktop.accessibility(), loop, diag, timings,
                                                         [this](const TurnEvent& e) { events.push_back(e); });
    }
    // Milliseconds since the rig was made, of each window read.
    std::vector<long> readsMs() const {
        std::vector<long> out;
        for (auto t : segmenter->reads) out.push_back(std::chrono::duration_cast<Duration>(t - t0).count());
        return out;
    }
    void at(long ms) { loop.advanceTo(t0 + Duration(ms)); }
    std::vector<std::string> prompts() const {
        std::vector<std::string> out;
        for (const auto& e : events) out.push_back(e.prompt);
        return out;
    }
};

TEST(CaptureController, SettlesAfterQuietAndAtLeastEveryTwoAndAHalfSecondsOfAStream) {
    auto every100 = [](long from, long to) {
        std::vector<long> v;
        for (long t = from; t <= to; t += 100) v.push_back(t);
        return v;
    };
    // description, notified, read: the priming read at 0, then each settle's
    const std::tuple<const char*, std::vector<long>, std::vector<long>> cases[] = {
        {"one notification, then a read of the unfinished reply 1.5 s after", {1000}, {0, 1700, 3200}},
        {"ten notifications 100 ms apart: one settle 700 ms after the last", every100(1000, 1900), {0, 2600, 4100}},
        {"a stream every 100 ms for 10 s: a settle every 2.5 s, one after the last, no reads of its own between",
         every100(1000, 11000), {0, 3500, 6100, 8700, 11700}},
        {"two bursts apart", {1000, 1100, 5000}, {0, 1800, 3300, 5700}},
    };
    for (const auto& [description, notifyMs, readMs] : cases) {
        SCOPED_TRACE(description);
        NativeRig rig;
        // Priming stops at the first read. An unfinished reply whose text
        // stands still asks for reads of its own, fewer as it stays the same.
        rig.segmenter->shows = testing::snap("Q1 R2 ~", false, "c1");
        ASSERT_TRUE(rig.controller->start());
        for (long ms : notifyMs) {
            rig.at(ms);
            rig.desktop.changed(rig.app.pid, "AXValueChanged");
        }
        rig.at(notifyMs.back() + 5000);
        EXPECT_EQ(rig.readsMs(), readMs);
        EXPECT_EQ(rig.controller->settleRuns(), static_cast<int>(readMs.size()) - 1);
    }
}

// A reply is complete once the page says so and its text stayed the same
// for 1.5 s: a page that pauses between chunks with no stop control shown
// must not have its first half sent. The 1.5 s run from the change the
// window's event told of, not from the debounced read; a change no event told
// of counts from the read that found it. Reads on virtual time.
TEST(CaptureController, AReplyIsSentWholeOnceUnchangedForOneAndAHalfSeconds) {
    struct Shown {
        long ms;
        std::string window;
        bool notified = true;
    };
    struct Case {
        const char* description;
        std::vector<Shown> shown;
        std::string sent;
        long sentAtMs;
    };
    const Case cases[] = {
        {"complete and left alone: sent 1.5 s after its event", {{2000, "Q1 R2 Q3 R4whole"}}, "R4whole", 3500},
        {"a pause of a second with no stop control shown, then more",
         {{2000, "Q1 R2 Q3 R4half"}, {3000, "Q1 R2 Q3 R4halfwhole"}}, "R4halfwhole", 4500},
        {"finished with no event: 1.5 s from the timed read that found it (1.5 s after 800)",
         {{2000, "Q1 R2 Q3 R4whole", false}}, "R4whole", 2300 + 1500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        NativeRig rig;
        rig.segmenter->shows = testing::snap("Q1 R2", false, "c1");
        ASSERT_TRUE(rig.controller->start());
        rig.at(100);
        rig.segmenter->shows = testing::snap("Q1 R2 Q3 R4 ~", false, "c1");
        rig.desktop.changed(rig.app.pid, "AXValueChanged");
        for (const auto& shown : c.shown) {
            rig.at(shown.ms);
            rig.segmenter->shows = testing::snap(shown.window, false, "c1");
            if (shown.notified) rig.desktop.changed(rig.app.pid, "AXValueChanged");
            rig.at(shown.ms + 1);
            EXPECT_TRUE(rig.events.empty()) << "nothing before " << shown.window << " stood still";
        }
        rig.at(c.sentAtMs - 1);
        EXPECT_TRUE(rig.events.empty()) << "not before 1.5 s";
        rig.at(c.sentAtMs);
        EXPECT_EQ(rig.prompts(), std::vector<std::string>{"Q3"});
        EXPECT_EQ(rig.events.at(0).response, c.sent);
        rig.at(c.sentAtMs + 10000);
        EXPECT_EQ(rig.events.size(), 1u) << "sent once";
    }
}

TEST(CaptureController, PrimesAtZero150550And1450MsWhileNoWindowShowsAConversation) {
    NativeRig never;
    ASSERT_TRUE(never.controller->start());
    never.at(5000);
    EXPECT_EQ(never.readsMs(), (std::vector<long>{0, 150, 550, 1450}));
    EXPECT_TRUE(never.controller->newChatPending()) << "a window that never showed a conversation";
    EXPECT_TRUE(never.events.empty());
}

TEST(CaptureController, ObserverFailureAndStopEndEverything) {
    NativeRig rig;
    rig.loop.runUntilIdle();
    rig.desktop.accessibility().failObservers(rig.app.pid);
    EXPECT_FALSE(rig.controller->start());
    EXPECT_EQ(rig.loop.pendingCount(), 0u) << "no timer, no priming";

    NativeRig live;
    live.segmenter->shows = testing::snap("Q1 R2", false, "c1");
    ASSERT_TRUE(live.controller->start());
    live.at(100);
    live.segmenter->shows = testing::snap("Q1 R2 Q3", false, "c1");
    live.controller->feed(*live.segmenter->shows);
    live.desktop.changed(live.app.pid);
    live.controller->stop();
    EXPECT_EQ(live.prompts(), std::vector<std::string>{"Q3"}) << "stop flushes the pending prompt";
    EXPECT_EQ(live.desktop.accessibility().observerCount(live.app.pid), 0u);
    const auto reads = live.segmenter->reads.size();
    live.at(100'000);
    EXPECT_EQ(live.segmenter->reads.size(), reads) << "no settle or sweep after stop";
}

// Typing the first prompt of a new chat: the window first shows no conversation,
// then the new conversation with its prompt shown collapsed.
TEST(CaptureController, NewChatBecomesAConversationWhoseFirstExchangeIsSentWithTheTypedPrompt) {
    const std::string typed = "Please summarise the attached quarterly report in three short bullet points";
    // Claude's new-chat page segments, its draft in a keyless snapshot; ChatGPT's desktop new chat does not.
    for (const std::string surface : {"claude_desktop", "chatgpt_desktop"}) {
        SCOPED_TRACE(surface);
        const bool keylessSnapshot = surface == "claude_desktop";
        NativeRig rig;
        rig.segmenter->surfaceKey = surface;
        ASSERT_TRUE(rig.controller->start());
        rig.at(2000);  // priming found nothing
        rig.segmenter->draft = typed;  // read from the composer only when no snapshot shows
        if (keylessSnapshot) rig.segmenter->shows.emplace().composerDraft = typed;
        rig.desktop.changed(rig.app.pid);
        rig.at(3000);
        EXPECT_EQ(rig.controller->pendingDraft(), typed);

        // Sent: the prompt shows collapsed, then its reply streams and ends.
        for (const char* window : {"Q1", "Q1 R2 ~", "Q1 R2"}) {
            auto shown = testing::snap(window, !keylessSnapshot, "new-1");
            shown.turns[0].text = "Please summarise the attached quarterly…";
            shown.turns[0].collapsed = true;
            rig.segmenter->shows = shown;
            rig.desktop.changed(rig.app.pid);
            rig.loop.advance(1s);
        }
        rig.loop.advance(2s);  // complete once unchanged for 1.5 s
        ASSERT_EQ(rig.events.size(), 1u) << "the first exchange is live, not history";
        EXPECT_EQ(rig.events[0].prompt, typed);
        EXPECT_EQ(rig.events[0].response, "R2");
        EXPECT_FALSE(rig.controller->newChatPending());
        EXPECT_FALSE(rig.controller->pendingDraft());
    }
}

// Eviction is the router's own test; here, the sweep's ticks across a sleep.
TEST(CaptureController, IdleConversationsEndAtTheSweepButNotBySleep) {
    NativeRig rig({.grace = 600s});
    rig.segmenter->shows = testing::snap("Q1 R2", false, "c0");
    ASSERT_TRUE(rig.controller->start());
    rig.at(10);  // primed on c0
    rig.controller->feed(testing::snap("Q1 R2", true, "idle"));
    rig.controller->feed(testing::snap("Q1 R2 Qidle", true, "idle"));
    rig.at(60'000);
    rig.loop.sleep(2h);  // the machine sleeps: no tick until it wakes
    rig.at(2 * 3600'000 + 61'000);
    EXPECT_TRUE(rig.events.empty()) << "the first tick after sleep only notes the time";
    rig.at(2 * 3600'000 + 125'000);
    EXPECT_EQ(rig.prompts(), std::vector<std::string>{"Qidle"}) << "idle beyond the grace: flushed at the next tick";
    EXPECT_EQ(rig.controller->router().assembler("idle"), nullptr);
}

}  // namespace
}  // namespace velmar
