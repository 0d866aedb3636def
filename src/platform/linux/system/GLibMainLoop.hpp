#pragma once
// The real main loop: GLib's default main context, the one loop of the
// process. Timers, child-process watches, D-Bus and accessibility events all
// arrive on it.

#include "platform/MainLoop.hpp"

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
    void run() override;
    void quit() override;

private:
    GMainLoop* loop_;
};

}  // namespace velmar::linux_backend
