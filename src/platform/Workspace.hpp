#pragma once
// The desktop's applications, as far as the agent needs them: what runs, what
// is in front, how long the user has been idle, and what changes.

#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

struct RunningApplication {
    int pid = 0;
    // The identifier applications are allow-listed by: a desktop entry id, or
    // the executable's name.
    std::optional<std::string> appId;
    std::optional<std::string> localizedName;
    // Where the application is installed; what its version is read from.
    std::optional<std::filesystem::path> bundleLocation;

    bool operator==(const RunningApplication&) const = default;
};

// What the workspace tells its subscribers.
struct WorkspaceNotification {
    enum class Kind {
        launched,             // `app` started
        terminated,           // `app` ended
        activated,            // `app` came to the front
        displaysSlept,
        displaysWoke,
        sessionResigned,      // the user switched to another login session
        sessionBecameActive,
        screenLocked,
        screenUnlocked,
    };
    Kind kind;
    std::optional<RunningApplication> app;  // for launched, terminated, activated
};

using WorkspaceObserver = std::function<void(const WorkspaceNotification&)>;
// Holding it keeps the subscription; dropping it ends the deliveries.
using WorkspaceSubscription = std::shared_ptr<const WorkspaceObserver>;

class Workspace {
public:
    virtual ~Workspace() = default;

    virtual std::vector<RunningApplication> runningApplications() const = 0;
    // Where an application with this identifier is installed, running or not.
    virtual std::optional<std::filesystem::path> installedApplicationLocation(std::string_view appId) const = 0;
    // The short version string an installed application declares, untrimmed and
    // unchecked; absent when it declares none. May be slow the first time.
    virtual std::optional<std::string> applicationShortVersion(const std::filesystem::path& bundleLocation) const = 0;

    // Whether the process still runs, without listing every application.
    virtual bool isRunning(int pid) const {
        for (const auto& app : runningApplications())
            if (app.pid == pid) return true;
        return false;
    }
    // The application in front; absent when none is (or it cannot be told).
    virtual std::optional<RunningApplication> frontmostApplication() const { return std::nullopt; }
    // Seconds since the user last typed, moved or clicked the mouse or
    // scrolled; the largest finite number when the platform cannot tell.
    virtual double secondsSinceLastInput() const { return std::numeric_limits<double>::max(); }
    // Notifications arrive on the main loop, in the order they happened.
    virtual WorkspaceSubscription subscribe(WorkspaceObserver observer) { return std::make_shared<const WorkspaceObserver>(std::move(observer)); }
};

}  // namespace velmar
