#pragma once
// In-app updates through the platform's update framework. A status-bar agent
// is never quit, so an update staged for installation on quit is installed
// and relaunched at once instead. Exists only when the installation declares
// an update feed.

#include "platform/UpdateFramework.hpp"

namespace velmar {

class LogSink;
class Windowing;

class Updater final : public UpdateFrameworkDelegate {
public:
    static bool isConfigured(const UpdateFramework& framework);

    // Starts the framework's updater at once.
    Updater(UpdateFramework& framework, Windowing& windowing, LogSink& log);

    // From the menu: brings the agent to the front, then checks with the
    // framework's own windows.
    void checkForUpdates();
    // From the core's "update_check": silent.
    void checkForUpdatesInBackground();

    bool willInstallUpdateOnQuit(const std::string& displayVersion, const std::function<void()>& installNow) override;

private:
    UpdateFramework& framework_;
    Windowing& windowing_;
    LogSink& log_;
};

}  // namespace velmar
