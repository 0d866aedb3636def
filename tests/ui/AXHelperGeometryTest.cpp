
#include "ui/AXHelperGeometry.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using AXHelperGeometry::WindowInfo;
using namespace AXHelperVisibility;

const Size panel{520, 120};

TEST(AXHelperVisibility, ShowsOnlyWhileArmedUntrustedAndSettingsInFront) {
    const Rect window{200, 100, 700, 500};
    const Inputs shown{true, false, false, false, true, window};
    struct Case {
        const char* description;
        Inputs inputs;
        bool visible;
    };
    auto with = [&](auto change) {
        Inputs in = shown;
        change(in);
        return in;
    };
    const Case cases[] = {
        {"armed, settings in front, not trusted", shown, true},
        {"not armed", with([](Inputs& i) { i.armed = false; }), false},
        {"trusted", with([](Inputs& i) { i.trusted = true; }), false},
        {"trusted but held for development", with([](Inputs& i) { i.trusted = i.holdForDev = true; }), true},
        {"closed by the user", with([](Inputs& i) { i.closedByUser = true; }), false},
        {"another application in front", with([](Inputs& i) { i.frontmostAllowed = false; }), false},
        {"no settings window", with([](Inputs& i) { i.settingsWindow.reset(); }), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::holds_alternative<Show>(decide(c.inputs, panel, std::nullopt)), c.visible) << c.description;

    EXPECT_TRUE(isFrontmostAllowed("com.apple.systempreferences"));
    EXPECT_TRUE(isFrontmostAllowed("com.apple.SecurityAgent")) << "the password prompt keeps the helper up";
    EXPECT_FALSE(isFrontmostAllowed("com.apple.securityagent"));
    EXPECT_FALSE(isFrontmostAllowed(""));
}

TEST(AXHelperVisibility, PlacesThePanelAboveTheWindowBottomAndClampsIt) {
    struct Case {
        const char* description;
        Rect window;
        std::optional<Rect> visible;
        Rect expected;
    };
    const Case cases[] = {
        {"centred right of the window's middle", {200, 100, 700, 500}, Rect{0, 0, 1440, 875},
         {200 + 350 + 107.5 - 260, 116, 520, 120}},
        {"near the right edge: flush with the visible frame", {1000, 100, 430, 500}, Rect{0, 0, 1440, 875},
         {1440 - 520, 116, 520, 120}},
        {"left of the visible frame", {-300, 100, 400, 500}, Rect{0, 0, 1440, 875}, {0, 116, 520, 120}},
        {"below the dock", {200, -40, 700, 300}, Rect{0, 70, 1440, 805}, {397.5, 70, 520, 120}},
        {"above the menu bar", {200, 800, 700, 300}, Rect{0, 0, 1440, 875}, {397.5, 875 - 120, 520, 120}},
        {"no screen: clamped into the window", {200, 100, 400, 300}, std::nullopt, {200 - 0, 116, 520, 120}},
    };
    for (const auto& c : cases) {
        Inputs in{true, false, false, false, true, c.window};
        auto decision = decide(in, panel, c.visible);
        ASSERT_TRUE(std::holds_alternative<Show>(decision)) << c.description;
        EXPECT_EQ(std::get<Show>(decision).frame, c.expected) << c.description;
    }
}

TEST(AXHelperGeometry, PicksTheLargestUsableSettingsWindow) {
    struct Case {
        const char* description;
        std::vector<WindowInfo> windows;
        std::optional<Rect> expected;
    };
    const Case cases[] = {
        {"smaller than 300 by 200", {{42, 0, 1, {0, 0, 299, 500}}, {42, 0, 1, {0, 0, 500, 199}}}, std::nullopt},
        {"exactly 300 by 200", {{42, 0, 1, {5, 5, 300, 200}}}, Rect{5, 5, 300, 200}},
        {"other process, other layer, invisible",
         {{7, 0, 1, {0, 0, 900, 900}}, {42, 3, 1, {0, 0, 900, 900}}, {42, 0, 0, {0, 0, 900, 900}}},
         std::nullopt},
        {"largest wins, first on a tie",
         {{42, 0, 1, {0, 0, 400, 400}}, {42, 0, 1, {1, 1, 800, 600}}, {42, 0, 0.5, {2, 2, 600, 800}}},
         Rect{1, 1, 800, 600}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AXHelperGeometry::settingsWindow(c.windows, 42), c.expected) << c.description;
}

TEST(AXHelperGeometry, FlipsAndFindsTheScreenWithTheLargestOverlap) {
    EXPECT_EQ(AXHelperGeometry::flipped({100, 50, 700, 500}, 900), (Rect{100, 350, 700, 500}));

    const std::vector<ScreenInfo> screens = {
        {{0, 0, 1440, 900}, {0, 0, 1440, 875}},
        {{1440, 0, 1920, 1080}, {1440, 40, 1920, 1040}},
    };
    EXPECT_EQ(AXHelperGeometry::visibleFrameFor({1300, 100, 700, 500}, screens), (Rect{1440, 40, 1920, 1040}))
        << "mostly on the second screen";
    EXPECT_EQ(AXHelperGeometry::visibleFrameFor({1000, 100, 700, 500}, screens), (Rect{0, 0, 1440, 875}));
    EXPECT_EQ(AXHelperGeometry::visibleFrameFor({-900, 100, 700, 500}, screens), std::nullopt);
    EXPECT_EQ(AXHelperGeometry::visibleFrameFor({1440, 100, 0, 500}, screens), std::nullopt) << "touching is no overlap";
}

}  // namespace
}  // namespace velmar
