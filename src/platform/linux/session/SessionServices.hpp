#pragma once
// The desktop session's own services on D-Bus, as far as the workspace asks
// them: how long the user has been idle (GNOME's idle monitor, or the
// freedesktop screen saver), whether the screen is locked (logind's
// LockedHint, the GNOME or freedesktop screen saver) and whether this login
// session is the active one (logind). Every service is optional: one that is
// missing or slow is an absent answer, and one that failed is left alone for
// a minute, so a desktop without it costs nothing.

#include <chrono>
#include <functional>
#include <optional>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GCancellable GCancellable;

namespace velmar::linux_backend {

class SessionServices {
public:
    // Synchronous idle queries wait at most this long.
    static constexpr int idleQueryTimeoutMs = 250;
    static constexpr int stateQueryTimeoutMs = 2'000;
    static constexpr std::chrono::seconds retryAfterFailure{60};

    struct State {
        bool locked = false;
        bool sessionActive = true;
        bool operator==(const State&) const = default;
    };
    // The answers of the separate services, absent where one has not answered.
    struct Answers {
        std::optional<bool> logindLocked;
        std::optional<bool> logindActive;
        std::optional<bool> gnomeScreenSaverActive;
        std::optional<bool> freedesktopScreenSaverActive;
    };
    // Locked when any service says so; inactive only when logind says so.
    static State combine(const Answers& answers);

    // `sessionBus`: whether this session has a bus worth connecting to.
    explicit SessionServices(bool sessionBus);
    ~SessionServices();
    SessionServices(const SessionServices&) = delete;
    SessionServices& operator=(const SessionServices&) = delete;

    // Idle seconds from GNOME's idle monitor.
    std::optional<double> gnomeIdleSeconds();
    // Idle seconds from the freedesktop screen saver. Its implementations
    // (KDE's) answer in milliseconds, whatever its old draft said.
    std::optional<double> screenSaverIdleSeconds();

    // Asks the state services again without waiting; `onChange` runs on the
    // main loop when their answers change the combined state.
    void refresh();
    std::function<void(State)> onChange;
    State state() const { return combine(answers_); }

private:
    struct Backoff {
        std::chrono::steady_clock::time_point retryAt{};
        bool inFlight = false;
        bool ready() const { return !inFlight && std::chrono::steady_clock::now() >= retryAt; }
        void failed() { retryAt = std::chrono::steady_clock::now() + retryAfterFailure; }
    };
    struct Pending;

    GDBusConnection* sessionBus();
    GDBusConnection* systemBus();
    void ask(int source);
    void answered(int source, std::optional<bool> first, std::optional<bool> second);
    // Milliseconds idle from a service whose interface is its bus name,
    // answered as "(t)" or "(u)".
    std::optional<double> idleSeconds(Backoff& service, const char* name, const char* path, const char* method,
                                      const char* replyType);

    bool sessionBusExpected_;
    GDBusConnection* session_ = nullptr;
    GDBusConnection* system_ = nullptr;
    bool sessionTried_ = false;
    bool systemTried_ = false;
    GCancellable* cancellable_;
    Backoff gnomeIdle_, screenSaverIdle_;
    Backoff sources_[3];
    Answers answers_;
};

}  // namespace velmar::linux_backend
