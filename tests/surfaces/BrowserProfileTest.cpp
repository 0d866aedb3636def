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

}  // namespace
}  // namespace velmar
