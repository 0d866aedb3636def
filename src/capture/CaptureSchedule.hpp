#pragma once
// The timing both capture controllers share. Reads are debounced: a settle
// runs `settle` after the last accessibility notification, but a continuous
// stream (a streaming reply) postpones it by at most `maxDefer`. A repeating
// sweep flushes conversations idle for `grace`; a tick that comes long after
// the previous one (the machine slept, the loop stalled) only notes the time,
// so waking up never flushes everything at once.
//
// Timers end with the schedule, so a released controller's pending work
// never runs.

#include "capture/ReplyCompletion.hpp"
#include "platform/MainLoop.hpp"

#include <chrono>
#include <functional>
#include <optional>

namespace velmar {

class CaptureSchedule {
public:
    using Seconds = std::chrono::duration<double>;

    struct Timings {
        Duration settle{700};
        Seconds grace{defaultGraceSeconds};
        Duration sweep{60'000};
        Duration maxDefer{2'500};
    };

    static constexpr double defaultGraceSeconds = 14'400;
    // A gap between sweep ticks beyond this means time jumped.
    static constexpr Seconds sweepGapLimit{180};

    // The grace the delegate passes: the configured seconds when positive.
    static Seconds graceFrom(std::optional<double> configuredSeconds);

    CaptureSchedule(MainLoop& loop, Timings timings, Task settle, std::function<void(TimePoint)> sweep);

    // One notification arrived.
    void notify();
    // A notification that brings no settle of its own (one held while a
    // settle reads): only its time is kept.
    void heard() { lastNotified_ = loop_.now(); }
    // When the latest notification arrived: a page's text changed no later
    // than this, as far as its events tell.
    std::optional<TimePoint> lastNotified() const { return lastNotified_; }
    // Runs the settle now (counted, burst closed).
    void settleNow();
    // A read at `t` could decide what reads before it could not (a reply
    // that must stay unchanged for a while): a settle runs then, unless one
    // was already due earlier. Cancelled with the schedule.
    void settleAt(TimePoint t);
    // As `settleAt` for a read that only stands in for a missing event: the
    // next notification cancels it (its own settle asks again), so a page that
    // keeps sending events is not read more often than they say.
    void settleIfQuietAt(TimePoint t);
    void readAgain(const ReplyCompletion::ReadAgain& request) {
        request.unlessNotified ? settleIfQuietAt(request.at) : settleAt(request.at);
    }
    void startSweep();
    // Cancels the pending settle and the sweep.
    void stop();

    const Timings& timings() const { return timings_; }
    int settleRuns() const { return settleRuns_; }
    bool settlePending() const { return settleWork_.active(); }
    void sweepTick();

private:
    Duration until(TimePoint t) const;  // from now, never negative

    MainLoop& loop_;
    const Timings timings_;
    const Task settle_;
    const std::function<void(TimePoint)> sweep_;
    ScopedTimer settleWork_;
    ScopedTimer decideWork_;
    ScopedTimer quietWork_;
    std::optional<TimePoint> quietAt_;
    std::optional<TimePoint> decideAt_;
    ScopedTimer sweepTimer_;
    std::optional<TimePoint> deferBurstStart_;
    std::optional<TimePoint> lastSweepTick_;
    std::optional<TimePoint> lastNotified_;
    int settleRuns_ = 0;
};

}  // namespace velmar
