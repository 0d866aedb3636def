#pragma once
// Records what would have been opened.

#include "platform/DesktopLauncher.hpp"

#include <string>
#include <vector>

namespace velmar::sim {

class SimDesktopLauncher final : public DesktopLauncher {
public:
    bool openURL(const std::string& url) override {
        openedURLs.push_back(url);
        return true;
    }
    bool openAccessibilitySettings() override {
        ++accessibilitySettingsOpened;
        return true;
    }

    std::vector<std::string> openedURLs;
    int accessibilitySettingsOpened = 0;
};

}  // namespace velmar::sim
