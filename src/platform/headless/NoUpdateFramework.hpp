#pragma once
// No update feed: the agent comes from the distribution's packages and is
// updated with the system, so there is never anything to check or install.

#include "platform/UpdateFramework.hpp"

namespace velmar::headless {

class NoUpdateFramework final : public UpdateFramework {
public:
    std::optional<std::string> feedURL() const override { return std::nullopt; }
    void start(UpdateFrameworkDelegate*) override {}
    void checkForUpdates() override {}
    void checkForUpdatesInBackground() override {}
};

}  // namespace velmar::headless
