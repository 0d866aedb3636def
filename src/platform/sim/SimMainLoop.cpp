#include "platform/sim/SimMainLoop.hpp"

#include <algorithm>

namespace velmar::sim {

struct SimMainLoop::Entry final : ScheduledWork {
    Task task;
    Duration interval{0};  // zero: one-shot
    bool cancelled = false;
    bool done = false;

    void cancel() override {
        cancelled = true;
        task = nullptr;  // releases whatever the task captured, as a real loop would
    }
    bool active() const override { return !cancelled && !done; }
};

SimMainLoop::SimMainLoop(TimePoint start) : now_(start) {}

SimMainLoop::~SimMainLoop() = default;

void SimMainLoop::post(Task task) {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(task));
}

std::shared_ptr<AsideJob> SimMainLoop::runAside(Task work, Task done) {
    auto job = std::make_shared<AsideJob>();
    job->perform(work);
    post([job, done = std::move(done)] {
        if (!job->cancelled()) done();
    });
    return job;
}

TimerHandle SimMainLoop::postDelayed(Duration delay, Task task) {
    takePosted();  // work posted earlier stays ahead of this
    return schedule(now_ + std::max(delay, Duration{0}), Duration{0}, std::move(task));
}

TimerHandle SimMainLoop::repeating(Duration interval, Duration tolerance, Task task) {
    takePosted();
    tolerances_.push_back(tolerance);
    // A non-positive interval would fire forever at one instant.
    interval = std::max(interval, Duration{1});
    return schedule(now_ + interval, interval, std::move(task));
}

TimerHandle SimMainLoop::schedule(TimePoint due, Duration interval, Task task) {
    auto entry = std::make_shared<Entry>();
    entry->task = std::move(task);
    entry->interval = interval;
    queue_.emplace(Key{due, nextSeq_++}, entry);
    return TimerHandle(entry);
}

void SimMainLoop::takePosted() {
    std::vector<Task> posted;
    {
        std::lock_guard lock(postedMutex_);
        posted.swap(posted_);
    }
    for (auto& task : posted) schedule(now_, Duration{0}, std::move(task));
}

bool SimMainLoop::runOne(TimePoint limit) {
    takePosted();
    while (!queue_.empty()) {
        auto it = queue_.begin();
        if (it->first.first > limit) return false;
        auto entry = it->second;
        const TimePoint due = it->first.first;
        queue_.erase(it);
        if (entry->cancelled) continue;
        if (due > now_) now_ = due;
        if (entry->interval > Duration{0}) {
            // Rescheduled before it runs, so the task may cancel its own timer.
            queue_.emplace(Key{due + entry->interval, nextSeq_++}, entry);
            Task copy = entry->task;  // the entry's task may be cleared by cancel()
            copy();
        } else {
            entry->done = true;
            Task task = std::move(entry->task);
            entry->task = nullptr;
            task();
        }
        return true;
    }
    return false;
}

std::size_t SimMainLoop::advance(Duration d) { return advanceTo(now_ + std::max(d, Duration{0})); }

std::size_t SimMainLoop::advanceTo(TimePoint t) {
    std::size_t ran = 0;
    while (runOne(t)) ++ran;
    if (t > now_) now_ = t;
    return ran;
}

void SimMainLoop::sleep(Duration d) {
    takePosted();
    now_ += std::max(d, Duration{0});
    std::map<Key, std::shared_ptr<Entry>> overdue;
    while (!queue_.empty() && queue_.begin()->first.first < now_) {
        auto node = queue_.extract(queue_.begin());
        overdue.emplace(Key{now_, node.key().second}, std::move(node.mapped()));  // sequence keeps their order
    }
    queue_.merge(overdue);
}

std::size_t SimMainLoop::runUntilIdle() {
    std::size_t ran = 0;
    while (runOne(now_)) ++ran;
    return ran;
}

void SimMainLoop::run() {
    quitRequested_ = false;
    while (!quitRequested_) {
        takePosted();
        if (queue_.empty()) break;
        runOne(TimePoint::max());
    }
    quitRequested_ = false;
}

std::size_t SimMainLoop::pendingCount() const {
    std::size_t n = 0;
    for (const auto& [key, entry] : queue_)
        if (!entry->cancelled) ++n;
    {
        std::lock_guard lock(postedMutex_);
        n += posted_.size();
    }
    return n;
}

std::optional<TimePoint> SimMainLoop::nextDue() const {
    {
        std::lock_guard lock(postedMutex_);
        if (!posted_.empty()) return now_;
    }
    for (const auto& [key, entry] : queue_)
        if (!entry->cancelled) return key.first;
    return std::nullopt;
}

}  // namespace velmar::sim
