#pragma once
// The process whose window the desktop activated last, from the
// accessibility bus's window activation events. Where the X server cannot
// say which window is active (a Wayland session), this can: every toolkit
// on the bus reports its windows' activation, whatever the display server.
// Events arrive on the GLib main loop.

#include <optional>

typedef struct _AtspiEvent AtspiEvent;
typedef struct _AtspiEventListener AtspiEventListener;

namespace velmar::linux_backend {

class AtspiWindowActivation {
public:
    // Starts listening; nothing is known until a window is activated.
    AtspiWindowActivation();
    ~AtspiWindowActivation();
    AtspiWindowActivation(const AtspiWindowActivation&) = delete;
    AtspiWindowActivation& operator=(const AtspiWindowActivation&) = delete;

    // The process of the window activated last, while it stays active.
    std::optional<int> activeProcess() const { return active_; }
    bool listening() const { return listening_; }

    // What one event means for the active process (the event type and the
    // process that sent it), apart from the bus for tests.
    static std::optional<int> after(std::optional<int> active, const char* eventType, int senderProcess);

private:
    static void onEvent(AtspiEvent* event, void* self);

    AtspiEventListener* listener_ = nullptr;
    bool listening_ = false;
    std::optional<int> active_;
};

}  // namespace velmar::linux_backend
