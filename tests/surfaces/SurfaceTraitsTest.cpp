#include "surfaces/SurfaceTraits.hpp"

#include <gtest/gtest.h>

#include <set>

namespace velmar {
namespace {

TEST(SurfaceTraits, TraitsThatAreEasyToMixUp) {
    struct Case { const char* description; bool got; bool expected; };
    const Case cases[] = {
        {"claude web numbers turns itself", SurfaceTraits::positionIndexed("claude_ai"), false},
        {"claude code fixtures number by position", SurfaceTraits::positionIndexed("claude_code_desktop"), true},
        {"chatgpt desktop numbers by position", SurfaceTraits::positionIndexed("chatgpt_desktop"), true},
        {"claude web needs a fresh pair", SurfaceTraits::freshSendAcceptsSettledPair("claude_ai"), false},
        {"claude design needs a fresh pair", SurfaceTraits::freshSendAcceptsSettledPair("claude_design"), false},
        {"claude cowork accepts a settled pair", SurfaceTraits::freshSendAcceptsSettledPair("claude_cowork"), true},
        {"docs panel is a browser surface", SurfaceTraits::isBrowserSurface("gemini_docs"), true},
        {"claude design is also a browser surface", SurfaceTraits::isBrowserSurface("claude_design"), true},
        {"chatgpt desktop is not a browser surface", SurfaceTraits::isBrowserSurface("chatgpt_desktop"), false},
        {"only docs and sheets are panels", SurfaceTraits::isPanelSurface("gemini"), false},
        {"keys are case-sensitive", SurfaceTraits::positionIndexed("ChatGPT"), false},
        {"unknown key", SurfaceTraits::freshSendAcceptsSettledPair("claude"), false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.description;
    EXPECT_EQ(SurfaceTraits::all().size(), 12u);
}

TEST(SurfaceTraits, ModelSurfacesAreTheDiagnosticsSet) {
    std::set<std::string> got(SurfaceTraits::modelSurfaces().begin(), SurfaceTraits::modelSurfaces().end());
    EXPECT_EQ(got, (std::set<std::string>{"claude_ai", "claude_desktop", "claude_cowork", "claude_design", "gemini"}));
}

}  // namespace
}  // namespace velmar
