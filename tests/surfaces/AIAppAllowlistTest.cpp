#include "surfaces/AIAppAllowlist.hpp"

#include "surfaces/SurfaceTraits.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(AIAppAllowlist, SpecForBundleID) {
    struct Case {
        const char* description;
        std::string bundleID;
        std::optional<std::string> nativeSurface;  // set for native apps
        std::optional<std::string> browserSlug;    // set for browsers
    };
    const Case cases[] = {
        {"Claude desktop", "com.anthropic.claudefordesktop", "claude_desktop", std::nullopt},
        {"the ChatGPT app reports the desktop surface", "com.openai.codex", "chatgpt_desktop", std::nullopt},
        {"Chrome", "com.google.Chrome", std::nullopt, "chrome"},
        {"Safari", "com.apple.Safari", std::nullopt, "safari"},
        {"letter case differs (native)", "com.Anthropic.claudefordesktop", std::nullopt, std::nullopt},
        {"letter case differs (ChatGPT)", "com.openai.Codex", std::nullopt, std::nullopt},
        {"letter case differs (browser)", "com.google.chrome", std::nullopt, std::nullopt},
        {"padded", " com.openai.codex", std::nullopt, std::nullopt},
        {"a prefix of a listed identifier", "com.anthropic.claude", std::nullopt, std::nullopt},
        {"an unrelated app", "com.apple.TextEdit", std::nullopt, std::nullopt},
        {"empty", "", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        auto spec = AIAppAllowlist::specForBundleID(c.bundleID);
        EXPECT_EQ(spec.has_value(), c.nativeSurface || c.browserSlug) << c.description;
        if (!spec) continue;
        if (c.nativeSurface) {
            ASSERT_TRUE(spec->nativeCase()) << c.description;
            ASSERT_TRUE(spec->nativeCase()->segmenter) << c.description;
            EXPECT_EQ(spec->nativeCase()->segmenter->surface(), *c.nativeSurface) << c.description;
        }
        if (c.browserSlug) {
            ASSERT_TRUE(spec->browserCase()) << c.description;
            EXPECT_EQ(spec->browserCase()->profile.slug, *c.browserSlug) << c.description;
        }
    }
}

TEST(AIAppAllowlist, BrowserSegmenterForSurface) {
    // Every browser surface gets a segmenter reporting exactly that key
    // (both panel surfaces share one type, so the key passed in must stick).
    for (const auto& row : SurfaceTraits::all()) {
        auto segmenter = AIAppAllowlist::browserSegmenterForSurface(row.key);
        EXPECT_EQ(segmenter != nullptr, row.browserTab) << row.key;
        if (segmenter) EXPECT_EQ(segmenter->surface(), row.key);
    }
    for (const char* key : {"claude_desktop", "claude_code_desktop", "chatgpt_desktop", "Gemini_Sheets", "gemini_sheets ",
                            "gemini_slides", ""}) {
        EXPECT_FALSE(AIAppAllowlist::browserSegmenterForSurface(key)) << key;
    }
}

TEST(AIAppAllowlist, EveryCallHandsOutAFreshSegmenter) {
    auto first = AIAppAllowlist::browserSegmenterForSurface("gemini_sheets");
    auto second = AIAppAllowlist::browserSegmenterForSurface("gemini_sheets");
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
}

}  // namespace
}  // namespace velmar
