#include "platform/linux/atspi/AtspiObserver.hpp"

#include "capture/CaptureController.hpp"
#include "surfaces/BrowserProfile.hpp"

#include <gtest/gtest.h>

namespace velmar::linux_backend {
namespace {

// Every name a profile or controller registers reaches some AT-SPI event, or
// the controller would never wake on Linux.
TEST(AtspiObserver, EveryRegisteredNameHasEvents) {
    std::vector<std::string> names;
    for (const auto& profile : BrowserProfile::all(DesktopPlatform::linuxDesktop)) {
        names.insert(names.end(), profile.notifications.begin(), profile.notifications.end());
    }
    for (auto name : CaptureController::notifications) names.emplace_back(name);
    for (const auto& name : names) EXPECT_FALSE(AtspiObserver::eventTypes(name).empty()) << name;
    EXPECT_TRUE(AtspiObserver::eventTypes("AXNoSuchNotification").empty());
    EXPECT_TRUE(AtspiObserver::eventTypes("axvaluechanged").empty());
}

TEST(AtspiObserver, EventTypesMatchAtTheirSeparators) {
    struct Case {
        const char* description;
        const char* registered;
        const char* event;
        bool matches;
    };
    const Case cases[] = {
        {"a child added is a children change", "object:children-changed", "object:children-changed:add", true},
        {"the same type", "window:activate", "window:activate", true},
        {"a removal is not an addition", "object:children-changed:add", "object:children-changed:remove", false},
        {"a longer word is not the type", "object:text-changed", "object:text-changed-extra", false},
        {"a focus change with its detail", "object:state-changed:focused", "object:state-changed:focused", true},
        {"another state", "object:state-changed:focused", "object:state-changed:showing", false},
        {"a shorter event", "object:children-changed:add", "object:children-changed", false},
    };
    for (const auto& c : cases) EXPECT_EQ(AtspiObserver::typeMatches(c.registered, c.event), c.matches) << c.description;
}

}  // namespace
}  // namespace velmar::linux_backend
