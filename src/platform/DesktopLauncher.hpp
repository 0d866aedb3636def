#pragma once
// Handing things to the desktop: web pages to the default browser, the
// accessibility settings to the system's settings application.

#include <string>

namespace velmar {

class DesktopLauncher {
public:
    virtual ~DesktopLauncher() = default;
    // False when nothing could be started.
    virtual bool openURL(const std::string& url) = 0;
    virtual bool openAccessibilitySettings() = 0;
};

}  // namespace velmar
