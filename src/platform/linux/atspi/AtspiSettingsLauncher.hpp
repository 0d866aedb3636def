#pragma once
// Opening "the accessibility settings" on Linux: turn the session's
// accessibility switch on where the session allows it, and open the
// desktop's settings only where it does not.

#include "platform/DesktopLauncher.hpp"

namespace velmar::linux_backend {

class AtspiSettingsLauncher final : public DesktopLauncher {
public:
    explicit AtspiSettingsLauncher(DesktopLauncher& fallback) : fallback_(fallback) {}
    bool openURL(const std::string& url) override { return fallback_.openURL(url); }
    bool openAccessibilitySettings() override;

private:
    DesktopLauncher& fallback_;
};

}  // namespace velmar::linux_backend
