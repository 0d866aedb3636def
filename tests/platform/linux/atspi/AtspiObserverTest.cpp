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
}

TEST(AtspiObserver, EventTypesMatchAtTheirSeparators) {
    struct Case { const char* description; const char* registered; const char* event; bool matches; };
    const Case cases[] = {
        {"a child added is a children change", "object:children-changed", "object:children-changed:add", true},
        {"a removal is not an addition", "object:children-changed:add", "object:children-changed:remove", false},
        {"a longer word is not the type", "object:text-changed", "object:text-changed-extra", false},
        {"a focus change with its detail", "object:state-changed:focused", "object:state-changed:focused", true},
        {"another state", "object:state-changed:focused", "object:state-changed:showing", false},
        {"a shorter event", "object:children-changed:add", "object:children-changed", false},
    };
    for (const auto& c : cases) EXPECT_EQ(AtspiObserver::typeMatches(c.registered, c.event), c.matches) << c.description;
}

// One event, the names it goes out as: a live region adds nothing on AT-SPI
// where a text or children change already covers the event.
TEST(AtspiObserver, AnEventGoesOutAsALiveRegionOnlyWhereNothingElseCoversIt) {
    using Names = std::vector<std::string_view>;
    const Names chromium{"AXValueChanged", "AXLayoutChanged", "AXLiveRegionChanged", "AXCreated"};
    struct Case { const char* description; const char* event; Names registered; Names delivered; };
    const Case cases[] = {
        {"a child added is a children change, not a text change", "object:children-changed:add", chromium,
         {"AXLayoutChanged", "AXCreated"}},
        {"streamed text", "object:text-changed:insert", chromium, {"AXValueChanged"}},
        {"only the live region registered", "object:children-changed:remove", {"AXLiveRegionChanged"},
         {"AXLiveRegionChanged"}},
        {"a load is both names it stands for", "document:load-complete", {"AXLayoutComplete", "AXLoadComplete"},
         {"AXLayoutComplete", "AXLoadComplete"}},
        {"nothing registered for it", "object:state-changed:focused", chromium, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(AtspiObserver::deliveredAs(c.event, c.registered), c.delivered) << c.description;
}

}  // namespace
}  // namespace velmar::linux_backend
