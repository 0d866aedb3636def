#include "surfaces/SurfaceTraits.hpp"

#include <gtest/gtest.h>

#include <set>

namespace velmar {
namespace {

TEST(SurfaceTraits, TraitsPerSurface) {
    struct Case {
        const char* surface;
        bool positionIndexed, freshSend, modelExpected, browser;
    };
    // Written out from the product's rules rather than from the table in the source.
    const Case cases[] = {
        {"claude_desktop", false, false, true, false},
        {"claude_code_desktop", true, false, false, false},
        {"chatgpt_desktop", true, true, false, false},
        {"claude_ai", false, false, true, true},
        {"claude_design", false, false, true, true},
        {"claude_cowork", false, true, true, true},
        {"chatgpt", true, true, false, true},
        {"gemini", false, true, true, true},
        {"gemini_docs", false, true, false, true},
        {"gemini_sheets", false, true, false, true},
        {"perplexity", true, true, false, true},
        {"deepseek", true, true, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SurfaceTraits::positionIndexed(c.surface), c.positionIndexed) << c.surface;
        EXPECT_EQ(SurfaceTraits::freshSendAcceptsSettledPair(c.surface), c.freshSend) << c.surface;
        EXPECT_EQ(SurfaceTraits::modelExpected(c.surface), c.modelExpected) << c.surface;
        EXPECT_EQ(SurfaceTraits::isBrowserSurface(c.surface), c.browser) << c.surface;
    }
    EXPECT_EQ(SurfaceTraits::all().size(), std::size(cases));
}

TEST(SurfaceTraits, UnknownOrMiscasedKeysHaveNoTraits) {
    for (const char* key : {"", "Chatgpt", "CHATGPT", "chatgpt ", "claude", "gemini_doc"}) {
        EXPECT_FALSE(SurfaceTraits::isKnown(key)) << key;
        EXPECT_FALSE(SurfaceTraits::positionIndexed(key)) << key;
        EXPECT_FALSE(SurfaceTraits::freshSendAcceptsSettledPair(key)) << key;
        EXPECT_FALSE(SurfaceTraits::modelExpected(key)) << key;
    }
}

TEST(SurfaceTraits, ModelSurfacesAreTheDiagnosticsSet) {
    std::set<std::string> got(SurfaceTraits::modelSurfaces().begin(), SurfaceTraits::modelSurfaces().end());
    EXPECT_EQ(got, (std::set<std::string>{"claude_ai", "claude_desktop", "claude_cowork", "claude_design", "gemini"}));
    EXPECT_TRUE(SurfaceTraits::isPanelSurface("gemini_docs"));
    EXPECT_FALSE(SurfaceTraits::isPanelSurface("gemini"));
}

}  // namespace
}  // namespace velmar
