#include "ui/AXHelperOverlay.hpp"

#include "platform/sim/SimAccessibility.hpp"
#include "platform/sim/SimHelperPanel.hpp"
#include "platform/sim/SimMainLoop.hpp"
#include "platform/sim/SimWorkspace.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

constexpr int settingsPid = 40;
constexpr int editorPid = 41;

class AXHelperOverlayTest : public ::testing::Test {
protected:
    AXHelperOverlayTest() {
        accessibility.setTrusted(false);
        workspace.attachLoop(&loop);
        workspace.launch({settingsPid, "com.apple.systempreferences", "System Settings", {}});
        workspace.launch({editorPid, "org.gnome.TextEditor", "Text Editor", {}});
        workspace.activate(settingsPid);
        loop.runUntilIdle();
        // One 1440 by 900 screen whose top 25 points are a menu bar.
        panel.screenList = {{{0, 0, 1440, 900}, {0, 0, 1440, 875}}};
        panel.window = Rect{300, 200, 700, 500};
        overlay = AXHelperOverlay::create({loop, accessibility, workspace, panel});
    }

    // Looks the settings window up only on ticks, so lookups count ticks that
    // got that far.
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

TEST_F(AXHelperOverlayTest, TicksFourTimesASecondOnlyWhileArmed) {
    EXPECT_EQ(ticksOver(Duration{2'000}), 0u) << "never armed";
    EXPECT_EQ(loop.pendingCount(), 0u);

    overlay->arm();
    EXPECT_EQ(panel.windowLookups, 1u) << "arming decides at once";
    EXPECT_EQ(ticksOver(Duration{1'000}), 4u);

    overlay->disarm();
    EXPECT_EQ(ticksOver(Duration{2'000}), 0u);
    EXPECT_EQ(loop.pendingCount(), 0u) << "the timer is gone, not just idle";

    overlay->arm();
    overlay->arm();  // arming again only decides again
    EXPECT_EQ(ticksOver(Duration{1'000}), 4u) << "one timer, not two";
}

TEST_F(AXHelperOverlayTest, ShowsAtTheDecidedFrameAndMovesOnlyWhenTheWindowMoves) {
    overlay->arm();
    // Centre 650 + 107.5 - 260 = 497.5; just above the window's bottom edge.
    ASSERT_EQ(panel.shows.size(), 1u);
    EXPECT_EQ(panel.shows[0], (Rect{497.5, 216, 520, 120}));
    EXPECT_TRUE(overlay->isShown());

    loop.advance(Duration{1'000});
    EXPECT_EQ(panel.shows.size(), 1u) << "an unchanged frame is not shown again";

    panel.window = Rect{300.3, 200.4, 700, 500};
    loop.advance(Duration{250});
    EXPECT_EQ(panel.shows.size(), 1u) << "half a point is not worth a move";

    // Near the right edge the panel sits flush with the visible frame.
    panel.window = Rect{1000, 200, 700, 500};
    loop.advance(Duration{250});
    ASSERT_EQ(panel.shows.size(), 2u);
    EXPECT_EQ(panel.shows[1], (Rect{920, 216, 520, 120}));
    EXPECT_EQ(panel.hides, 0u);
}

TEST_F(AXHelperOverlayTest, HidesWhenAnotherApplicationComesToTheFrontAndReturnsWithIt) {
    overlay->arm();
    ASSERT_TRUE(panel.shown);

    workspace.activate(editorPid);
    loop.runUntilIdle();  // the activation alone hides it, before any tick
    EXPECT_FALSE(panel.shown);
    EXPECT_EQ(panel.hides, 1u);

    workspace.activate(settingsPid);
    loop.runUntilIdle();
    EXPECT_TRUE(panel.shown);
    EXPECT_EQ(panel.shows.size(), 2u);
    EXPECT_EQ(panel.shows[1], panel.shows[0]) << "back at the same place";

    panel.window.reset();  // the settings window closed
    loop.advance(Duration{250});
    EXPECT_FALSE(panel.shown);
}

TEST_F(AXHelperOverlayTest, TheCloseButtonKeepsItHiddenUntilTheNextArmAndReleaseStopsEverything) {
    overlay->arm();
    ASSERT_TRUE(panel.shown);

    panel.pressClose();
    EXPECT_TRUE(overlay->closedByUser());
    EXPECT_FALSE(overlay->armed());
    EXPECT_FALSE(panel.shown);
    EXPECT_EQ(ticksOver(Duration{2'000}), 0u);

    workspace.activate(editorPid);
    workspace.activate(settingsPid);
    loop.runUntilIdle();
    EXPECT_FALSE(panel.shown) << "switching applications does not bring a closed helper back";

    overlay->arm();
    EXPECT_FALSE(overlay->closedByUser());
    EXPECT_TRUE(panel.shown);

    // Releasing the overlay hides the panel and stops its work.
    overlay.reset();
    EXPECT_FALSE(panel.shown);
    EXPECT_EQ(loop.pendingCount(), 0u);
    panel.pressClose();  // a late click reaches nothing
    workspace.activate(editorPid);
    loop.runUntilIdle();
}

TEST_F(AXHelperOverlayTest, GrantingThePermissionDisarmsWithinATickUnlessHeld) {
    overlay->arm();
    ASSERT_TRUE(panel.shown);
    accessibility.setTrusted(true);
    loop.advance(Duration{250});
    EXPECT_FALSE(overlay->armed());
    EXPECT_FALSE(panel.shown);
    EXPECT_EQ(loop.pendingCount(), 0u);

    overlay->holdForDev = true;
    overlay->arm();
    loop.advance(Duration{1'000});
    EXPECT_TRUE(overlay->armed()) << "held for development";
    EXPECT_TRUE(panel.shown);
}

}  // namespace
}  // namespace velmar
