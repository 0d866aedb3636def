// The permission helper as Linux drives it. Linux's panels find no settings
// window, so the helper never shows there (where it shows and how it moves is
// macOS's alone); what runs is the arming, the ticking and the disarming.
#include "ui/AXHelperOverlay.hpp"

#include "platform/sim/SimAccessibility.hpp"
#include "platform/sim/SimHelperPanel.hpp"
#include "platform/sim/SimMainLoop.hpp"
#include "platform/sim/SimWorkspace.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

class AXHelperOverlayTest : public ::testing::Test {
protected:
    AXHelperOverlayTest() {
        accessibility.setTrusted(false);
        workspace.attachLoop(&loop);
        // A settings application in front, so that every tick looks for its window.
        workspace.launch({40, "com.apple.systempreferences", "System Settings", {}});
        workspace.activate(40);
        loop.runUntilIdle();
        overlay = AXHelperOverlay::create({loop, accessibility, workspace, panel});
    }

    std::size_t ticksOver(Duration d) {
        auto before = panel.windowLookups;
        loop.advance(d);
        return panel.windowLookups - before;
    }

    sim::SimMainLoop loop;
    sim::SimAccessibility accessibility;
    sim::SimWorkspace workspace;
    sim::SimHelperPanel panel;
    std::shared_ptr<AXHelperOverlay> overlay;
};

TEST_F(AXHelperOverlayTest, TicksFourTimesASecondWhileArmedUntilGrantedAndReleaseStopsEverything) {
    EXPECT_EQ(ticksOver(Duration{2'000}), 0u) << "never armed";

    overlay->arm();
    EXPECT_EQ(panel.windowLookups, 1u) << "arming decides at once";
    EXPECT_EQ(ticksOver(Duration{1'000}), 4u);

    overlay->disarm();
    EXPECT_EQ(ticksOver(Duration{2'000}), 0u);
    EXPECT_EQ(loop.pendingCount(), 0u) << "the timer is gone, not just idle";

    overlay->arm();
    overlay->arm();  // arming again only decides again
    EXPECT_EQ(ticksOver(Duration{1'000}), 4u) << "one timer, not two";

    accessibility.setTrusted(true);
    loop.advance(Duration{250});
    EXPECT_FALSE(overlay->armed()) << "the permission granted: disarmed within a tick";
    EXPECT_EQ(loop.pendingCount(), 0u);
    overlay->holdForDev = true;
    overlay->arm();
    EXPECT_EQ(ticksOver(Duration{1'000}), 4u);
    EXPECT_TRUE(overlay->armed()) << "held for development";

    overlay.reset();
    EXPECT_EQ(loop.pendingCount(), 0u);
    workspace.activate(40);  // a late notification reaches nothing
    loop.runUntilIdle();
}

}  // namespace
}  // namespace velmar
