#include "capture/AIAppAllowlist.hpp"

#include "surfaces/SurfaceTraits.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// Native apps by their exact identifier; browsers by this desktop's own
// profiles (looked up as the profiles' own test checks).
TEST(AIAppAllowlist, SpecForAppIdIsExact) {
    struct Case {
        const char* description;
        std::string appId;
        std::optional<std::string> nativeSurface;  // set for native apps
        std::optional<std::string> browserSlug;    // set for browsers
    };
    const Case cases[] = {
        {"Claude desktop", "com.anthropic.claudefordesktop", "claude_desktop", std::nullopt},
        {"the ChatGPT app reports the desktop surface", "com.openai.codex", "chatgpt_desktop", std::nullopt},
        {"letter case differs (native)", "com.Anthropic.claudefordesktop", std::nullopt, std::nullopt},
        {"padded", " com.openai.codex", std::nullopt, std::nullopt},
        {"a prefix of a listed identifier", "com.anthropic.claude", std::nullopt, std::nullopt},
        {"Chromium", "chromium", std::nullopt, "chromium"},
        {"Chrome's Flatpak id", "com.google.Chrome", std::nullopt, "chrome"},
        {"a macOS-only browser", "com.apple.Safari", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        auto spec = AIAppAllowlist::specForAppId(c.appId, nullptr, DesktopPlatform::linuxDesktop);
        ASSERT_EQ(spec.has_value(), c.nativeSurface || c.browserSlug) << c.description;
        if (!spec) continue;
        auto native = spec->nativeCase();
        auto browser = spec->browserCase();
        EXPECT_EQ(native && native->segmenter ? std::optional(native->segmenter->surface()) : std::nullopt,
                  c.nativeSurface) << c.description;
        EXPECT_EQ(browser ? std::optional(browser->profile.slug) : std::nullopt, c.browserSlug) << c.description;
    }
}

// Every browser surface gets a segmenter reporting exactly that key
// (both panel surfaces share one type, so the key passed in must stick).
TEST(AIAppAllowlist, BrowserSegmenterForSurface) {
    for (const auto& row : SurfaceTraits::all()) {
        auto segmenter = AIAppAllowlist::browserSegmenterForSurface(row.key);
        EXPECT_EQ(segmenter != nullptr, row.browserTab) << row.key;
        if (segmenter) {
            EXPECT_EQ(segmenter->surface(), row.key);
        }
    }
    for (const char* key : {"claude_desktop", "Gemini_Sheets", "gemini_sheets ", "gemini_slides", ""}) {
        EXPECT_FALSE(AIAppAllowlist::browserSegmenterForSurface(key)) << key;
    }
}

}  // namespace
}  // namespace velmar
