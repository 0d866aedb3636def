#include "platform/linux/atspi/AtspiWindowActivation.hpp"

#include <gtest/gtest.h>

namespace velmar::linux_backend {
namespace {

// The active process after one event, whatever order the desktop sends them in.
TEST(AtspiWindowActivation, TheLastActivatedWindowsProcessIsActiveUntilItIsDeactivated) {
    const struct {
        const char* what;
        std::optional<int> before;
        const char* event;
        int sender;
        std::optional<int> after;
    } cases[] = {
        {"an activation names its process", std::nullopt, "window:activate", 42, 42},
        {"another window's activation takes over", 42, "window:activate:", 7, 7},
        {"the active process's deactivation leaves none", 42, "window:deactivate", 42, std::nullopt},
        {"a late deactivation of the previous one changes nothing", 7, "window:deactivate", 42, 7},
        {"an event without a process changes nothing", 42, "window:activate", 0, 42},
        {"other window events change nothing", 42, "window:raise", 7, 42},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AtspiWindowActivation::after(c.before, c.event, c.sender), c.after) << c.what;
    }
}

}  // namespace
}  // namespace velmar::linux_backend
