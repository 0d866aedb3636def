#include "surfaces/BrowserProfile.hpp"

#include "surfaces/SurfaceTraits.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(BrowserProfile, LookupsAreExact) {
    struct Case { const char* description; std::string text; const char* bySlug; const char* byBundle; };
    const Case cases[] = {
        {"chrome slug", "chrome", "chrome", nullptr},
        {"display name is not a slug", "Chrome", nullptr, nullptr},
        {"chrome bundle", "com.google.Chrome", nullptr, "chrome"},
        {"safari bundle", "com.apple.Safari", nullptr, "safari"},
        {"bundle id in lower case", "com.google.chrome", nullptr, nullptr},
        {"other Chromium browser", "com.microsoft.edgemac", nullptr, nullptr},
        {"Chrome beta channel", "com.google.Chrome.beta", nullptr, nullptr},
    };
    auto slugOf = [](const std::optional<BrowserProfile>& p) { return p ? std::optional(p->slug) : std::nullopt; };
    auto expected = [](const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; };
    for (const auto& c : cases) {
        EXPECT_EQ(slugOf(BrowserProfile::profileForSlug(c.text)), expected(c.bySlug)) << c.description;
        EXPECT_EQ(slugOf(BrowserProfile::profileForBundleID(c.text)), expected(c.byBundle)) << c.description;
    }
}

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

TEST(BrowserProfile, AllListsChromeFirst) {
    ASSERT_EQ(BrowserProfile::all().size(), 2u);
    EXPECT_EQ(BrowserProfile::all()[0], BrowserProfile::chrome());
    EXPECT_EQ(BrowserProfile::all()[1], BrowserProfile::safari());
}

}  // namespace
}  // namespace velmar
