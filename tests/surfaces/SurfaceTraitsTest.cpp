#include "surfaces/SurfaceTraits.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(SurfaceTraits, TraitsThatAreEasyToMixUp) {
    struct Case { const char* description; bool got; bool expected; };
    const Case cases[] = {
        {"claude web numbers turns itself", SurfaceTraits::positionIndexed("claude_ai"), false},
        {"claude code numbers by position", SurfaceTraits::positionIndexed("claude_code_desktop"), true},
        {"claude design needs a fresh pair", SurfaceTraits::freshSendAcceptsSettledPair("claude_design"), false},
        {"claude cowork accepts a settled pair", SurfaceTraits::freshSendAcceptsSettledPair("claude_cowork"), true},
        {"claude design is also a browser surface", SurfaceTraits::isBrowserSurface("claude_design"), true},
        {"only docs and sheets are panels", SurfaceTraits::isPanelSurface("gemini"), false},
        {"keys are case-sensitive", SurfaceTraits::positionIndexed("ChatGPT"), false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.description;
}

}  // namespace
}  // namespace velmar
