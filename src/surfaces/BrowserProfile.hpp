#pragma once
// The constant description of a supported browser: how it is recognised, how
// its accessibility tree is woken and watched, how a window's web content is
// found, and which surfaces it never captures.

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// How the web area of a browser window is found.
enum class WebAreaResolution {
    // The first URL-bearing web area in a depth-first walk of the window.
    firstURLBearing,
    // The one URL-bearing web area whose address is an AI surface; a window
    // with none or several such areas has no web area.
    uniqueAIOrigin,
    // The first URL-bearing web area in a depth-first walk that is not
    // hidden: a browser that keeps every tab's page in the window's tree
    // (Firefox) marks all but the tab on screen "AXHidden".
    firstShownURLBearing,
};

// The desktop the agent runs on; each has its own browsers.
enum class DesktopPlatform { macOS, linuxDesktop };

struct BrowserProfile {
    std::string slug;      // stamped into turn events as "browser"
    // The identifier the workspace reports: a bundle identifier on macOS, the
    // desktop entry id on Linux.
    std::string appId;
    // Other identifiers the same browser goes by: packagings' desktop entry
    // ids and executable names, for a workspace that found no desktop entry.
    std::vector<std::string> otherIDs;
    std::string name;
    bool armsEnhancedUI = false;  // set "AXEnhancedUserInterface" on the app when the gate is made
    std::vector<std::string> notifications;
    WebAreaResolution webAreaResolution = WebAreaResolution::firstURLBearing;
    std::set<std::string, std::less<>> uncapturedSurfaces;

    bool captures(std::string_view surface) const { return !uncapturedSurfaces.contains(surface); }

    bool operator==(const BrowserProfile&) const = default;

    static const BrowserProfile& chrome();
    static const BrowserProfile& safari();
    // Linux: Chromium, and Google Chrome (the same slug as Chrome on macOS,
    // so a turn names the browser the same way on both desktops).
    static const BrowserProfile& chromiumLinux();
    static const BrowserProfile& chromeLinux();
    static const BrowserProfile& braveLinux();
    static const BrowserProfile& edgeLinux();
    static const BrowserProfile& vivaldiLinux();
    static const BrowserProfile& operaLinux();
    // Firefox (and Firefox ESR), packaged, snap or Flatpak.
    static const BrowserProfile& firefoxLinux();
    // The profiles of the desktop this build runs on.
    static const std::vector<BrowserProfile>& all();
    // The profiles of one desktop; of the one this build runs on.
    static const std::vector<BrowserProfile>& all(DesktopPlatform platform);
    static DesktopPlatform runningPlatform();

    // Exact, case-sensitive lookups among the running desktop's profiles, or
    // one platform's; absent when no profile matches. An identifier matches
    // the bundle identifier or one of the other identifiers.
    static std::optional<BrowserProfile> profileForSlug(std::string_view slug);
    static std::optional<BrowserProfile> profileForAppId(std::string_view appId);
    // A slug any desktop's browser goes by (recorded trees come from both).
    static bool isKnownSlug(std::string_view slug);
    static std::optional<BrowserProfile> profileForSlug(std::string_view slug, DesktopPlatform platform);
    static std::optional<BrowserProfile> profileForAppId(std::string_view appId, DesktopPlatform platform);
};

}  // namespace velmar
