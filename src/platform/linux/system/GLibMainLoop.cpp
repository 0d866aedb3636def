#include "platform/linux/system/GLibMainLoop.hpp"

#include <glib.h>

#include <atomic>
#include <chrono>
#include <memory>

namespace velmar::linux_backend {

namespace {

struct Callback {
    Task task;
    bool repeat = false;
    // Shared with the handle: a handle dropped before its timer fires must
    // not leave the callback writing into freed memory.
    std::shared_ptr<std::atomic<bool>> fired;
};

gboolean dispatch(gpointer data) {
    auto* cb = static_cast<Callback*>(data);
    if (!cb->repeat) {
        if (cb->fired) cb->fired->store(true);
        cb->task();
        return G_SOURCE_REMOVE;
    }
    // Copy: the task may cancel its own timer, which frees `cb` once the
    // dispatch returns, never during it.
    Task task = cb->task;
    task();
    return G_SOURCE_CONTINUE;
}

void destroy(gpointer data) { delete static_cast<Callback*>(data); }

class GSourceWork final : public ScheduledWork {
public:
    explicit GSourceWork(GSource* source) : source_(source) {}
    ~GSourceWork() override { g_source_unref(source_); }

    void cancel() override { g_source_destroy(source_); }
    bool active() const override { return !g_source_is_destroyed(source_) && !fired_->load(); }

    const std::shared_ptr<std::atomic<bool>>& firedFlag() const { return fired_; }

private:
    GSource* source_;
    std::shared_ptr<std::atomic<bool>> fired_ = std::make_shared<std::atomic<bool>>(false);
};

TimerHandle attach(GSource* source, Task task, bool repeat) {
    auto work = std::make_shared<GSourceWork>(source);  // takes the creation reference
    auto* cb = new Callback{std::move(task), repeat, repeat ? nullptr : work->firedFlag()};
    g_source_set_callback(source, dispatch, cb, destroy);
    g_source_attach(source, nullptr);
    return TimerHandle(work);
}

}  // namespace

GLibMainLoop::GLibMainLoop() : loop_(g_main_loop_new(nullptr, FALSE)) {}

GLibMainLoop::~GLibMainLoop() {
    {
        std::lock_guard lock(asideMutex_);
        asideStop_ = true;
    }
    asideWake_.notify_all();
    if (asideThread_.joinable()) asideThread_.join();
    g_main_loop_unref(loop_);
}

std::shared_ptr<AsideJob> GLibMainLoop::runAside(Task work, Task done) {
    auto job = std::make_shared<AsideJob>();
    {
        std::lock_guard lock(asideMutex_);
        aside_.push_back({job, std::move(work), std::move(done)});
        if (!asideThread_.joinable()) asideThread_ = std::thread([this] { workAside(); });
    }
    asideWake_.notify_one();
    return job;
}

void GLibMainLoop::workAside() {
    for (;;) {
        Handed next;
        bool stopping = false;
        {
            std::unique_lock lock(asideMutex_);
            asideWake_.wait(lock, [this] { return asideStop_ || !aside_.empty(); });
            if (aside_.empty()) return;
            next = std::move(aside_.front());
            aside_.pop_front();
            stopping = asideStop_;
        }
        // A job left when the loop goes away is marked over unrun: its owner
        // may be waiting in `cancel`.
        next.job->perform(stopping ? Task([] {}) : next.work);
        // Let go here, before the follow-up can run: what the work held is
        // still held by the main thread, so nothing is released for good
        // off it.
        next.work = nullptr;
        post([job = next.job, done = std::move(next.done)] {
            if (!job->cancelled()) done();
        });
    }
}

TimePoint GLibMainLoop::now() const { return std::chrono::system_clock::now(); }

void GLibMainLoop::post(Task task) {
    // g_source_attach is thread-safe and wakes the context.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    auto* cb = new Callback{std::move(task), false, nullptr};
    g_source_set_callback(source, dispatch, cb, destroy);
    g_source_attach(source, nullptr);
    g_source_unref(source);
}

TimerHandle GLibMainLoop::postDelayed(Duration delay, Task task) {
    GSource* source;
    if (delay.count() <= 0) {
        source = g_idle_source_new();
        g_source_set_priority(source, G_PRIORITY_DEFAULT);
    } else {
        source = g_timeout_source_new(static_cast<guint>(delay.count()));
    }
    return attach(source, std::move(task), false);
}

TimerHandle GLibMainLoop::repeating(Duration interval, Duration tolerance, Task task) {
    using std::chrono::seconds;
    interval = std::max(interval, Duration{1});
    GSource* source;
    // Second-granularity timers are batched by GLib with others: the
    // tolerance we are allowed buys fewer wake-ups.
    if (tolerance >= seconds(1) && interval % seconds(1) == Duration{0})
        source = g_timeout_source_new_seconds(static_cast<guint>(interval / seconds(1)));
    else
        source = g_timeout_source_new(static_cast<guint>(interval.count()));
    return attach(source, std::move(task), true);
}

void GLibMainLoop::run() { g_main_loop_run(loop_); }

void GLibMainLoop::quit() { g_main_loop_quit(loop_); }

}  // namespace velmar::linux_backend
