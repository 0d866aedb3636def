#pragma once
// The session's accessibility switch: the "IsEnabled" property of
// org.a11y.Status on the accessibility bus launcher. Toolkits export their
// trees only while it is on, so it is what "trusted for accessibility" means
// on a Linux desktop.

#include "platform/DesktopLauncher.hpp"

#include <optional>

namespace velmar::linux_backend {

namespace AtspiSwitch {
// Absent when there is no session bus or no accessibility bus launcher.
std::optional<bool> isEnabled();
// True when the switch is on afterwards.
bool enable();
}  // namespace AtspiSwitch

// Opening "the accessibility settings" turns the switch on where the session
// allows it, and opens the desktop's settings only where it does not.
class AtspiSettingsLauncher final : public DesktopLauncher {
public:
    explicit AtspiSettingsLauncher(DesktopLauncher& fallback) : fallback_(fallback) {}
    bool openURL(const std::string& url) override { return fallback_.openURL(url); }
    bool openAccessibilitySettings() override;

private:
    DesktopLauncher& fallback_;
};

}  // namespace velmar::linux_backend
