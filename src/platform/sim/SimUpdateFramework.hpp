#pragma once
// An update framework that counts checks and can stage an update on demand.

#include "platform/UpdateFramework.hpp"

namespace velmar::sim {

class SimUpdateFramework final : public UpdateFramework {
public:
    std::optional<std::string> feedURL() const override { return feed; }
    void start(UpdateFrameworkDelegate* d) override {
        delegate = d;
        ++starts;
    }
    void checkForUpdates() override { ++interactiveChecks; }
    void checkForUpdatesInBackground() override { ++backgroundChecks; }

    // An update was downloaded and is due to install on quit. Returns what the
    // delegate answered (false without one).
    bool stageUpdate(const std::string& displayVersion) {
        if (!delegate) return false;
        return delegate->willInstallUpdateOnQuit(displayVersion, [this] { ++immediateInstalls; });
    }

    std::optional<std::string> feed;
    UpdateFrameworkDelegate* delegate = nullptr;
    int starts = 0, interactiveChecks = 0, backgroundChecks = 0, immediateInstalls = 0;
};

}  // namespace velmar::sim
