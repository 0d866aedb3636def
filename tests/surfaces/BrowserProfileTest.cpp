#include "surfaces/BrowserProfile.hpp"

#include "surfaces/SurfaceTraits.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

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
        {"the running desktop's table by default", BrowserProfile::runningPlatform(), "brave", "brave"},
        {"Debian's Firefox ESR: the same browser", DesktopPlatform::linuxDesktop, "firefox-esr", "firefox"},
    };
    for (const auto& c : cases) {
        auto profile = BrowserProfile::profileForAppId(c.id, c.platform);
        EXPECT_EQ(profile ? std::optional<std::string>(profile->slug) : std::nullopt, c.slug) << c.what;
    }
    // The Linux browsers capture every browser surface, with Chrome's traits;
    // only Firefox keeps background tabs' pages in its windows.
    for (const auto& profile : BrowserProfile::all(DesktopPlatform::linuxDesktop)) {
        for (const auto& row : SurfaceTraits::all()) {
            EXPECT_TRUE(!row.browserTab || profile.captures(row.key)) << profile.slug << " " << row.key;
        }
        EXPECT_EQ(profile.notifications, BrowserProfile::chrome().notifications) << profile.slug;
        EXPECT_TRUE(profile.armsEnhancedUI) << profile.slug;
        EXPECT_EQ(profile.webAreaResolution, profile.slug == "firefox" ? WebAreaResolution::firstShownURLBearing
                                                                       : WebAreaResolution::firstURLBearing)
            << profile.slug;
    }
    EXPECT_EQ(BrowserProfile::profileForAppId("brave"), BrowserProfile::braveLinux()) << "no lookup defaults to macOS";
    EXPECT_TRUE(BrowserProfile::isKnownSlug("safari")) << "recorded trees name both desktops' browsers";
}

}  // namespace
}  // namespace velmar
