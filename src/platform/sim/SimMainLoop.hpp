#pragma once
// A main loop on virtual time. Nothing runs until the test (or tool) moves
// time with `advance` or drains due work with `runUntilIdle`; due work then
// runs in time order, and work due at the same instant in the order it was
// scheduled. Deterministic, single-threaded (`post` is still safe to call
// from another thread: it only queues).

#include "platform/MainLoop.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace velmar::sim {

class SimMainLoop final : public MainLoop {
public:
    // Starts at 2026-01-01T00:00:00Z unless told otherwise.
    explicit SimMainLoop(TimePoint start = TimePoint{} + std::chrono::seconds(1767225600));
    ~SimMainLoop() override;

    // --- MainLoop ---
    TimePoint now() const override { return now_; }
    void post(Task task) override;
    TimerHandle postDelayed(Duration delay, Task task) override;
    TimerHandle repeating(Duration interval, Duration tolerance, Task task) override;
    // The work runs at once, on the calling thread; `done` on the next turn.
    std::shared_ptr<AsideJob> runAside(Task work, Task done) override;
    // Runs due work, moving time to each next due task, until `quit` or until
    // nothing is scheduled at all.
    void run() override;
    void quit() override { quitRequested_ = true; }

    // --- driving time ---
    // Moves time forward by `d`, running everything that falls due on the way
    // (including work scheduled by that work). Returns the number of tasks run.
    std::size_t advance(Duration d);
    std::size_t advanceTo(TimePoint t);
    // Runs everything already due (posted work included) without moving time.
    std::size_t runUntilIdle();
    // The machine sleeps for `d`: time jumps and nothing runs meanwhile. What
    // fell due runs once on the next advance (a repeating timer then goes on
    // from the wake-up), as timers do after a real sleep.
    void sleep(Duration d);

    // --- inspecting ---
    std::size_t pendingCount() const;
    std::optional<TimePoint> nextDue() const;
    // Tolerances asked for by repeating timers, in scheduling order.
    const std::vector<Duration>& tolerances() const { return tolerances_; }

private:
    struct Entry;
    using Key = std::pair<TimePoint, std::uint64_t>;

    TimerHandle schedule(TimePoint due, Duration interval, Task task);
    void takePosted();
    bool runOne(TimePoint limit);

    TimePoint now_;
    std::uint64_t nextSeq_ = 0;
    std::map<Key, std::shared_ptr<Entry>> queue_;
    mutable std::mutex postedMutex_;
    std::vector<Task> posted_;
    std::vector<Duration> tolerances_;
    bool quitRequested_ = false;
};

}  // namespace velmar::sim
