#pragma once
// One agent per user session. Where the session has a D-Bus bus, the agent is
// a unique GApplication on it: the first start owns the application's bus
// name, and a later start hands its links (or, without links, a request to
// come forward) to that one over the bus and ends. Without a session bus an
// exclusive lock file in the runtime folder keeps a second start from running
// beside the first; the first start also holds that lock where a bus exists,
// so an agent started without the bus and one started with it never run side
// by side.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct _GApplication GApplication;

namespace velmar {
class ProcessEnvironment;
}

namespace velmar::linux_backend {

class SessionInstance {
public:
    // The application's name on the session bus.
    static constexpr std::string_view applicationId = "io.velmar.DesktopAgent";
    // How long a later start waits for the running agent to take its links.
    static constexpr int handOverTimeoutMs = 5'000;

    enum class Outcome {
        primary,     // this process is the session's agent
        handedOver,  // the running agent took the links or the request to come forward
        refused,     // an agent runs that cannot be reached (no bus, or one started without it)
        unreachable, // the running agent owns the bus name but did not answer in time
    };

    explicit SessionInstance(const ProcessEnvironment& environment, std::string id = std::string(applicationId));
    ~SessionInstance();
    SessionInstance(const SessionInstance&) = delete;
    SessionInstance& operator=(const SessionInstance&) = delete;

    // Decides this process's part. `urls` are the links it was started with;
    // a later start hands them over (none: a request to come forward).
    Outcome claim(const std::vector<std::string>& urls);

    // True when the claim went through the session bus.
    bool onSessionBus() const { return application_ != nullptr; }

    // For the primary: links and requests to come forward from later starts,
    // delivered on the main loop.
    std::function<void(const std::vector<std::string>&)> onOpen;
    std::function<void()> onReopen;

    // The arguments that are links (they carry a URI scheme); the rest is
    // ignored, as the agent ignores unknown arguments.
    static std::vector<std::string> linkArguments(const std::vector<std::string>& arguments);
    // The bus object path GApplication publishes an application id under.
    static std::string objectPath(std::string_view id);

private:
    bool sessionBusExpected() const;
    bool holdLock();
    Outcome handOver(const std::vector<std::string>& urls);

    const ProcessEnvironment& environment_;
    std::string id_;
    GApplication* application_ = nullptr;
    int lockFd_ = -1;
    unsigned long openHandler_ = 0;
    unsigned long activateHandler_ = 0;
};

}  // namespace velmar::linux_backend
