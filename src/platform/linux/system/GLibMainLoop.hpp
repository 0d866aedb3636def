#pragma once
// The real main loop: GLib's default main context, the one loop of the
// process. Timers, child-process watches, D-Bus and accessibility events all
// arrive on it.

#include "platform/MainLoop.hpp"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

typedef struct _GMainLoop GMainLoop;

namespace velmar::linux_backend {

class GLibMainLoop final : public MainLoop {
public:
    GLibMainLoop();
    ~GLibMainLoop() override;
    GLibMainLoop(const GLibMainLoop&) = delete;
    GLibMainLoop& operator=(const GLibMainLoop&) = delete;

    TimePoint now() const override;
    void post(Task task) override;
    TimerHandle postDelayed(Duration delay, Task task) override;
    TimerHandle repeating(Duration interval, Duration tolerance, Task task) override;
    // One worker thread, started on first use, runs the jobs in turn.
    std::shared_ptr<AsideJob> runAside(Task work, Task done) override;
    void run() override;
    void quit() override;

private:
    void workAside();

    GMainLoop* loop_;
    struct Handed {
        std::shared_ptr<AsideJob> job;
        Task work, done;
    };
    std::mutex asideMutex_;
    std::condition_variable asideWake_;
    std::deque<Handed> aside_;
    bool asideStop_ = false;
    std::thread asideThread_;
};

}  // namespace velmar::linux_backend
