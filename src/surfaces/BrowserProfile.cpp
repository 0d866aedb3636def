#include "surfaces/BrowserProfile.hpp"

#include "surfaces/SurfaceTraits.hpp"

namespace velmar {

const BrowserProfile& BrowserProfile::chrome() {
    static const BrowserProfile profile{
        .slug = "chrome",
        .bundleID = "com.google.Chrome",
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
        .bundleID = "com.apple.Safari",
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

const std::vector<BrowserProfile>& BrowserProfile::all() {
    static const std::vector<BrowserProfile> profiles{chrome(), safari()};
    return profiles;
}

std::optional<BrowserProfile> BrowserProfile::profileForSlug(std::string_view slug) {
    for (const auto& profile : all()) {
        if (profile.slug == slug) return profile;
    }
    return std::nullopt;
}

std::optional<BrowserProfile> BrowserProfile::profileForBundleID(std::string_view bundleID) {
    for (const auto& profile : all()) {
        if (profile.bundleID == bundleID) return profile;
    }
    return std::nullopt;
}

}  // namespace velmar
