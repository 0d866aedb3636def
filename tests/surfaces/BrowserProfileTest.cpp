#include "surfaces/BrowserProfile.hpp"

#include "surfaces/SurfaceTraits.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(BrowserProfile, SafariCapturesOnlyClaudeAndChatGPT) {
    std::set<std::string> safari, chrome;
    for (const auto& row : SurfaceTraits::all()) {
        if (!row.browserTab) continue;
        if (BrowserProfile::safari().captures(row.key)) safari.emplace(row.key);
        if (BrowserProfile::chrome().captures(row.key)) chrome.emplace(row.key);
    }
    EXPECT_EQ(safari, (std::set<std::string>{"claude_ai", "claude_design", "claude_cowork", "chatgpt"}));
    EXPECT_EQ(chrome.size(), 9u);
}

// Each desktop finds only its own browsers, by any identifier the browser
// goes by there; the Linux Chrome keeps the macOS Chrome's slug.
TEST(BrowserProfile, LooksUpEachDesktopsBrowsersByTheirIdentifiers) {
    struct Case {
        const char* what;
        DesktopPlatform platform;
        const char* id;
        std::optional<std::string> slug;
    };
    const Case cases[] = {
        {"Debian's Chromium desktop entry", DesktopPlatform::linuxDesktop, "chromium", "chromium"},
        {"Chromium packaged as a flatpak", DesktopPlatform::linuxDesktop, "org.chromium.Chromium", "chromium"},
        {"Google Chrome's desktop entry", DesktopPlatform::linuxDesktop, "google-chrome", "chrome"},
        {"macOS Chrome's bundle on macOS", DesktopPlatform::macOS, "com.google.Chrome", "chrome"},
        {"Safari is no Linux browser", DesktopPlatform::linuxDesktop, "com.apple.Safari", std::nullopt},
        {"Chromium is no macOS profile", DesktopPlatform::macOS, "chromium", std::nullopt},
        {"identifiers are case-sensitive", DesktopPlatform::linuxDesktop, "Chromium", std::nullopt},
        {"the snap Chromium by its snap desktop id", DesktopPlatform::linuxDesktop, "chromium_chromium", "chromium"},
        {"Edge by its executable", DesktopPlatform::linuxDesktop, "msedge", "edge"},
        {"the running desktop's table by default", BrowserProfile::runningPlatform(), "brave", "brave"},
        {"Firefox's desktop entry", DesktopPlatform::linuxDesktop, "firefox", "firefox"},
        {"Debian's Firefox ESR: the same browser", DesktopPlatform::linuxDesktop, "firefox-esr", "firefox"},
    };
    for (const auto& c : cases) {
        auto profile = BrowserProfile::profileForBundleID(c.id, c.platform);
        EXPECT_EQ(profile ? std::optional<std::string>(profile->slug) : std::nullopt, c.slug) << c.what;
    }
    // The Linux browsers capture what Chrome captures, with Chrome's traits.
    for (const auto& profile : BrowserProfile::all(DesktopPlatform::linuxDesktop)) {
        EXPECT_EQ(profile.uncapturedSurfaces, BrowserProfile::chrome().uncapturedSurfaces) << profile.slug;
        EXPECT_EQ(profile.notifications, BrowserProfile::chrome().notifications) << profile.slug;
        EXPECT_TRUE(profile.armsEnhancedUI) << profile.slug;
    }
    // Only Firefox keeps background tabs' pages in its windows.
    for (const auto& profile : BrowserProfile::all(DesktopPlatform::linuxDesktop)) {
        EXPECT_EQ(profile.webAreaResolution, profile.slug == "firefox" ? WebAreaResolution::firstShownURLBearing
                                                                       : WebAreaResolution::firstURLBearing)
            << profile.slug;
    }
    EXPECT_EQ(BrowserProfile::all(), BrowserProfile::all(BrowserProfile::runningPlatform()));
    EXPECT_EQ(BrowserProfile::profileForBundleID("brave"), BrowserProfile::braveLinux()) << "no lookup defaults to macOS";
    EXPECT_TRUE(BrowserProfile::isKnownSlug("safari")) << "recorded trees name both desktops' browsers";
    EXPECT_FALSE(BrowserProfile::isKnownSlug("netscape"));
    EXPECT_EQ(BrowserProfile::runningPlatform(), DesktopPlatform::linuxDesktop);
}

}  // namespace
}  // namespace velmar
