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
};

struct BrowserProfile {
    std::string slug;      // stamped into turn events as "browser"
    std::string bundleID;
    std::string name;
    bool armsEnhancedUI = false;  // set "AXEnhancedUserInterface" on the app when the gate is made
    std::vector<std::string> notifications;
    WebAreaResolution webAreaResolution = WebAreaResolution::firstURLBearing;
    std::set<std::string, std::less<>> uncapturedSurfaces;

    bool captures(std::string_view surface) const { return !uncapturedSurfaces.contains(surface); }

    bool operator==(const BrowserProfile&) const = default;

    static const BrowserProfile& chrome();
    static const BrowserProfile& safari();
    // Chrome first.
    static const std::vector<BrowserProfile>& all();

    // Exact, case-sensitive lookups; absent when no profile matches.
    static std::optional<BrowserProfile> profileForSlug(std::string_view slug);
    static std::optional<BrowserProfile> profileForBundleID(std::string_view bundleID);
};

}  // namespace velmar
