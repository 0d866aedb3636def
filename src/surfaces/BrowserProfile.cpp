#include "surfaces/BrowserProfile.hpp"

#include "surfaces/SurfaceTraits.hpp"

namespace velmar {

const BrowserProfile& BrowserProfile::chrome() {
    static const BrowserProfile profile{
        .slug = "chrome",
        .appId = "com.google.Chrome",
        .otherIDs = {},
        .name = "Chrome",
        // Chrome builds its web content's accessibility tree only for clients
        // that ask for the enhanced interface.
        .armsEnhancedUI = true,
        .notifications = {"AXValueChanged", "AXLayoutChanged", "AXLiveRegionChanged", "AXCreated",
                          "AXFocusedUIElementChanged", "AXFocusedWindowChanged", "AXTitleChanged"},
        .webAreaResolution = WebAreaResolution::firstURLBearing,
        .uncapturedSurfaces = {},
    };
    return profile;
}

const BrowserProfile& BrowserProfile::safari() {
    static const BrowserProfile profile{
        .slug = "safari",
        .appId = "com.apple.Safari",
        .otherIDs = {},
        .name = "Safari",
        .armsEnhancedUI = false,
        .notifications = {"AXValueChanged", "AXLayoutComplete", "AXLiveRegionChanged", "AXFocusedUIElementChanged",
                          "AXFocusedWindowChanged", "AXLoadComplete", "AXTitleChanged"},
        // A Safari window can hold web areas of several origins; only an
        // unambiguous AI page is taken.
        .webAreaResolution = WebAreaResolution::uniqueAIOrigin,
        .uncapturedSurfaces = {std::string(SurfaceKey::gemini), std::string(SurfaceKey::geminiDocs),
                               std::string(SurfaceKey::geminiSheets), std::string(SurfaceKey::perplexity),
                               std::string(SurfaceKey::deepseek)},
    };
    return profile;
}

namespace {

// Chrome's traits under another name and identifiers: the Chromium family
// builds the same tree on Linux, exposed through AT-SPI once the session's
// accessibility switch is on (what arming turns on there).
BrowserProfile chromeFamily(std::string slug, std::string id, std::vector<std::string> otherIDs, std::string name) {
    BrowserProfile profile = BrowserProfile::chrome();
    profile.slug = std::move(slug);
    profile.appId = std::move(id);
    profile.otherIDs = std::move(otherIDs);
    profile.name = std::move(name);
    return profile;
}

}  // namespace

const BrowserProfile& BrowserProfile::chromiumLinux() {
    static const BrowserProfile profile = chromeFamily(
        "chromium", "chromium",
        {"chromium-browser", "org.chromium.Chromium", "chromium-freeworld", "chromium_chromium"}, "Chromium");
    return profile;
}

const BrowserProfile& BrowserProfile::chromeLinux() {
    static const BrowserProfile profile = chromeFamily(
        "chrome", "google-chrome", {"google-chrome-stable", "com.google.Chrome", "chrome"}, "Google Chrome");
    return profile;
}

// The other Chromium browsers people run on Linux. Identifiers: the desktop
// entry of the packaged browser, its executables' names, its snap desktop id
// ("snap_app") and its Flatpak application id, which is how the workspace
// names a sandboxed browser.
const BrowserProfile& BrowserProfile::braveLinux() {
    static const BrowserProfile profile = chromeFamily(
        "brave", "brave-browser", {"brave", "brave-browser-stable", "brave_brave", "com.brave.Browser"}, "Brave");
    return profile;
}

const BrowserProfile& BrowserProfile::edgeLinux() {
    static const BrowserProfile profile = chromeFamily(
        "edge", "microsoft-edge", {"microsoft-edge-stable", "msedge", "com.microsoft.Edge"}, "Microsoft Edge");
    return profile;
}

const BrowserProfile& BrowserProfile::vivaldiLinux() {
    static const BrowserProfile profile = chromeFamily(
        "vivaldi", "vivaldi-stable", {"vivaldi", "vivaldi-bin", "vivaldi_vivaldi-stable", "com.vivaldi.Vivaldi"},
        "Vivaldi");
    return profile;
}

const BrowserProfile& BrowserProfile::operaLinux() {
    static const BrowserProfile profile =
        chromeFamily("opera", "opera", {"opera-stable", "opera_opera", "com.opera.Opera"}, "Opera");
    return profile;
}

const BrowserProfile& BrowserProfile::firefoxLinux() {
    static const BrowserProfile profile = [] {
        // Firefox wakes the same events and, once the session's switch is on,
        // exposes its pages too, but keeps every tab's document in the
        // window: the shown one is taken.
        BrowserProfile firefox = chromeFamily(
            "firefox", "firefox",
            {"firefox-esr", "org.mozilla.firefox", "firefox_firefox", "firefox-bin"}, "Firefox");
        firefox.webAreaResolution = WebAreaResolution::firstShownURLBearing;
        return firefox;
    }();
    return profile;
}

const std::vector<BrowserProfile>& BrowserProfile::all() { return all(runningPlatform()); }

const std::vector<BrowserProfile>& BrowserProfile::all(DesktopPlatform platform) {
    static const std::vector<BrowserProfile> mac{chrome(), safari()};
    static const std::vector<BrowserProfile> onLinux{chromeLinux(), chromiumLinux(), braveLinux(),  edgeLinux(),
                                                     vivaldiLinux(), operaLinux(),   firefoxLinux()};
    return platform == DesktopPlatform::linuxDesktop ? onLinux : mac;
}

DesktopPlatform BrowserProfile::runningPlatform() {
#if defined(__APPLE__)
    return DesktopPlatform::macOS;
#else
    return DesktopPlatform::linuxDesktop;
#endif
}

std::optional<BrowserProfile> BrowserProfile::profileForSlug(std::string_view slug) {
    return profileForSlug(slug, runningPlatform());
}

std::optional<BrowserProfile> BrowserProfile::profileForAppId(std::string_view appId) {
    return profileForAppId(appId, runningPlatform());
}

bool BrowserProfile::isKnownSlug(std::string_view slug) {
    return profileForSlug(slug, DesktopPlatform::macOS) || profileForSlug(slug, DesktopPlatform::linuxDesktop);
}

std::optional<BrowserProfile> BrowserProfile::profileForSlug(std::string_view slug, DesktopPlatform platform) {
    for (const auto& profile : all(platform)) {
        if (profile.slug == slug) return profile;
    }
    return std::nullopt;
}

std::optional<BrowserProfile> BrowserProfile::profileForAppId(std::string_view appId, DesktopPlatform platform) {
    for (const auto& profile : all(platform)) {
        if (profile.appId == appId) return profile;
        for (const auto& other : profile.otherIDs) {
            if (other == appId) return profile;
        }
    }
    return std::nullopt;
}

}  // namespace velmar
