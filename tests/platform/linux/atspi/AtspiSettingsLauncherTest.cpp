// The session's accessibility switch on a real (private) session bus, where
// the accessibility bus launcher is started on demand.
#include "platform/linux/atspi/AtspiSettingsLauncher.hpp"

#include "platform/linux/atspi/AtspiAccessibility.hpp"
#include "platform/sim/SimDesktopLauncher.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace velmar::linux_backend {
namespace {

TEST(DesktopAtspiSettings, OpeningTheSettingsTurnsTheSwitchOnWithoutOpeningAnything) {
    const char* flag = std::getenv("VELMAR_PRIVATE_DESKTOP");
    if (!flag || std::string(flag) != "1") GTEST_SKIP() << "needs the private desktop: run by ctest as ui_private_desktop";
    if (!AtspiAccessibility::switchState()) GTEST_SKIP() << "no accessibility bus launcher on this session bus (at-spi2-core)";

    sim::SimDesktopLauncher fallback;
    AtspiSettingsLauncher launcher(fallback);
    EXPECT_TRUE(launcher.openAccessibilitySettings());
    EXPECT_EQ(AtspiAccessibility::switchState(), true);
    EXPECT_EQ(fallback.accessibilitySettingsOpened, 0) << "the switch was enough";
}

}  // namespace
}  // namespace velmar::linux_backend
