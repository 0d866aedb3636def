#include "capture/CaptureSchedule.hpp"

namespace velmar {

CaptureSchedule::Seconds CaptureSchedule::graceFrom(std::optional<double> configuredSeconds) {
    return Seconds(configuredSeconds && *configuredSeconds > 0 ? *configuredSeconds : defaultGraceSeconds);
}

CaptureSchedule::CaptureSchedule(MainLoop& loop, Timings timings, Task settle, std::function<void(TimePoint)> sweep)
    : loop_(loop), timings_(timings), settle_(std::move(settle)), sweep_(std::move(sweep)) {}

void CaptureSchedule::notify() {
    const TimePoint t = loop_.now();
    lastNotified_ = t;
    if (!deferBurstStart_) deferBurstStart_ = t;
    settleWork_.cancel();
    quietWork_.cancel();
    if (t - *deferBurstStart_ >= timings_.maxDefer) {
        settleNow();
        return;
    }
    // The timer is owned here: it is cancelled with the schedule.
    settleWork_ = loop_.postDelayed(timings_.settle, [this] { settleNow(); });
}

void CaptureSchedule::settleNow() {
    settleWork_.cancel();
    ++settleRuns_;
    deferBurstStart_.reset();
    settle_();
}

Duration CaptureSchedule::until(TimePoint t) const {
    const TimePoint now = loop_.now();
    return t > now ? std::chrono::ceil<Duration>(t - now) : Duration(0);
}

void CaptureSchedule::settleAt(TimePoint t) {
    if (decideWork_.active() && decideAt_ && *decideAt_ <= t) return;
    decideAt_ = t;
    decideWork_ = loop_.postDelayed(until(t), [this] {
        decideAt_.reset();
        settleNow();
    });
}

void CaptureSchedule::settleIfQuietAt(TimePoint t) {
    // One timer serves every conversation of the app: the earliest ask wins,
    // and the read it brings lets each conversation ask again.
    if (quietWork_.active() && quietAt_ && *quietAt_ <= t) return;
    quietAt_ = t;
    quietWork_ = loop_.postDelayed(until(t), [this] {
        quietAt_.reset();
        settleNow();
    });
}

void CaptureSchedule::startSweep() {
    sweepTimer_ = loop_.repeating(timings_.sweep, timings_.sweep / 10, [this] { sweepTick(); });
}

void CaptureSchedule::sweepTick() {
    const TimePoint t = loop_.now();
    const bool jumped = lastSweepTick_ && Seconds(t - *lastSweepTick_) > sweepGapLimit;
    lastSweepTick_ = t;
    if (!jumped) sweep_(t);
}

void CaptureSchedule::stop() {
    settleWork_.cancel();
    decideWork_.cancel();
    quietWork_.cancel();
    sweepTimer_.cancel();
}

}  // namespace velmar
