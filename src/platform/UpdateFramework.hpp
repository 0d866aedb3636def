#pragma once
// The software-update framework: checks a feed, downloads and installs.
// Absent on platforms where the agent comes from the distribution's packages.

#include <functional>
#include <optional>
#include <string>

namespace velmar {

class UpdateFrameworkDelegate {
public:
    virtual ~UpdateFrameworkDelegate() = default;
    // An update is ready to install when the agent quits. True when the
    // delegate took over installation (having called `installNow`).
    virtual bool willInstallUpdateOnQuit(const std::string& displayVersion, const std::function<void()>& installNow) = 0;
};

class UpdateFramework {
public:
    virtual ~UpdateFramework() = default;
    // The feed the installation declares; absent or empty when none.
    virtual std::optional<std::string> feedURL() const = 0;
    // Starts the updater; the delegate is not owned and outlives the updater.
    virtual void start(UpdateFrameworkDelegate* delegate) = 0;
    virtual void checkForUpdates() = 0;               // with the framework's own windows
    virtual void checkForUpdatesInBackground() = 0;   // silent unless something is found
};

}  // namespace velmar
