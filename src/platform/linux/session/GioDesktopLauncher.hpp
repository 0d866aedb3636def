#pragma once
// Opens web pages with the desktop's default handler (GIO), and the
// desktop's accessibility settings where a known settings tool is installed.

#include "platform/DesktopLauncher.hpp"

namespace velmar::linux_backend {

class GioDesktopLauncher final : public DesktopLauncher {
public:
    bool openURL(const std::string& url) override;
    bool openAccessibilitySettings() override;
};

}  // namespace velmar::linux_backend
