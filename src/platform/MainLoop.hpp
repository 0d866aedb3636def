#pragma once
// The process's one main queue: deferred work, timers and the current time.
// Everything the agent does runs on it, so logic never takes a lock. Only
// `post` may be called from another thread (a pipe reader handing bytes back);
// every other member belongs to the main thread. Long pure computations
// (a large page's parse) go aside with `runAside`, so the queue never waits.

#include "platform/Clock.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace velmar {

using Duration = std::chrono::milliseconds;
using Task = std::function<void()>;

// The backend's side of one scheduled task.
class ScheduledWork {
public:
    virtual ~ScheduledWork() = default;
    virtual void cancel() = 0;
    // False once cancelled, or once a one-shot task has run.
    virtual bool active() const = 0;
};

// A cheap, copyable handle on a delayed task or a repeating timer. Dropping the
// handle does not cancel the work; cancelling twice is harmless.
class TimerHandle {
public:
    TimerHandle() = default;
    explicit TimerHandle(std::shared_ptr<ScheduledWork> work) : work_(std::move(work)) {}

    void cancel() {
        if (work_) work_->cancel();
        work_.reset();
    }
    bool active() const { return work_ && work_->active(); }
    explicit operator bool() const { return active(); }

private:
    std::shared_ptr<ScheduledWork> work_;
};

// Owns a timer: cancels it when replaced or destroyed, so work scheduled by an
// object ends with it.
class ScopedTimer {
public:
    ScopedTimer() = default;
    ScopedTimer(TimerHandle h) : handle_(std::move(h)) {}  // NOLINT: implicit on purpose
    ScopedTimer(ScopedTimer&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    ScopedTimer& operator=(ScopedTimer&& other) noexcept {
        if (this != &other) {
            handle_.cancel();
            handle_ = std::exchange(other.handle_, {});
        }
        return *this;
    }
    ScopedTimer(const ScopedTimer&) = delete;
    ScopedTimer& operator=(const ScopedTimer&) = delete;
    ~ScopedTimer() { handle_.cancel(); }

    void cancel() { handle_.cancel(); }
    bool active() const { return handle_.active(); }
    explicit operator bool() const { return active(); }

private:
    TimerHandle handle_;
};

// Work handed off the main thread (`MainLoop::runAside`). Its owner cancels it
// before it goes away: `cancel` waits for work already started to end, and the
// follow-up on the main queue then does not run.
class AsideJob {
public:
    // Main thread only.
    void cancel() {
        cancelled_ = true;
        std::unique_lock lock(mutex_);
        ended_.wait(lock, [this] { return over_; });
    }
    bool cancelled() const { return cancelled_; }

    // For backends: runs the work where they run it (unless cancelled
    // before it started), and marks it over.
    void perform(const Task& work) {
        if (!cancelled_) work();
        std::lock_guard lock(mutex_);
        over_ = true;
        ended_.notify_all();
    }

private:
    std::atomic<bool> cancelled_ = false;
    std::mutex mutex_;
    std::condition_variable ended_;
    bool over_ = false;
};

class MainLoop : public Clock {
public:
    // Runs `task` on a later turn of the main queue, after work already posted.
    // Safe to call from any thread.
    virtual void post(Task task) = 0;
    // Runs `task` once, `delay` from now (zero or negative: on a later turn).
    virtual TimerHandle postDelayed(Duration delay, Task task) = 0;
    // Runs `task` every `interval` until cancelled; the backend may shift each
    // firing by up to `tolerance` to batch wake-ups.
    virtual TimerHandle repeating(Duration interval, Duration tolerance, Task task) = 0;
    // Runs `work` off the main thread, then `done` on a later turn of this
    // queue, unless the job was cancelled first. `work` touches nothing the
    // main thread touches before `done` runs. One job at a time runs aside,
    // in the order they were handed over.
    virtual std::shared_ptr<AsideJob> runAside(Task work, Task done) = 0;
    // Runs the loop until `quit`.
    virtual void run() = 0;
    virtual void quit() = 0;
};

// Wraps `fn` so that it runs only while `owner` lives: deferred work holds its
// owner weakly.
template <class T, class F>
Task weakly(const std::shared_ptr<T>& owner, F fn) {
    return [weak = std::weak_ptr<T>(owner), fn = std::move(fn)]() mutable {
        if (auto strong = weak.lock()) fn(*strong);
    };
}

}  // namespace velmar
