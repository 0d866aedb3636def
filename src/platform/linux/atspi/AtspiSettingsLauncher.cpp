#include "platform/linux/atspi/AtspiSettingsLauncher.hpp"

#include "platform/linux/atspi/AtspiAccessibility.hpp"

namespace velmar::linux_backend {

bool AtspiSettingsLauncher::openAccessibilitySettings() {
    if (AtspiAccessibility::setSwitch(true) && AtspiAccessibility::switchState().value_or(false)) return true;
    return fallback_.openAccessibilitySettings();
}

}  // namespace velmar::linux_backend
